#include <gtest/gtest.h>

#include <thread>

#include <QFile>

#include "platform/AppGroup.h"
#include "platform/Localization.h"
#include "platform/QVError.h"
#include "platform/QVLog.h"
#include "platform/Resources.h"
#include "platform/UserDefaults.h"
#include "support/TempHome.h"

TEST(LocalizationTest, MissingKeyAnswersTheKeyAndTheTableIsEmbedded) {
    EXPECT_EQ(Localization::localizedString("No such key anywhere"), "No such key anywhere");
    Resources::ensureLoaded();
    EXPECT_TRUE(QFile::exists(":/strings/en.strings"));
}

TEST(LocalizationTest, ParsesTheStringsSyntax) {
    const auto table = Localization::parseTable(QString::fromUtf8(R"(
/* A comment "with" quotes; */
"Plain" = "Text";
// line comment = "no";
"Escapes" = "Say \"hi\"\n\tand \\ done";
  "Unicode"="Gr\U00FC\u00DFe \u2026 ✓" ;
"Broken" = "missing semicolon"
"After" = "never reached";
)"));
    EXPECT_EQ(table.value("Plain"), "Text");
    EXPECT_EQ(table.value("Escapes"), "Say \"hi\"\n\tand \\ done");
    EXPECT_EQ(table.value("Unicode"), QString::fromUtf8("Grüße … ✓"));
    EXPECT_FALSE(table.contains("Broken"));
    EXPECT_FALSE(table.contains("After"));
    EXPECT_EQ(table.size(), 3);
}

TEST(UserDefaultsTest, StoresInTheConfigHomeAndReadsBackTypes) {
    TempHome home;
    auto& defaults = UserDefaults::standardUserDefaults();
    EXPECT_TRUE(defaults.stringForKey("Absent").isNull());
    EXPECT_FALSE(defaults.boolForKey("Absent"));
    EXPECT_EQ(defaults.integerForKey("Absent"), 0);

    defaults.setObject(QString("Main Library"), "LastLibrary");
    defaults.setBool(true, "ShowAlerts");
    defaults.setBool(false, "Quiet");
    defaults.setObject(qint64(1) << 40, "Big");
    defaults.setObject(QVariantList{QString("a"), 2}, "List");
    defaults.setObject(QString("gone"), "Removed");
    defaults.removeObjectForKey("Removed");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_TRUE(QFile::exists(home.configHome() + "/Corvane/Relaydock.conf"));

    defaults.reset();  // read everything again from the file
    EXPECT_EQ(defaults.stringForKey("LastLibrary"), "Main Library");
    EXPECT_TRUE(defaults.boolForKey("ShowAlerts"));
    EXPECT_FALSE(defaults.boolForKey("Quiet"));
    EXPECT_EQ(defaults.integerForKey("Big"), qint64(1) << 40);
    EXPECT_EQ(defaults.objectForKey("List").toList().size(), 2);
    EXPECT_TRUE(defaults.stringForKey("List").isNull());
    EXPECT_FALSE(defaults.objectForKey("Removed").isValid());
}

TEST(AppGroupTest, IdentifierComesFromTheEmbeddedEntitlements) {
    EXPECT_EQ(AppGroup::entitlementIdentifier(), "group.com.corvane.pro");
    EXPECT_EQ(AppGroup::fallbackIdentifier(), "group.com.corvane.pro");
}

TEST(AppGroupTest, ContainerLivesInTheDataHome) {
    TempHome home;
    EXPECT_EQ(AppGroup::containerPath("group.x"), home.dataHome() + "/group.x");
    EXPECT_EQ(home.groupContainer(), AppGroup::containerPath(AppGroup::fallbackIdentifier()));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(AppGroup::containerPath("group.x"), home.path() + "/.local/share/group.x");
    qputenv("XDG_DATA_HOME", "relative/path");  // not absolute: ignored
    EXPECT_EQ(AppGroup::containerPath("group.x"), home.path() + "/.local/share/group.x");
    for (const char* bad : {"", "..", "../escape", "a/b"})
        EXPECT_TRUE(AppGroup::containerPath(bad).isNull()) << bad;
}

TEST(QVErrorTest, DescriptionPrefersTheUserInfoText) {
    EXPECT_EQ(
        QVError::make("QVTesselErrorDomain", 42, "The library is gone.").localizedDescription(),
        "The library is gone.");
    EXPECT_EQ(
        QVError::make("NSURLErrorDomain", -1001).localizedDescription(),
        QString::fromUtf8("The operation couldn’t be completed. (NSURLErrorDomain error -1001.)"));
    EXPECT_EQ(QVError::make("D", 1), QVError::make("D", 1));
    EXPECT_FALSE(QVError::make("D", 1) == QVError::make("D", 2));
}

TEST(QVLogTest, CapturesSeeMessagesFromEveryThreadWhileTheyLive) {
    QVLog::log("before any capture");
    {
        QVLog::Capture outer;
        {
            QVLog::Capture inner;
            std::thread other([] { QVLog::log("from a worker"); });
            other.join();
            QVLog::log("from main");
            EXPECT_EQ(inner.lines(), (QStringList{"from a worker", "from main"}));
        }
        QVLog::log("after inner");
        EXPECT_TRUE(outer.contains("after inner"));
        EXPECT_TRUE(outer.contains("worker"));
        EXPECT_FALSE(outer.contains("before any capture"));
    }
}
