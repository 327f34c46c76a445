#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "platform/MachineIdentity.h"
#include "platform/RunningApplications.h"

namespace {
const QRegularExpression kUuid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
const QRegularExpression kSerial("^[0-9A-Z]{12}$");
}  // namespace

TEST(MachineIdentityTest, FirmwareValuesWinWhenTheyIdentifySomething) {
    EXPECT_EQ(MachineIdentity::uuidFrom("4c4c4544-0042-3510-8052-b4c04f564432\n", "abc"),
              "4C4C4544-0042-3510-8052-B4C04F564432");
    EXPECT_EQ(MachineIdentity::serialFrom("c02xk1abjg5h\n", "abc"), "C02XK1ABJG5H");
    // Placeholders and unreadable fields fall back to the machine id.
    const QByteArray id = "0123456789abcdef0123456789abcdef";
    for (const QByteArray& placeholder :
         {QByteArray(), QByteArray("00000000-0000-0000-0000-000000000000"),
          QByteArray("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), QByteArray("Not Specified")}) {
        EXPECT_EQ(MachineIdentity::uuidFrom(placeholder, id), MachineIdentity::uuidFrom({}, id));
    }
    for (const QByteArray& placeholder : {QByteArray(""), QByteArray("To Be Filled By O.E.M."),
                                          QByteArray("0"), QByteArray("System Serial Number")})
        EXPECT_EQ(MachineIdentity::serialFrom(placeholder, id),
                  MachineIdentity::serialFrom({}, id));
}

TEST(MachineIdentityTest, DerivedValuesAreStableAndShapedLikeTheRealOnes) {
    const QByteArray id = "0123456789abcdef0123456789abcdef";
    const QString uuid = MachineIdentity::uuidFrom({}, id);
    const QString serial = MachineIdentity::serialFrom({}, id);
    EXPECT_TRUE(kUuid.match(uuid).hasMatch()) << uuid.toStdString();
    EXPECT_TRUE(kSerial.match(serial).hasMatch()) << serial.toStdString();
    EXPECT_EQ(uuid, MachineIdentity::uuidFrom({}, id + "\n"));
    EXPECT_NE(uuid, MachineIdentity::uuidFrom({}, "fedcba9876543210fedcba9876543210"));
    EXPECT_NE(serial, MachineIdentity::serialFrom({}, "fedcba9876543210fedcba9876543210"));
    EXPECT_FALSE(uuid.contains("0123456789ABCDEF"));  // the machine id is not exposed
    EXPECT_TRUE(MachineIdentity::uuidFrom({}, {}).isNull());
    EXPECT_TRUE(MachineIdentity::serialFrom({}, {}).isNull());

    // This machine: both values exist and do not change between calls.
    if (!QFile::exists("/etc/machine-id") && !QFile::exists("/var/lib/dbus/machine-id") &&
        !QFile::exists("/sys/class/dmi/id/product_uuid"))
        return;
    EXPECT_FALSE(MachineIdentity::platformUUID().isEmpty());
    EXPECT_EQ(MachineIdentity::platformUUID(), MachineIdentity::platformUUID());
    EXPECT_FALSE(MachineIdentity::serialNumber().isEmpty());
}

TEST(RunningApplicationsTest, TheCompanionIsKnownByItsExecutableName) {
    EXPECT_EQ(RunningApplications::executableNameForIdentifier("com.corvane.pro"), "corvane");
    EXPECT_TRUE(RunningApplications::executableNameForIdentifier("com.example.none").isNull());
    EXPECT_FALSE(RunningApplications::isRunning("com.example.none"));
}

// A copy of sleep named like the companion is seen while it runs and not once
// it has been killed; when the process found last is gone, another one of
// the same name still counts.
TEST(RunningApplicationsTest, DetectsAProcessOfThisUserByName) {
    QTemporaryDir dir;
    const QString name = "corvane-test-" + QString::number(::getpid());
    RunningApplications::registerExecutable("com.corvane.test", name);
    const QString binary = dir.filePath(name);
    ASSERT_TRUE(QFile::copy("/bin/sleep", binary));
    ASSERT_TRUE(QFile::setPermissions(binary, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(RunningApplications::isRunning("com.corvane.test"));

    QProcess first, second;
    first.start(binary, {"600"});
    ASSERT_TRUE(first.waitForStarted());
    EXPECT_TRUE(RunningApplications::isRunning("com.corvane.test"));
    second.start(binary, {"600"});
    ASSERT_TRUE(second.waitForStarted());
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());
    EXPECT_TRUE(RunningApplications::isRunning("com.corvane.test"));
    ::kill(pid_t(second.processId()), SIGKILL);
    ASSERT_TRUE(second.waitForFinished());
    EXPECT_FALSE(RunningApplications::isRunning("com.corvane.test"));
    RunningApplications::registerExecutable("com.corvane.test", {});
    EXPECT_TRUE(RunningApplications::executableNameForIdentifier("com.corvane.test").isNull());
}
