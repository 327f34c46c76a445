#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "E2EFixture.h"
#include "platform/Localization.h"
#include "service/QVTesselUtil.h"

namespace {

QString alertLine(const char* key) {
    return "Alert: " + Localization::localizedString(QString::fromUtf8(key));
}

struct AgentRun {
    int exitCode = -1;
    QString out;
    QString err;
};

AgentRun runAgent(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(AgentProcess::binary(), args);
    AgentRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace

class LaunchE2E : public E2EFixture {};

TEST_F(LaunchE2E, KilledAfterTheMakeTheItemIsResumedAtTheNextLaunch) {
    ASSERT_TRUE(startService());
    writePreferences({});
    ASSERT_TRUE(startAgent());

    // The editor finishes its files but the agent is gone before it could
    // say so.
    const auto run = share("Interrupted", {"--no-open"});
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_TRUE(waitForItem("Interrupted", [](const QVariantMap&) { return true; }));
    agent->kill();
    EXPECT_LT(movieStatus(storedItem("Interrupted")), QVExportStatusCompleted);
    EXPECT_TRUE(assetsNamed("Interrupted").isEmpty());

    ASSERT_TRUE(restartAgent(false));
    ASSERT_TRUE(waitForItem("Interrupted", [](const QVariantMap& item) {
        return bothSides(item, QVExportStatusCompleted) && item.contains("thumbnail");
    }));
    EXPECT_EQ(assetsNamed("Interrupted").size(), 2);
}

TEST_F(LaunchE2E, WithoutAnyLibraryTheAgentAlertsAndQuits) {
    ASSERT_TRUE(startService(false));
    writePreferences({});
    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    ASSERT_TRUE(agent->start());
    ASSERT_TRUE(agent->waitForExit(30000));
    EXPECT_EQ(agent->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent->exitCode(), 0);
    EXPECT_TRUE(agent->log().contains(alertLine("library.message.not.exist")))
        << qPrintable(agent->log());
    // The export list is never read.
    EXPECT_FALSE(agent->log().contains("Export list loaded"));
    EXPECT_FALSE(QFileInfo::exists(QVTesselUtil::relaydockFolder() + "/assets.plist"));
}

TEST_F(LaunchE2E, UnreadableExportListAlertsAndQuits) {
    ASSERT_TRUE(startService());
    writePreferences({});
    // Something that is no folder stands where the agent keeps its list.
    QDir().mkpath(QFileInfo(QVTesselUtil::relaydockFolder()).absolutePath());
    QFile blocker(QVTesselUtil::relaydockFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    ASSERT_TRUE(agent->start());
    ASSERT_TRUE(agent->waitForExit(30000));
    EXPECT_EQ(agent->exitCode(), 0);
    EXPECT_TRUE(agent->log().contains(alertLine("exportitems.cant.load")))
        << qPrintable(agent->log());
}

TEST_F(LaunchE2E, SecondLaunchShowsTheRunningAgentsWindowAndExits) {
    ASSERT_TRUE(startService());
    writePreferences({});
    ASSERT_TRUE(startAgent());
    const AgentRun second = runAgent({"--socket", socketPath});
    EXPECT_EQ(second.exitCode, 0) << qPrintable(second.err);
    EXPECT_TRUE(second.err.contains("already running"));
    EXPECT_TRUE(agent->waitForLog("Reopen: main window shown"));
    EXPECT_TRUE(agent->isRunning());
}

TEST_F(LaunchE2E, QuitEndsCleanlyAndSingleFilesAreRefused) {
    ASSERT_TRUE(startService());
    writePreferences({});
    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    const QString file = work->filePath("clip.mov");
    QFile(file).open(QIODevice::WriteOnly);
    ASSERT_TRUE(agent->start({file}));
    ASSERT_TRUE(agent->waitForLog("Default destination: demo / documentary-interviews"));
    EXPECT_TRUE(agent->log().contains("Refused to open " + file));
    ASSERT_EQ(runClient({"quit"}).exitCode, 0);
    ASSERT_TRUE(agent->waitForExit(15000));
    EXPECT_EQ(agent->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent->exitCode(), 0);
    EXPECT_TRUE(storedItems().isEmpty());
}
