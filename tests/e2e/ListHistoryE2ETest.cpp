// The export history across launches: a launch whose list read is held, and
// a library that is missing for one launch.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include "E2EFixture.h"
#include "export/QVExportItem.h"
#include "platform/PropertyList.h"
#include "service/QVTesselUtil.h"
#include "support/StoredHistory.h"

using StoredHistory::feedPipe;
using StoredHistory::finished;

class ListHistoryE2E : public E2EFixture {};

// The agent reads its list from a pipe that the test fills only when it
// chooses, so the read is held as long as the test needs: the editor's
// events are answered meanwhile, and the list then loads whole.
TEST_F(ListHistoryE2E, EventsAreAnsweredWhileTheListIsRead) {
    ASSERT_TRUE(startService());
    writePreferences({});
    QVariantList history;
    for (int i = 0; i < 40; ++i)
        history << finished(QString("Earlier %1").arg(i), "demo", "documentary-interviews");
    ASSERT_TRUE(QDir().mkpath(QVTesselUtil::relaydockFolder()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(listFile()).constData(), 0600), 0);

    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    ASSERT_TRUE(agent->start());
    ASSERT_TRUE(agent->waitForLog("Libraries loaded"));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(runClient({"reopen"}, 20000).exitCode, 0);
    EXPECT_FALSE(agent->log().contains("Export list loaded"));
    ASSERT_TRUE(feedPipe(listFile(), PropertyList::toXml(history)));
    ASSERT_TRUE(agent->waitForLog("Export list loaded: 40 items"));
    ASSERT_TRUE(agent->waitForLog("Default destination: demo / documentary-interviews"));

    // The first save puts a file in the pipe's place, with the history.
    ASSERT_EQ(share("After the load").exitCode, 0);
    ASSERT_TRUE(waitForStatus("After the load", QVExportStatusCompleted));
    const QVariantList stored = storedItems();
    ASSERT_EQ(stored.size(), 41);
    EXPECT_EQ(stored.first().toMap().value("name").toString(), "After the load");
    EXPECT_EQ(stored.last().toMap().value("assetid"), history.last().toMap().value("assetid"));
}

// A network library missing from the registry for one launch: its entries
// stay in the list file, unchanged and in place, and are back at the next
// launch.
TEST_F(ListHistoryE2E, LibraryMissingForOneLaunchKeepsItsHistory) {
    QJsonObject withRemote = seed();
    QJsonArray libraries = withRemote.value("libraries").toArray();
    libraries.append(QJsonObject{
        {"dbname", "remote"},
        {"name", "Remote Library"},
        {"type", 1},
        {"users", QJsonArray{QJsonObject{{"userid", "alice"}, {"password", "remote-pw"}}}},
        {"projects", QJsonArray{QJsonObject{{"id", "r1"}, {"name", "Remote"}}}}});
    withRemote.insert("libraries", libraries);
    TesselServiceProcess::Options options;
    options.seed = withRemote;
    options.asCorvane = true;
    service = std::make_unique<TesselServiceProcess>(options);
    ASSERT_TRUE(service->start()) << qPrintable(service->errorString());
    writePreferences({});
    const QString registry = QVTesselUtil::networkLibraryPlist();
    ASSERT_TRUE(QFile::rename(registry, registry + ".away"));

    const QVariantList history{
        finished("Local 1", "demo", "documentary"), finished("Remote 1", "remote", "r1"),
        finished("Remote 2", "remote", "r1"), finished("Local 2", "demo", "scratch")};
    ASSERT_TRUE(QDir().mkpath(QVTesselUtil::relaydockFolder()));
    ASSERT_TRUE(PropertyList::writeFile(listFile(), history));

    ASSERT_TRUE(startAgent());
    ASSERT_TRUE(agent->waitForLog("Export list loaded: 2 items"));
    ASSERT_EQ(share("While away").exitCode, 0);
    ASSERT_TRUE(waitForStatus("While away", QVExportStatusCompleted));
    QVariantList stored = storedItems();
    ASSERT_EQ(stored.size(), 5);
    // The remote entries as they were, between the local ones (whose node
    // names the agent refreshed).
    EXPECT_EQ(stored.mid(2, 2), history.mid(1, 2));
    EXPECT_EQ(stored[1].toMap().value("name").toString(), "Local 1");
    EXPECT_EQ(stored[4].toMap().value("name").toString(), "Local 2");

    ASSERT_TRUE(QFile::rename(registry + ".away", registry));
    ASSERT_TRUE(restartAgent(false));
    EXPECT_TRUE(agent->waitForLog("Export list loaded: 5 items"));
}
