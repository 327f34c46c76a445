#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "UploadFixtures.h"
#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "service/QVConnection.h"
#include "upload/QVUploadManager.h"

namespace {

class MetaDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        library = QVLibrary::libraryWithName("L", "", 0, false, dir.path() + "/L.lib", QString(),
                                             std::make_shared<QVConnection>());
        project = QVProject::projectWithID("p1", "P", library->dbName(), 0);
        group = QVProject::projectWithID("g1", "G", library->dbName(), 1);
        sub = QVProject::projectWithID("g2", "H", library->dbName(), 1);
        for (const auto& n : {group, sub}) n->setRootProject(project);
        group->setParent(project);
        sub->setParent(group);
        project->addChildGroup(group);
        group->addChildGroup(sub);
        library->setProjects({project});
        location = QVUploadLocation::uploadLocationWithDictionary(
            QVariantMap{{"mediapath", "Media/Master/2024"}});
    }

    std::shared_ptr<QVExportItem> item(
        const std::shared_ptr<QVProject>& node, qint64 type,
        const std::optional<QVariantMap>& meta = UploadFixtures::fcpMetaData()) {
        auto result = QVExportItem::exportItemWithName(
            "Clip", meta ? *meta : QVariantMap{}, library, node, type, location,
            type == 0 ? dir.path() + "/Out" : QString(), false);
        if (!meta) result->setFcpMetaData(std::nullopt);
        return result;
    }

    static void setTimes(const QString& path, const QDateTime& time) {
        ASSERT_TRUE(UploadFixtures::touch(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
    }

    QTemporaryDir dir;
    std::shared_ptr<QVLibrary> library;
    std::shared_ptr<QVProject> project, group, sub;
    std::shared_ptr<QVUploadLocation> location;
};

}  // namespace

TEST(KeyChangedFCPMetaData, DotsBecomeUnderscoresValuesStay) {
    const QVariantMap changed =
        QVUploadManager::keyChangedFCPMetaData({{"com.apple.proapps.share.episodeID", "E"},
                                                {"plain", 3},
                                                {"a.b", QVariantMap{{"c.d", 1}}}});
    EXPECT_EQ(changed, (QVariantMap{{"com_apple_proapps_share_episodeID", "E"},
                                    {"plain", 3},
                                    {"a_b", QVariantMap{{"c.d", 1}}}}));
}

TEST_F(MetaDataTest, ProjectAndGroupFromTheNode) {
    auto forProject = QVUploadManager::metaDataWithExportItem(item(project, 1), "mov");
    ASSERT_TRUE(forProject);
    EXPECT_EQ(forProject->value("project").toString(), "p1");
    EXPECT_EQ(forProject->value("group").toString(), "");
    EXPECT_FALSE(forProject->value("group").isNull());
    auto forGroup = QVUploadManager::metaDataWithExportItem(item(sub, 1), "mov");
    EXPECT_EQ(forGroup->value("project").toString(), "p1");
    EXPECT_EQ(forGroup->value("group").toString(), "g2");
    EXPECT_EQ(forGroup->value("masterpath").toString(), "Media/Master/2024/Clip.mov");
    EXPECT_EQ(forGroup->value("importtype").toLongLong(), 1);
    EXPECT_FALSE(forGroup->contains("importfrompath"));
    // No file yet: no dates.
    EXPECT_FALSE(forGroup->contains("createdate"));
    EXPECT_FALSE(forGroup->contains("modifydate"));
    EXPECT_EQ(forGroup->value("importdisklabel").toString(), "Final Cut Pro X");
    EXPECT_EQ(forGroup->value("importvolume").toString(), "Relaydock for Corvane Pro");
    EXPECT_EQ(forGroup->value("importer").toString(), "Final Cut Pro X");
}

TEST_F(MetaDataTest, TagsAreSplitAtEveryCommaWithoutTrimming) {
    QVariantMap meta = UploadFixtures::fcpMetaData();
    auto fields = QVUploadManager::metaDataWithExportItem(item(project, 1, meta), "mov");
    EXPECT_EQ(fields->value("tags").toList(), QVariantList({"city", "night", " rain"}));
    EXPECT_EQ(fields->value("fcpx").toMap().value("com_apple_proapps_share_id").toString(),
              "SHARE-1");
    meta.insert("com.apple.quicktime.keywords", "single");
    fields = QVUploadManager::metaDataWithExportItem(item(project, 1, meta), "mov");
    EXPECT_EQ(fields->value("tags").toList(), QVariantList({"single"}));
    meta.remove("com.apple.quicktime.keywords");
    fields = QVUploadManager::metaDataWithExportItem(item(project, 1, meta), "mov");
    EXPECT_FALSE(fields->contains("tags"));
    EXPECT_TRUE(fields->contains("fcpx"));
    fields = QVUploadManager::metaDataWithExportItem(item(project, 1, std::nullopt), "mov");
    EXPECT_FALSE(fields->contains("tags"));
    EXPECT_FALSE(fields->contains("fcpx"));
}

TEST_F(MetaDataTest, DatesAndImportPathComeFromTheFileOfTheExactExtension) {
    auto stored = item(group, 0);
    setTimes(stored->originalPath(), QDateTime(QDate(2021, 1, 2), QTime(3, 4, 5), Qt::UTC));
    setTimes(stored->fcpXMLPath(), QDateTime(QDate(2022, 6, 7), QTime(8, 9, 10), Qt::UTC));

    auto movie = QVUploadManager::metaDataWithExportItem(stored, "mov");
    EXPECT_EQ(movie->value("modifydate").toLongLong(), 20210102030405000LL);
    EXPECT_EQ(movie->value("importfrompath").toString(), stored->originalPath());
    EXPECT_LE(movie->value("createdate").toLongLong(), 99991231235959999LL);
    EXPECT_GE(movie->value("createdate").toLongLong(), 20000101000000000LL);
    EXPECT_EQ(movie->value("masterpath").toString(), "Media/Master/2024/Clip.mov");

    auto xml = QVUploadManager::metaDataWithExportItem(stored, "fcpxml");
    EXPECT_EQ(xml->value("modifydate").toLongLong(), 20220607080910000LL);
    EXPECT_EQ(xml->value("importfrompath").toString(), stored->fcpXMLPath());
    EXPECT_EQ(xml->value("masterpath").toString(), "Media/Master/2024/Clip.fcpxml");

    // Upper case is not the FCPXML extension.
    auto upper = QVUploadManager::metaDataWithExportItem(stored, "FCPXML");
    EXPECT_EQ(upper->value("modifydate").toLongLong(), 20210102030405000LL);
    EXPECT_EQ(upper->value("importfrompath").toString(), stored->originalPath());
}

TEST_F(MetaDataTest, IncompleteItemsGiveNothing) {
    auto inside = item(project, 1);
    EXPECT_FALSE(QVUploadManager::metaDataWithExportItem(inside, QString()));
    inside->setLocationInfo(nullptr);
    EXPECT_FALSE(QVUploadManager::metaDataWithExportItem(inside, "mov"));
    auto stored = item(project, 0);
    stored->setStoreToPath(QString());
    EXPECT_FALSE(QVUploadManager::metaDataWithExportItem(stored, "mov"));
    auto orphan = item(project, 1);
    orphan->setProject(nullptr);
    EXPECT_FALSE(QVUploadManager::metaDataWithExportItem(orphan, "mov"));
    auto nameless = item(project, 1);
    nameless->setName(QString());
    EXPECT_FALSE(QVUploadManager::metaDataWithExportItem(nameless, "mov"));
    // Import type 0 without a location is complete, only without master path.
    auto noLocation = item(project, 0);
    noLocation->setLocationInfo(nullptr);
    auto fields = QVUploadManager::metaDataWithExportItem(noLocation, "mov");
    ASSERT_TRUE(fields);
    EXPECT_FALSE(fields->contains("masterpath"));
}
