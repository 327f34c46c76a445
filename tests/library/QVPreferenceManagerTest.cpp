#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "library/QVPreferenceManager.h"
#include "platform/UserDefaults.h"
#include "support/TempHome.h"

namespace {

// The value of key in the settings file as written on disk (read as text:
// a second QSettings object in this process would share the store's
// unwritten cache).
QVariant onDisk(const TempHome& home, const QString& key) {
    QFile file(home.configHome() + "/Corvane/Relaydock.conf");
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(file.readAll());
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
                                  QRegularExpression::MultilineOption);
    const auto match = line.match(text);
    return match.hasMatch() ? QVariant(match.captured(1)) : QVariant();
}

}  // namespace

TEST(QVPreferenceManagerTest, FreshInstallationAnswersNothingAndFalse) {
    TempHome home;
    auto& prefs = QVPreferenceManager::sharedManager();
    EXPECT_EQ(&prefs, &QVPreferenceManager::sharedManager());
    EXPECT_TRUE(prefs.lastSelectedLibraryID().isNull());
    EXPECT_TRUE(prefs.lastSelectedProjectID().isNull());
    EXPECT_TRUE(prefs.defaultLibraryID().isNull());
    EXPECT_TRUE(prefs.defaultProjectID().isNull());
    EXPECT_TRUE(prefs.storeToPath().isNull());
    EXPECT_FALSE(prefs.useDefaultLibrary());
    EXPECT_FALSE(prefs.exportFCPXMLOnly());
    EXPECT_FALSE(prefs.storeTo());
}

TEST(QVPreferenceManagerTest, SettersWriteTheirKeysAndSynchronize) {
    TempHome home;
    auto& prefs = QVPreferenceManager::sharedManager();
    prefs.setLastSelectedLibraryID("lib-a");
    prefs.setLastSelectedProjectID("proj-a");
    prefs.setDefaultLibraryID("lib-b");
    prefs.setDefaultProjectID("proj-b");
    prefs.setUseDefaultLibrary(true);
    prefs.setExportFCPXMLOnly(true);
    prefs.setStoreTo(true);
    prefs.setStoreToPath("/media/out");
    EXPECT_EQ(prefs.lastSelectedLibraryID(), "lib-a");
    EXPECT_EQ(prefs.lastSelectedProjectID(), "proj-a");
    EXPECT_EQ(prefs.defaultLibraryID(), "lib-b");
    EXPECT_EQ(prefs.defaultProjectID(), "proj-b");
    EXPECT_TRUE(prefs.useDefaultLibrary());
    EXPECT_TRUE(prefs.exportFCPXMLOnly());
    EXPECT_TRUE(prefs.storeTo());
    EXPECT_EQ(prefs.storeToPath(), "/media/out");

    EXPECT_EQ(onDisk(home, "PREF_LIBRARY_LAST_SELECTED").toString(), "lib-a");
    EXPECT_EQ(onDisk(home, "PREF_PROJECT_LAST_SELECTED").toString(), "proj-a");
    EXPECT_EQ(onDisk(home, "PREF_LIBRARY_DEFAULT_LIBRARY").toString(), "lib-b");
    EXPECT_EQ(onDisk(home, "PREF_LIBRARY_DEFAULT_PROJECT").toString(), "proj-b");
    EXPECT_TRUE(onDisk(home, "PREF_LIBRARY_USE_DEFAULT").toBool());
    EXPECT_TRUE(onDisk(home, "PREF_EXPORT_FCPXML_ONLY").toBool());
    EXPECT_TRUE(onDisk(home, "PREF_EXPORT_STORE_TO").toBool());
    EXPECT_EQ(onDisk(home, "PREF_STORE_TO_PATH").toString(), "/media/out");

    // Storing false for the choice leaves the path alone.
    prefs.setStoreTo(false);
    EXPECT_FALSE(prefs.storeTo());
    EXPECT_FALSE(onDisk(home, "PREF_EXPORT_STORE_TO").toBool());
    EXPECT_EQ(prefs.storeToPath(), "/media/out");
}

TEST(QVPreferenceManagerTest, ClearingAnIdentifierWaitsForTheNextSynchronize) {
    TempHome home;
    auto& prefs = QVPreferenceManager::sharedManager();
    prefs.setDefaultLibraryID("lib");
    prefs.setDefaultProjectID("proj");
    prefs.setDefaultLibraryID(QString());
    EXPECT_TRUE(prefs.defaultLibraryID().isNull());
    EXPECT_EQ(onDisk(home, "PREF_LIBRARY_DEFAULT_LIBRARY").toString(), "lib");  // not yet written
    prefs.setExportFCPXMLOnly(false);  // any synchronizing setter writes the removal too
    EXPECT_FALSE(onDisk(home, "PREF_LIBRARY_DEFAULT_LIBRARY").isValid());
    EXPECT_EQ(onDisk(home, "PREF_LIBRARY_DEFAULT_PROJECT").toString(), "proj");

    prefs.setStoreToPath("/x");
    prefs.setStoreToPath(QString());  // removed and written at once
    EXPECT_TRUE(prefs.storeToPath().isNull());
    EXPECT_FALSE(onDisk(home, "PREF_STORE_TO_PATH").isValid());
}

TEST(QVPreferenceManagerTest, ReplacingTheStore) {
    TempHome home;
    auto& prefs = QVPreferenceManager::sharedManager();
    UserDefaults other;
    prefs.setUserDefaults(&other);
    EXPECT_EQ(prefs.userDefaults(), &other);
    prefs.setUseDefaultLibrary(true);
    EXPECT_TRUE(other.boolForKey("PREF_LIBRARY_USE_DEFAULT"));
    prefs.setUserDefaults(nullptr);  // back to the standard store
    EXPECT_EQ(prefs.userDefaults(), &UserDefaults::standardUserDefaults());
}
