// The export list file as other programs see it: an independent reader
// (Python's plistlib) and a process killed in the middle of its saves.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "ExportFixtures.h"
#include "export/QVExportItemManager.h"
#include "export/QVUploadLocation.h"
#include "platform/PropertyList.h"
#include "support/ChildMain.h"
#include "support/Python.h"

namespace {

constexpr int kChildItems = 10000;

class ExportListFileTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    ExportFixture fx{dir.path()};
    QString folder = dir.path() + "/Relaydock";
};

// Items of every shape: movie and FCPXML-only, inside the library and in a
// folder, with and without asset ID and thumbnail.
QVExportItemList sampleItems(const ExportFixture& fx) {
    auto inside = fx.insideItem("Inside & <Co>");
    inside->setAssetID("asset-1");
    inside->setThumbnailPath("/tmp/thumb-1.jpg");
    inside->setExportStatus(QVExportStatusUpdateFailed);
    auto stored = fx.storeToItem("Stored \u00e9t\u00e9", "/Volumes/Out");
    auto xmlOnly = fx.insideItem("Only XML", true);
    xmlOnly->setFcpXMLStatus(QVExportStatusCompleted);
    return {inside, stored, xmlOnly};
}

}  // namespace

TEST_F(ExportListFileTest, PlistlibReadsEveryKeyWithItsType) {
    QVExportItemManager manager(folder);
    manager.setExportItems(sampleItems(fx));
    ASSERT_TRUE(manager.save());

    const QString script = R"PY(
import json, plistlib, sys
with open(sys.argv[1], 'rb') as f:
    items = plistlib.load(f)
out = []
for item in items:
    out.append({k: type(v).__name__ for k, v in item.items()})
out.append(items[0]['fcpmetadata']['com.apple.proapps.share.episodeNumber'])
out.append(items[0]['name'])
out.append(items[1]['name'])
print(json.dumps(out))
)PY";
    bool ok = false;
    QByteArray errors;
    const QByteArray json = Python::run(script, {manager.listFilePath()}, &ok, &errors);
    ASSERT_TRUE(ok) << errors.toStdString();
    const QVariantList result = QJsonDocument::fromJson(json).toVariant().toList();
    ASSERT_EQ(result.size(), 6);
    const QVariantMap inside = result[0].toMap();
    const QVariantMap expected{
        {"name", "str"},        {"library", "str"},      {"project", "str"},
        {"projectname", "str"}, {"thumbnail", "str"},    {"original", "str"},
        {"fcpxml", "str"},      {"fcpmetadata", "dict"}, {"locationinfo", "dict"},
        {"assetid", "str"},     {"exportstatus", "int"}, {"fcpxmlstatus", "int"},
        {"fcpxmlonly", "bool"}, {"importtype", "int"}};
    EXPECT_EQ(inside, expected);
    const QVariantMap stored = result[1].toMap();
    EXPECT_EQ(stored.value("storetopath").toString(), "str");
    EXPECT_FALSE(stored.contains("assetid"));
    EXPECT_FALSE(stored.contains("locationinfo"));
    EXPECT_FALSE(result[2].toMap().contains("original"));
    EXPECT_EQ(result[3].toInt(), 0);
    EXPECT_EQ(result[4].toString(), "Inside & <Co>");
    EXPECT_EQ(result[5].toString(), "Stored \u00e9t\u00e9");
}

TEST_F(ExportListFileTest, ListEditedByPlistlibLoadsBack) {
    QVExportItemManager manager(folder);
    manager.setExportItems(sampleItems(fx));
    ASSERT_TRUE(manager.save());

    const QString script = R"PY(
import copy, plistlib, sys
path = sys.argv[1]
with open(path, 'rb') as f:
    items = plistlib.load(f)
items[0]['exportstatus'] = 2
del items[0]['thumbnail']
extra = copy.deepcopy(items[1])
extra['name'] = 'Added by Python'
extra['original'] = '/Volumes/Out/Added.mov'
del extra['importtype']
items.insert(0, extra)
with open(path, 'wb') as f:
    plistlib.dump(items, f)
)PY";
    bool ok = false;
    QByteArray errors;
    Python::run(script, {manager.listFilePath()}, &ok, &errors);
    ASSERT_TRUE(ok) << errors.toStdString();

    QVExportItemManager reloaded(folder);
    ASSERT_TRUE(reloaded.loadExportItems());
    const auto items = reloaded.exportItems();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->name(), "Added by Python");
    EXPECT_EQ(items[0]->importType(), QVImportTypeInsideLibrary);
    EXPECT_EQ(items[0]->storeToPath(), "/Volumes/Out");
    EXPECT_EQ(items[1]->exportStatus(), QVExportStatusCompleted);
    EXPECT_EQ(items[1]->assetID(), "asset-1");
    EXPECT_TRUE(items[1]->thumbnailPath().isNull());
    EXPECT_EQ(items[1]->fcpMetaData(), ExportFixture::metaData());
    EXPECT_EQ(items[1]->locationInfo()->mediaPath(), "Media/Master/x");
    EXPECT_TRUE(items[3]->fcpXMLOnly());
    EXPECT_EQ(items[3]->fcpXMLStatus(), QVExportStatusCompleted);
    // Saved again, every item's text equals its dictionary's.
    ASSERT_TRUE(reloaded.save());
    const auto root = PropertyList::readFile(reloaded.listFilePath());
    ASSERT_TRUE(root);
    for (qsizetype i = 0; i < items.size(); ++i)
        EXPECT_EQ(root->toList().at(i).toMap(), items[i]->exportItemDictionary());
}

// The child saves a list of 10,000 items over and over, changing one item
// before each save, and reports each completed save on its standard output.
RELAYDOCK_CHILD_MAIN(exportListSaveLoop) {
    const QString folder = QString::fromLocal8Bit(argv[0]);
    QTemporaryDir packages;
    ExportFixture fx(packages.path());
    QVExportItemManager manager(folder);
    QVExportItemList items;
    for (int i = 0; i < kChildItems; ++i) items << fx.insideItem(QString("item-%1").arg(i));
    manager.setExportItems(items);
    for (int round = 1;; ++round) {
        items[round % kChildItems]->setAssetID(QString("round-%1").arg(round));
        items[0]->setAssetID(QString("round-%1").arg(round));
        if (!manager.save()) return 1;
        printf("saved %d\n", round);
        fflush(stdout);
    }
}

TEST_F(ExportListFileTest, KilledWhileSavingLeavesACompleteList) {
    QDir().mkpath(folder);
    const QString path = folder + "/assets.plist";
    for (int kill = 0; kill < 4; ++kill) {
        QProcess child;
        ChildMain::setUp(child, "exportListSaveLoop", {folder});
        child.start();
        ASSERT_TRUE(child.waitForStarted());
        // Kill right after a random number of completed saves, so the kill
        // lands somewhere inside the next one.
        const int target = 1 + int(QRandomGenerator::global()->bounded(4));
        int lastSaved = 0;
        QByteArray pending;
        auto readReports = [&] {
            pending += child.readAllStandardOutput();
            qsizetype nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(nl);
                pending.remove(0, nl + 1);
                if (line.startsWith("saved ")) lastSaved = line.mid(6).toInt();
            }
        };
        while (lastSaved < target) {
            ASSERT_TRUE(child.waitForReadyRead(120000)) << "child stopped saving";
            readReports();
        }
        child.kill();
        child.waitForFinished();
        readReports();  // saves completed before the kill arrived

        const auto root = PropertyList::readFile(path);
        ASSERT_TRUE(root) << "unreadable after kill " << kill;
        const QVariantList entries = root->toList();
        ASSERT_EQ(entries.size(), kChildItems);
        for (int i = 0; i < kChildItems; i += 997)
            EXPECT_EQ(entries[i].toMap().value("name").toString(), QString("item-%1").arg(i));
        // The file holds a save at least as recent as the last one reported.
        const int round = entries[0].toMap().value("assetid").toString().mid(6).toInt();
        EXPECT_GE(round, lastSaved);
        EXPECT_LE(round, lastSaved + 1);
    }
}
