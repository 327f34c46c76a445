#include <gtest/gtest.h>

#include <thread>

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "ExportFixtures.h"
#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"

namespace {

class ExportItemTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    ExportFixture fx{dir.path()};
};

std::shared_ptr<QVExportItem> roundTrip(const std::shared_ptr<QVExportItem>& item) {
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(item);
    return KeyedUnarchiver::unarchivedObjectOfClass<QVExportItem>(data);
}

}  // namespace

TEST_F(ExportItemTest, CreationRefusesMissingParametersWithTheirLogLines) {
    QVLog::Capture capture;
    const auto meta = ExportFixture::metaData();
    auto loc = QVUploadLocation::uploadLocationWithDictionary(QVariantMap{{"mediapath", "M"}});
    EXPECT_FALSE(QVExportItem::exportItemWithName(QString(), meta, fx.library, fx.project, 1, loc,
                                                  {}, false));
    EXPECT_FALSE(QVExportItem::exportItemWithName("c", std::nullopt, fx.library, fx.project, 1, loc,
                                                  {}, false));
    EXPECT_FALSE(
        QVExportItem::exportItemWithName("c", meta, nullptr, fx.project, 1, loc, {}, false));
    EXPECT_FALSE(
        QVExportItem::exportItemWithName("c", meta, fx.library, nullptr, 1, loc, {}, false));
    EXPECT_EQ(capture.lines().count("exportItemWithName parameter is nil."), 4);
    EXPECT_FALSE(QVExportItem::exportItemWithName("c", meta, fx.library, fx.project, 1, nullptr,
                                                  "/out", false));
    EXPECT_TRUE(capture.contains("locationInfo parameter is nil."));
    EXPECT_FALSE(QVExportItem::exportItemWithName("c", meta, fx.library, fx.project, 0, loc,
                                                  QString(), false));
    EXPECT_TRUE(capture.contains("storeToPath parameter is nil."));
}

TEST_F(ExportItemTest, ExpectedPathsFollowTheImportType) {
    auto stored = QVExportItem::exportItemWithName("Clip", ExportFixture::metaData(), fx.library,
                                                   fx.project, 0, nullptr, "/Volumes/A/Out", false);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->fcpXMLPath(), "/Volumes/A/Out/Clip.fcpxml");
    EXPECT_EQ(stored->originalPath(), "/Volumes/A/Out/Clip.mov");
    EXPECT_EQ(stored->filePath(), "/Volumes/A/Out/Clip.mov");
    EXPECT_FALSE(stored->locationInfo());
    EXPECT_EQ(stored->projectID(), "p1");
    EXPECT_EQ(stored->projectName(), "Project One");

    auto inside = fx.insideItem("Clip");
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->originalPath(), dir.path() + "/A.lib/Media/Master/x/Clip.mov");
    EXPECT_EQ(inside->fcpXMLPath(), dir.path() + "/A.lib/Media/Master/x/Clip.fcpxml");
    EXPECT_TRUE(inside->storeToPath().isNull());

    auto xmlOnly = fx.insideItem("Clip", true);
    EXPECT_TRUE(xmlOnly->originalPath().isNull());
    EXPECT_EQ(xmlOnly->filePath(), xmlOnly->fcpXMLPath());
    xmlOnly->setFcpXMLStatus(QVExportStatusExporting);
    EXPECT_EQ(xmlOnly->status(), QVExportStatusExporting);
    EXPECT_EQ(xmlOnly->exportStatus(), QVExportStatusWaiting);
    EXPECT_EQ(inside->status(), QVExportStatusWaiting);
}

TEST_F(ExportItemTest, StoredDictionaryOfAFreshItem) {
    auto item = fx.storeToItem("Clip", "/out");
    const QVariantMap d = item->exportItemDictionary();
    EXPECT_EQ(d.value("exportstatus").typeId(), QMetaType::LongLong);
    EXPECT_EQ(d.value("exportstatus").toLongLong(), 0);
    EXPECT_EQ(d.value("fcpxmlstatus").toLongLong(), -1);
    EXPECT_EQ(d.value("fcpxmlonly").typeId(), QMetaType::Bool);
    EXPECT_EQ(d.value("importtype").toLongLong(), 0);
    EXPECT_FALSE(d.contains("assetid"));
    EXPECT_FALSE(d.contains("thumbnail"));
    EXPECT_FALSE(d.contains("locationinfo"));
    EXPECT_EQ(d.value("library").toString(), "lib-a");
    EXPECT_EQ(d.value("project").toString(), "g1");
    EXPECT_EQ(d.value("projectname").toString(), "Group One");
    EXPECT_EQ(d.value("fcpmetadata").toMap(), ExportFixture::metaData());
    EXPECT_EQ(d.value("storetopath").toString(), "/out");

    // The node's current name wins over the kept one; without a kept name
    // the key is left out.
    fx.group->setName("Renamed");
    EXPECT_EQ(item->exportItemDictionary().value("projectname").toString(), "Renamed");
    item->setProjectName(QString());
    EXPECT_FALSE(item->exportItemDictionary().contains("projectname"));
}

TEST_F(ExportItemTest, RebuildFindsLibraryAndNodeOrFallsBack) {
    auto item = fx.insideItem("Clip");
    item->setAssetID("A1");
    item->setExportStatus(QVExportStatusUpdateFailed);
    QVariantMap d = item->exportItemDictionary();

    auto back = QVExportItem::exportItemWithDictionary(d);
    EXPECT_EQ(back->library(), fx.library);
    EXPECT_EQ(back->project(), fx.project);
    EXPECT_EQ(back->assetID(), "A1");
    EXPECT_EQ(back->exportStatus(), QVExportStatusUpdateFailed);
    EXPECT_EQ(back->fcpXMLStatus(), QVExportStatusNone);
    EXPECT_EQ(back->locationInfo()->mediaPath(), "Media/Master/x");
    // The clip metadata comes back so that a retry still sends it.
    EXPECT_EQ(back->fcpMetaData(), ExportFixture::metaData());
    EXPECT_EQ(back->exportItemDictionary(), d);

    d.insert("project", "gone");
    d.remove("importtype");
    d.remove("fcpxmlonly");
    d.remove("exportstatus");
    back = QVExportItem::exportItemWithDictionary(d);
    EXPECT_FALSE(back->project());
    EXPECT_EQ(back->projectID(), "gone");
    EXPECT_EQ(back->projectName(), "Project One");
    EXPECT_EQ(back->importType(), QVImportTypeInsideLibrary);
    EXPECT_FALSE(back->fcpXMLOnly());
    EXPECT_EQ(back->exportStatus(), 0);
    d.remove("projectname");
    EXPECT_EQ(QVExportItem::exportItemWithDictionary(d)->projectName(), "Unknown");

    d.insert("library", "no-such-library");
    back = QVExportItem::exportItemWithDictionary(d);
    EXPECT_FALSE(back->library());
    EXPECT_TRUE(back->projectID().isNull());
    EXPECT_TRUE(back->projectName().isNull());
}

TEST_F(ExportItemTest, ThumbnailIsReadOnFirstUseWhenItsFileExists) {
    const QString jpeg = dir.filePath("thumb.jpg");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(jpeg, "JPEG"));
    auto item = fx.insideItem("Clip");
    item->setThumbnailPath(jpeg);
    QVariantMap d = item->exportItemDictionary();

    auto back = QVExportItem::exportItemWithDictionary(d);
    EXPECT_EQ(back->thumbnailImage().size(), QSize(40, 30));

    auto missing = QVExportItem::exportItemWithDictionary(d);
    QFile::remove(jpeg);
    EXPECT_TRUE(missing->thumbnailImage().isNull());
    EXPECT_EQ(missing->thumbnailPath(), jpeg);
}

TEST_F(ExportItemTest, XmlTextMatchesTheDictionaryAndFollowsEveryChange) {
    auto item = fx.storeToItem("Clip <&>", "/out");
    auto expected = [&] {
        QByteArray xml;
        PropertyList::appendXmlValue(xml, item->exportItemDictionary(), 1);
        return xml;
    };
    auto actual = [&] {
        QByteArray xml;
        item->appendXml(xml, 1);
        return xml;
    };
    EXPECT_EQ(actual(), expected());
    item->setExportStatus(QVExportStatusUploading);
    EXPECT_EQ(actual(), expected());
    item->setAssetID("new-id");
    EXPECT_EQ(actual(), expected());
    fx.group->setName("Renamed node");
    EXPECT_EQ(actual(), expected());
    fx.library->setDbName("lib-renamed");
    EXPECT_EQ(actual(), expected());
    QByteArray deeper;
    item->appendXml(deeper, 3);
    QByteArray want;
    PropertyList::appendXmlValue(want, item->exportItemDictionary(), 3);
    EXPECT_EQ(deeper, want);
    const auto parsed =
        PropertyList::read(PropertyList::xmlHeader() + actual() + PropertyList::xmlFooter());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->toMap().value("name").toString(), "Clip <&>");
    // Every kind of character the writer encodes or escapes by itself.
    QString odd = QString::fromUtf8("a\r\tb\x01c\n\u00e9\u20ac\U0001F600>");
    odd.append(QChar(0xD800)).append("x").append(QChar(0xDC00));
    item->setName(odd);
    QVariantMap meta = ExportFixture::metaData();
    meta.insert("list", QVariantList{1, 2.25, false, QVariantMap{}, QVariantList{}, QString()});
    meta.insert("nothing", QVariant());
    meta.insert("when", QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC));
    meta.insert("bytes", QByteArray("\0\1", 2));
    item->setFcpMetaData(meta);
    EXPECT_EQ(actual(), expected());
}

TEST_F(ExportItemTest, KeyedArchiveDiffersFromTheDictionaryInThreePoints) {
    auto item = fx.insideItem("Clip");
    item->setAssetID("A9");
    item->setFcpXMLStatus(QVExportStatusCreateFailed);
    auto back = roundTrip(item);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->library(), fx.library);
    EXPECT_EQ(back->project(), fx.project);
    EXPECT_EQ(back->assetID(), "A9");
    EXPECT_EQ(back->fcpXMLStatus(), QVExportStatusCreateFailed);
    EXPECT_EQ(back->originalPath(), item->originalPath());
    EXPECT_EQ(back->locationInfo()->uploadLocationDict(),
              item->locationInfo()->uploadLocationDict());

    // Node gone: the kept name, and no "Unknown" when there is none.
    item->setProjectID("gone");
    item->setProject(nullptr);
    back = roundTrip(item);
    EXPECT_EQ(back->projectID(), "gone");
    EXPECT_EQ(back->projectName(), "Project One");
    item->setProjectName(QString());
    EXPECT_TRUE(roundTrip(item)->projectName().isNull());

    // Library gone: the project ID is still taken.
    QVLibraryManager::sharedManager().setLibraries({});
    back = roundTrip(item);
    QVLibraryManager::sharedManager().setLibraries({fx.library});
    EXPECT_FALSE(back->library());
    EXPECT_EQ(back->projectID(), "gone");
    EXPECT_EQ(back->importType(), QVImportTypeInsideLibrary);
}

// Statuses and the asset ID are written by the detector, the adapter and
// the main thread while the list is saved from yet another thread.
TEST_F(ExportItemTest, ConcurrentStatusWritesAndSerialisation) {
    auto item = fx.insideItem("Clip");
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                item->setExportStatus(i % 8);
                item->setFcpXMLStatus(i % 7);
                item->setAssetID(QString("a-%1-%2").arg(t).arg(i));
            }
        });
    std::thread reader([&] {
        while (!stop) {
            QByteArray xml;
            item->appendXml(xml, 1);
            const auto parsed =
                PropertyList::read(PropertyList::xmlHeader() + xml + PropertyList::xmlFooter());
            ASSERT_TRUE(parsed);
            EXPECT_TRUE(parsed->toMap().value("assetid").toString().startsWith("a-") ||
                        !parsed->toMap().contains("assetid"));
        }
    });
    for (auto& w : writers) w.join();
    stop = true;
    reader.join();
    QByteArray xml;
    item->appendXml(xml, 1);
    QByteArray want;
    PropertyList::appendXmlValue(want, item->exportItemDictionary(), 1);
    EXPECT_EQ(xml, want);
}
