// The agent as a desktop session starts it: from its autostart entry, with
// its window hidden, notifying on a private session bus.

#include <QFile>

#include "E2EFixture.h"
#include "platform/Autostart.h"
#include "support/FakeNotificationServer.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

namespace {

QStringList autostartCommand() {
    QFile file(Autostart::entryPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("Exec="))
            return Autostart::execArguments(QString::fromUtf8(line.mid(5)));
    return {};
}

}  // namespace

class DesktopE2E : public E2EFixture {};

TEST_F(DesktopE2E, StartedAtLoginTheAgentStaysHiddenSharesNotifiesAndAClickShowsTheRow) {
    PrivateSessionBus bus(true);
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon is not installed";
    FakeNotificationServer server(bus.address());
    ASSERT_TRUE(server.isRegistered());
    ASSERT_TRUE(startService());
    writePreferences({});

    // What the Start at Login setting writes, run as the session would.
    ASSERT_TRUE(Autostart::setEnabled(true, AgentProcess::binary()));
    const QStringList command = autostartCommand();
    ASSERT_EQ(command.value(0), AgentProcess::binary());
    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    ASSERT_TRUE(agent->start(command.mid(1)));
    ASSERT_TRUE(agent->waitForLog("Default destination: demo / documentary-interviews"))
        << qPrintable(agent->log());
    ASSERT_TRUE(agent->waitForLog("Libraries loaded"));
    EXPECT_TRUE(agent->log().contains("Started in the background: window hidden"));

    const ClientRun run = share("Harbour at dawn");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_TRUE(waitForStatus("Harbour at dawn", 2));
    ASSERT_TRUE(waitUntil([&] { return !server.calls().isEmpty(); })) << qPrintable(agent->log());
    const auto call = server.calls().first();
    EXPECT_EQ(call.summary, "Harbour at dawn");
    EXPECT_TRUE(call.body.startsWith("Demo Library (")) << qPrintable(call.body);
    EXPECT_TRUE(call.body.contains("Interviews")) << qPrintable(call.body);
    EXPECT_EQ(call.appIcon, "com.corvane.Relaydock");

    server.click(call.id);
    EXPECT_TRUE(agent->waitForLog("Window shown with 1 row(s) selected"))
        << qPrintable(agent->log());
    EXPECT_EQ(server.calls().size(), 1);
}
