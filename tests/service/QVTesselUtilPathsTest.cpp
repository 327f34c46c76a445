#include <gtest/gtest.h>

#include <QDir>

#include "platform/PropertyList.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"

namespace {

class PathsTest : public ::testing::Test {
  protected:
    void writePreferences(const QVariantMap& preferences) {
        QDir().mkpath(QVTesselUtil::corvaneSupportPreferenceFolder());
        ASSERT_TRUE(PropertyList::writeFile(QVTesselUtil::preferencePlist(), preferences));
    }
    TempHome home;
};

TEST_F(PathsTest, SharedFoldersHangOffTheGroupContainer) {
    EXPECT_EQ(QVTesselUtil::groupIdentifier(), QStringLiteral("group.com.corvane.pro"));
    const QString container = home.groupContainer();
    EXPECT_EQ(QVTesselUtil::corvaneSupportTesselFolder(), container + "/Tessel");
    EXPECT_EQ(QVTesselUtil::corvaneSupportPreferenceFolder(), container + "/Tessel/Preference");
    const QString prefs = container + "/Tessel/Preference";
    EXPECT_EQ(QVTesselUtil::localLibraryPlist(), prefs + "/localLibrary.plist");
    EXPECT_EQ(QVTesselUtil::networkLibraryPlist(), prefs + "/networkLibrary.plist");
    EXPECT_EQ(QVTesselUtil::networkUserPlist(), prefs + "/networkUsers.plist");
    EXPECT_EQ(QVTesselUtil::preferencePlist(), prefs + "/preference.plist");
    EXPECT_EQ(QVTesselUtil::userPlist(), prefs + "/users.plist");
    EXPECT_EQ(QVTesselUtil::relaydockFolder(), container + "/Relaydock");
    EXPECT_EQ(QVTesselUtil::relaydockThumbnailFolder(), container + "/Relaydock/Caches");
}

TEST_F(PathsTest, ContainerPathWithTrailingSlashStillJoinsWithOneSlash) {
    qputenv("XDG_DATA_HOME", (home.dataHome() + "/").toUtf8());
    EXPECT_FALSE(QVTesselUtil::corvaneSupportTesselFolder().contains("//"));
    EXPECT_TRUE(QVTesselUtil::relaydockThumbnailFolder().endsWith("/Relaydock/Caches"));
}

TEST_F(PathsTest, PackageLayout) {
    const QString p = QStringLiteral("/Libraries/Main");
    EXPECT_EQ(QVTesselUtil::libraryPlistWithPackageFolder(p), "/Libraries/Main/library.plist");
    EXPECT_EQ(QVTesselUtil::projectFolderWithPackageFolder(p), "/Libraries/Main/Project");
    EXPECT_EQ(QVTesselUtil::projectPlistWithPackageFolder(p),
              "/Libraries/Main/Project/project.plist");
    EXPECT_EQ(QVTesselUtil::mediaFolderWithPackageFolder(p), "/Libraries/Main/Media");
    EXPECT_EQ(QVTesselUtil::assetMasterFolderWithPackageFolder(p), "/Libraries/Main/Media/Master");
    EXPECT_EQ(QVTesselUtil::assetThumbnailFolderWithPackageFolder(p),
              "/Libraries/Main/Media/Thumbnail");
    EXPECT_EQ(QVTesselUtil::assetPreviewFolderWithPackageFolder(p),
              "/Libraries/Main/Media/Preview");
    EXPECT_EQ(QVTesselUtil::workflowFolderWithPackageFolder(p), "/Libraries/Main/Workflow");
    EXPECT_EQ(QVTesselUtil::workflowPlistWithPackageFolder(p),
              "/Libraries/Main/Workflow/workflows.plist");
    EXPECT_EQ(QVTesselUtil::extraFolderWithPackageFolder(p), "/Libraries/Main/Extra");
    EXPECT_EQ(QVTesselUtil::dbFolderWithPackageFolder(p), "/Libraries/Main/Database");
    // A package folder written with a trailing slash names the same folder.
    EXPECT_EQ(QVTesselUtil::projectPlistWithPackageFolder("/Libraries/Main/"),
              "/Libraries/Main/Project/project.plist");
    EXPECT_EQ(QVTesselUtil::relativeMasterPath(), "/Media/Master/");
    EXPECT_EQ(QVTesselUtil::relativeThumbnailPath(), "/Media/Thumbnail/");
}

TEST_F(PathsTest, NullPackageFolderGivesNullEverywhere) {
    using Fn = QString (*)(const QString&);
    const Fn operations[] = {&QVTesselUtil::libraryPlistWithPackageFolder,
                             &QVTesselUtil::projectFolderWithPackageFolder,
                             &QVTesselUtil::projectPlistWithPackageFolder,
                             &QVTesselUtil::mediaFolderWithPackageFolder,
                             &QVTesselUtil::assetMasterFolderWithPackageFolder,
                             &QVTesselUtil::assetThumbnailFolderWithPackageFolder,
                             &QVTesselUtil::assetPreviewFolderWithPackageFolder,
                             &QVTesselUtil::workflowFolderWithPackageFolder,
                             &QVTesselUtil::workflowPlistWithPackageFolder,
                             &QVTesselUtil::extraFolderWithPackageFolder,
                             &QVTesselUtil::dbFolderWithPackageFolder};
    for (const Fn op : operations) EXPECT_TRUE(op(QString()).isNull());
}

TEST_F(PathsTest, ServicePortDefaultsAndReadsAfreshEachCall) {
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);  // no file
    writePreferences({{"OTHER", 1}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);  // no key
    writePreferences({{"PREF_SERVICE_PORT", qint64(9001)}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 9001);
    writePreferences({{"PREF_SERVICE_PORT", QStringLiteral("8123")}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 8123);
}

TEST_F(PathsTest, ServicePortIgnoresUnreadableFilesAndUnusableValues) {
    QDir().mkpath(QVTesselUtil::corvaneSupportPreferenceFolder());
    QFile file(QVTesselUtil::preferencePlist());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a property list");
    file.close();
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);
    writePreferences({{"PREF_SERVICE_PORT", QVariantList{1, 2}}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);
    writePreferences({{"PREF_SERVICE_PORT", QStringLiteral("none")}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);
    writePreferences({{"PREF_SERVICE_PORT", qint64(70000)}});
    EXPECT_EQ(QVTesselUtil::servicePort(), 7662);
}

TEST(SanitizeFileName, ReplacesEachForbiddenCharacterOnItsOwn) {
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString("a/b:c"), "a_b_c");
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString("x??y"), "x__y");
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString("/\\?%*|\"<>:"), "__________");
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString("Clip 01.mov"), "Clip 01.mov");
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString(QString::fromUtf8("Übung – Café")),
              QString::fromUtf8("Übung – Café"));
    EXPECT_TRUE(QVTesselUtil::sanitizeFileNameString(QString()).isNull());
    EXPECT_EQ(QVTesselUtil::sanitizeFileNameString(QString("a\x01"
                                                           "b\tc\nd\re") +
                                                   QChar(0x7f)),
              "a_b_c_d_e_");
}

}  // namespace
