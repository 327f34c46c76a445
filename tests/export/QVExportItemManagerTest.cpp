#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ExportFixtures.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/Python.h"
#include "support/TempHome.h"

namespace {

class ExportListTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    ExportFixture fx{dir.path()};
    QString folder = dir.path() + "/Relaydock";

    QVariantList fileEntries() const {
        const auto root = PropertyList::readFile(folder + "/assets.plist");
        return root ? root->toList() : QVariantList{QString("unreadable")};
    }
};

QStringList names(const QVExportItemList& items) {
    QStringList out;
    for (const auto& item : items) out << item->name();
    return out;
}

}  // namespace

TEST(ExportListFirstLaunch, CreatesAgentAndThumbnailFoldersAndLoadsEmpty) {
    TempHome home;
    QVExportItemManager manager;
    ASSERT_FALSE(QVTesselUtil::relaydockFolder().isEmpty());
    EXPECT_EQ(manager.listFilePath(), QVTesselUtil::relaydockFolder() + "/assets.plist");
    EXPECT_FALSE(QFileInfo::exists(QVTesselUtil::relaydockFolder()));
    EXPECT_TRUE(manager.loadExportItems());
    EXPECT_TRUE(QFileInfo(QVTesselUtil::relaydockFolder()).isDir());
    EXPECT_TRUE(QFileInfo(QVTesselUtil::relaydockThumbnailFolder()).isDir());
    EXPECT_TRUE(manager.exportItems().isEmpty());
    EXPECT_TRUE(manager.loaded());
}

TEST_F(ExportListTest, AddDeleteAndOrderAreSavedNewestFirst) {
    QVExportItemManager manager(folder);
    ASSERT_TRUE(manager.loadExportItems());
    manager.addExportItem(nullptr);
    EXPECT_EQ(manager.writeCount(), 0u);
    EXPECT_FALSE(QFileInfo::exists(folder + "/assets.plist"));

    auto a = fx.insideItem("A"), b = fx.insideItem("B"), c = fx.storeToItem("C", "/out", true);
    for (const auto& item : {a, b, c}) manager.addExportItem(item);
    EXPECT_EQ(names(manager.exportItems()), QStringList({"C", "B", "A"}));
    EXPECT_EQ(manager.indexOfItem(a), 2);
    EXPECT_EQ(manager.indexOfItem(fx.insideItem("A")), -1);
    EXPECT_EQ(fileEntries().size(), 3);
    EXPECT_EQ(fileEntries().first().toMap().value("name").toString(), "C");

    const QString thumb = dir.filePath("thumb-b.jpg");
    QFile(thumb).open(QIODevice::WriteOnly);
    b->setThumbnailPath(thumb);
    manager.deleteExportItem(b);
    EXPECT_TRUE(QFileInfo::exists(thumb));
    EXPECT_EQ(names(manager.exportItems()), QStringList({"C", "A"}));

    QVExportItemManager reloaded(folder);
    ASSERT_TRUE(reloaded.loadExportItems());
    EXPECT_EQ(names(reloaded.exportItems()), QStringList({"C", "A"}));
    EXPECT_EQ(reloaded.exportItems().first()->exportItemDictionary(), c->exportItemDictionary());
}

TEST_F(ExportListTest, RemoveAllDeletesOnlyItsOwnThumbnailsAndWritesAnEmptyArray) {
    QVExportItemManager manager(folder);
    ASSERT_TRUE(manager.loadExportItems());
    const QString caches = folder + "/Caches";
    ASSERT_TRUE(QFileInfo(caches).isDir());
    auto touch = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    };
    auto addWithThumbnail = [&](const QString& name, const QString& thumbnail) {
        auto item = fx.insideItem(name);
        item->setThumbnailPath(thumbnail);
        manager.addExportItem(item);
    };
    QStringList ours;
    for (int i = 0; i < 3; ++i) {
        ours << caches + QString("/t%1.jpg").arg(i);
        if (i < 2) {
            ASSERT_TRUE(touch(ours.last()));  // the third is missing
        }
        addWithThumbnail(QString("T%1").arg(i), ours.last());
    }
    // An edited or damaged list may name anything as a thumbnail.
    const QString movie = dir.filePath("Interview.mov");
    const QString climbing = caches + "/../Interview.mov";
    const QString target = dir.filePath("target.jpg");
    const QString link = caches + "/link.jpg";
    ASSERT_TRUE(touch(movie) && touch(target));
    ASSERT_TRUE(QFile::link(target, link));
    addWithThumbnail("Movie", movie);
    addWithThumbnail("Climbing", climbing);
    addWithThumbnail("Link", link);
    addWithThumbnail("Folder", caches);

    manager.removeAll();
    for (const QString& t : ours) EXPECT_FALSE(QFileInfo::exists(t)) << t.toStdString();
    EXPECT_TRUE(QFileInfo::exists(movie));
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(caches).isDir());
    EXPECT_TRUE(manager.exportItems().isEmpty());
    EXPECT_EQ(fileEntries(), QVariantList());
}

// A share answered before the stored list was read: nothing replaces the
// stored list until then, and the load keeps the share on top of it.
TEST_F(ExportListTest, ShareBeforeTheLoadIsKeptOnTopOfTheStoredHistory) {
    QVExportItemManager earlier(folder);
    earlier.setExportItems({fx.insideItem("A"), fx.insideItem("B"), fx.insideItem("C")});
    ASSERT_TRUE(earlier.save());

    QVExportItemManager manager(folder);
    manager.addExportItem(fx.insideItem("New"));
    manager.addExportItem(fx.insideItem("B"));  // the same file as a stored one
    EXPECT_EQ(fileEntries().size(), 3);
    ASSERT_TRUE(manager.loadExportItems());
    ASSERT_TRUE(manager.save());
    ASSERT_TRUE(manager.flush());
    QStringList stored;
    for (const QVariant& entry : fileEntries()) stored << entry.toMap().value("name").toString();
    EXPECT_EQ(stored, QStringList({"B", "New", "A", "C"}));
    EXPECT_EQ(names(manager.exportItems()), stored);
}

// Entries of a library unknown at the load (a network volume away for one
// launch) are neither shown nor lost: every save writes them back as they
// were, where they were, and a later load with the library knows them.
TEST_F(ExportListTest, UnknownLibrariesAreCarriedInPlaceUntilTheyAreKnownAgain) {
    auto movie = fx.insideItem("Dup");
    auto second = fx.insideItem("Dup");
    second->setAssetID("second");
    auto xmlOnly = fx.insideItem("Dup", true);  // same FCPXML path, other side
    QVariantMap away = fx.insideItem("Away")->exportItemDictionary();
    away.insert("library", "lib-away");
    away.insert("exportstatus", 5);
    QDir().mkpath(folder);
    ASSERT_TRUE(PropertyList::writeFile(
        folder + "/assets.plist",
        QVariantList{movie->exportItemDictionary(), away, second->exportItemDictionary(),
                     xmlOnly->exportItemDictionary(), QString("not a dictionary")}));

    QVExportItemManager manager(folder);
    ASSERT_TRUE(manager.loadExportItems());
    auto items = manager.exportItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_TRUE(items[0]->assetID().isNull());  // the first of two duplicates wins
    EXPECT_TRUE(items[1]->fcpXMLOnly());
    EXPECT_TRUE(QFileInfo(folder + "/Caches").isDir());

    manager.addExportItem(fx.insideItem("New"));
    const QVariantList saved = fileEntries();
    ASSERT_EQ(saved.size(), 4);
    EXPECT_EQ(saved[2].toMap(), away);  // unchanged, before the item it stood before
    // Its neighbour deleted and the list cleared, it stays (at the end).
    manager.deleteExportItem(items[1]);
    EXPECT_EQ(fileEntries().last().toMap(), away);
    manager.removeAll();
    EXPECT_EQ(fileEntries(), QVariantList{away});

    bool ok = false;
    QByteArray errors;
    const QByteArray count =
        Python::run("import plistlib, sys\nprint(len(plistlib.load(open(sys.argv[1], 'rb'))))",
                    {folder + "/assets.plist"}, &ok, &errors);
    ASSERT_TRUE(ok) << errors.toStdString();
    EXPECT_EQ(count.trimmed(), "1");

    auto library = QVLibrary::libraryWithName("Away", "", 1, false, dir.path() + "/Away.lib",
                                              QString(), std::make_shared<QVConnection>());
    library->setDbName("lib-away");
    QVLibraryManager::sharedManager().setLibraries({fx.library, library});
    QVExportItemManager back(folder);
    ASSERT_TRUE(back.loadExportItems());
    ASSERT_EQ(back.count(), 1);
    EXPECT_EQ(back.exportItems().first()->library(), library);
    EXPECT_EQ(back.exportItems().first()->exportStatus(), QVExportStatusUploading);
}

TEST_F(ExportListTest, PathLookUpsUseComposedFormAndKeepTheirSide) {
    QVExportItemManager manager(folder);
    const QString composed = QString::fromUtf8("/out/Caf\u00e9");
    const QString decomposed = QString::fromUtf8("/out/Cafe\u0301");
    auto movie = fx.storeToItem("Clip", decomposed);
    auto xmlOnly = fx.storeToItem("Clip", composed, true);
    manager.addExportItem(movie);
    manager.addExportItem(xmlOnly);

    EXPECT_EQ(manager.exportItemWithOriginalPath(composed + "/Clip.mov"), movie);
    EXPECT_EQ(manager.exportItemWithOriginalPath(decomposed + "/Clip.mov"), movie);
    EXPECT_EQ(manager.exportItemWithFCPXMLPath(decomposed + "/Clip.fcpxml"), xmlOnly);
    // The movie item has the same FCPXML path, but is never an FCPXML answer,
    // and the FCPXML-only item never answers for a movie path.
    manager.deleteExportItem(xmlOnly);
    EXPECT_FALSE(manager.exportItemWithFCPXMLPath(composed + "/Clip.fcpxml"));
    xmlOnly->setOriginalPath(composed + "/Other.mov");
    manager.addExportItem(xmlOnly);
    EXPECT_FALSE(manager.exportItemWithOriginalPath(composed + "/Other.mov"));
    EXPECT_FALSE(manager.exportItemWithOriginalPath(QString()));
}

TEST_F(ExportListTest, UnreadableListIsKeptAsideAndLoadsEmpty) {
    QDir().mkpath(folder);
    QFile file(folder + "/assets.plist");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\"?><plist><array><dict><key>name</key>");
    file.close();

    QVLog::Capture capture;
    QVExportItemManager manager(folder);
    ASSERT_TRUE(manager.loadExportItems());
    EXPECT_TRUE(manager.exportItems().isEmpty());
    const QStringList aside = QDir(folder).entryList({"assets.plist.corrupt-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(capture.contains(aside.first()));
    QFile kept(folder + "/" + aside.first());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().contains("<key>name</key>"));

    // A list whose root is no array is kept aside too.
    ASSERT_TRUE(PropertyList::writeFile(folder + "/assets.plist", QVariantMap{{"a", 1}}));
    QVExportItemManager again(folder);
    ASSERT_TRUE(again.loadExportItems());
    EXPECT_EQ(QDir(folder).entryList({"assets.plist.corrupt-*"}, QDir::Files).size(), 2);
    EXPECT_FALSE(QFileInfo::exists(folder + "/assets.plist"));
}

TEST_F(ExportListTest, FailedWriteReportsFalseAndKeepsTheList) {
    QVExportItemManager manager(folder);
    ASSERT_TRUE(manager.loadExportItems());
    manager.addExportItem(fx.insideItem("A"));
    // A folder where the file should be makes every write fail.
    QFile::remove(folder + "/assets.plist");
    QDir().mkpath(folder + "/assets.plist");
    EXPECT_FALSE(manager.save());
    EXPECT_EQ(manager.exportItems().size(), 1);
}

// New asset IDs are on disk before their confirmation leaves, without a
// write of the whole list: an agent that dies before that write finds them
// at its next launch, and the journal is emptied once a write holds them.
TEST_F(ExportListTest, AssetIDsRecordedBeforeTheListIsWrittenSurviveTheAgent) {
    auto movie = fx.insideItem("Movie and description");
    auto gone = fx.insideItem("Deleted meanwhile");
    {
        QVExportItemManager first(folder);
        first.setExportItems({movie, fx.insideItem("Untouched")});
        ASSERT_TRUE(first.save());
        first.holdBackgroundSaves();  // the agent dies before the list is written
        movie->setMovieAssetID("movie-id");
        movie->setFcpXMLAssetID("description\tid\n2");
        const quint64 writes = first.writeCount();
        ASSERT_TRUE(first.recordAssetIDs(movie));
        gone->setMovieAssetID("gone-id");
        ASSERT_TRUE(first.recordAssetIDs(gone));
        EXPECT_EQ(first.writeCount(), writes);
        EXPECT_TRUE(fileEntries()[0].toMap().value("movieassetid").isNull());
    }
    // A crash cut the last record short, and a stranger line is no record.
    QFile journal(folder + "/assets.journal");
    ASSERT_TRUE(journal.open(QIODevice::Append));
    journal.write("nonsense\nmovie\t%2Fx.mov\tcut-sh");
    journal.close();

    QVExportItemManager next(folder);
    ASSERT_TRUE(next.loadExportItems());
    ASSERT_EQ(next.count(), 2);
    const auto loaded = next.exportItems().first();
    EXPECT_EQ(loaded->movieAssetID(), "movie-id");
    EXPECT_EQ(loaded->fcpXMLAssetID(), "description\tid\n2");
    // Written last while still waiting for the editor: the launch must
    // confirm the files, not create them again.
    EXPECT_EQ(loaded->exportStatus(), QVExportStatusCreating);
    EXPECT_TRUE(next.exportItems().last()->movieAssetID().isNull());
    ASSERT_TRUE(next.flush());
    EXPECT_EQ(fileEntries()[0].toMap().value("fcpxmlassetid").toString(), "description\tid\n2");
    EXPECT_EQ(QFileInfo(folder + "/assets.journal").size(), 0);

    // Where the journal cannot be written, the caller writes the list.
    QFile::remove(folder + "/assets.journal");
    QDir().mkpath(folder + "/assets.journal");
    EXPECT_FALSE(next.recordAssetIDs(loaded));
}
