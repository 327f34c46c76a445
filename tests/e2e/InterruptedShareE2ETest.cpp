#include <memory>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "E2EFixture.h"
#include "export/QVExportItem.h"
#include "support/Wait.h"

// The agent is killed (SIGKILL) while the editor is still writing a movie it
// was told to write, and started again at once. The editor's announcement
// of the finished files may come to the new agent, or may have gone to the
// dead one; or the editor abandons the export. A movie must never be
// registered before it is complete, nor one that never came.
class InterruptedShareE2E : public E2EFixture {
  protected:
    void SetUp() override {
        E2EFixture::SetUp();
        ASSERT_TRUE(startService());
        writePreferences({});
    }
    void TearDown() override {
        qunsetenv("RELAYDOCK_QUIET_MS");
        if (client_) client_->waitForFinished(60000);
        E2EFixture::TearDown();
    }

    // Shares `name` with its movie written over six seconds and no
    // announcement, and kills the agent once part of the movie is on disk.
    void killMidWrite(const QString& name, const QStringList& extra = {}) {
        ASSERT_TRUE(startAgent());
        client_ = std::make_unique<QProcess>();
        client_->start(RELAYDOCK_BIN_DIR "/share-client",
                       QStringList{"--socket", socketPath, "--timeout", "30", "share", "--name",
                                   name, "--media", movie(), "--write-seconds", "6", "--no-open"} +
                           extra);
        ASSERT_TRUE(waitForItem(name, [](const QVariantMap& item) {
            return item.value("exportstatus").toLongLong() == QVExportStatusExporting;
        }));
        moviePath_ = storedItem(name).value("original").toString();
        xmlPath_ = storedItem(name).value("fcpxml").toString();
        ASSERT_TRUE(waitUntil([&] { return QFileInfo(moviePath_).size() > 0; }));
        agent->kill();
        EXPECT_LT(QFileInfo(moviePath_).size(), fullSize()) << "killed after the writing";
        EXPECT_EQ(storedItem(name).value("exportstatus").toLongLong(), QVExportStatusExporting);
    }
    void restart(int pollMs = 40) { ASSERT_TRUE(startAgent(true, pollMs)); }
    // Killed mid-write, started again at once, the editor then finishes.
    void shareKilledMidWrite(const QString& name) {
        killMidWrite(name);
        restart();
        ASSERT_TRUE(client_->waitForFinished(60000));
        ASSERT_EQ(client_->exitCode(), 0) << client_->readAllStandardOutput().toStdString();
    }

    static qint64 fullSize() { return QFileInfo(movie()).size(); }

    QList<QJsonObject> movieAssets(const QString& name) {
        QList<QJsonObject> out;
        for (const auto& asset : assetsNamed(name))
            if (asset.value("masterpath").toString().endsWith(".mov")) out << asset;
        return out;
    }

    bool settledAt(const QString& name, qint64 movie, qint64 description) {
        return waitForItem(name, [=](const QVariantMap& item) {
            return item.value("exportstatus").toLongLong() == movie &&
                   item.value("fcpxmlstatus").toLongLong() == description;
        });
    }

    std::unique_ptr<QProcess> client_;
    QString moviePath_;
    QString xmlPath_;
};

TEST_F(InterruptedShareE2E, AnnouncedAfterTheRestartRegistersTheCompleteMovieOnce) {
    // Long enough that only the announcement can register the files.
    qputenv("RELAYDOCK_QUIET_MS", "600000");
    shareKilledMidWrite("Killed mid-write");
    EXPECT_EQ(service->requests("create").count, 0) << "registered before it was complete";
    // Quit while the completeness wait is pending: the agent ends cleanly
    // and the next launch takes the wait up again.
    ASSERT_TRUE(agent->quit());
    EXPECT_EQ(agent->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(agent->exitCode(), 0) << qPrintable(agent->log());
    restart();
    const auto open = runClient({"open", moviePath_, xmlPath_});
    ASSERT_EQ(open.exitCode, 0);
    ASSERT_TRUE(settledAt("Killed mid-write", QVExportStatusCompleted, QVExportStatusCompleted))
        << qPrintable(agent->log());
    const auto assets = movieAssets("Killed mid-write");
    ASSERT_EQ(assets.size(), 1);
    EXPECT_EQ(assets[0].value("_sizeatcreation").toInteger(), fullSize());
    EXPECT_TRUE(assets[0].value("_completed").toBool());
    EXPECT_EQ(assetsNamed("Killed mid-write").size(), 2) << "the movie and its description";
}

TEST_F(InterruptedShareE2E, AnnouncementLostWithTheAgentRegistersOnceTheFileIsQuiet) {
    qputenv("RELAYDOCK_QUIET_MS", "1500");
    shareKilledMidWrite("Never announced");
    ASSERT_TRUE(settledAt("Never announced", QVExportStatusCompleted, QVExportStatusCompleted))
        << qPrintable(agent->log());
    EXPECT_TRUE(agent->log().contains("Export complete without its announcement"));
    const auto assets = movieAssets("Never announced");
    ASSERT_EQ(assets.size(), 1);
    EXPECT_EQ(assets[0].value("_sizeatcreation").toInteger(), fullSize());
    EXPECT_EQ(assetsNamed("Never announced").size(), 2);
}

TEST_F(InterruptedShareE2E, ExportAbandonedWhileTheAgentWasDownEndsCancelled) {
    // The editor cancels (and deletes the partial movie) before the agent
    // is back; with ten-millisecond polls the wait for the file is six
    // seconds.
    killMidWrite("Abandoned", {"--cancel-after", "3"});
    ASSERT_TRUE(client_->waitForFinished(60000));
    ASSERT_FALSE(QFileInfo::exists(moviePath_));
    restart(10);
    ASSERT_TRUE(settledAt("Abandoned", QVExportStatusCanceled, QVExportStatusNone))
        << qPrintable(agent->log());
    EXPECT_EQ(service->requests("create").count, 0);
    EXPECT_TRUE(assetsNamed("Abandoned").isEmpty());
}
