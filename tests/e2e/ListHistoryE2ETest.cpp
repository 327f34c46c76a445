// The export history across launches: a share that comes while the stored
// list is still being read, and a library that is missing for one launch.
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

namespace {

// Finished shares as an earlier launch stored them.
QVariantMap finished(const QString& name, const QString& library, const QString& project) {
    return {{"name", name},
            {"library", library},
            {"project", project},
            {"projectname", "Stored"},
            {"original", "/srv/earlier/" + name + ".mov"},
            {"fcpxml", "/srv/earlier/" + name + ".fcpxml"},
            {"assetid", "a-" + name},
            {"exportstatus", qint64(QVExportStatusCompleted)},
            {"fcpxmlstatus", qint64(QVExportStatusCompleted)},
            {"fcpxmlonly", false},
            {"importtype", qint64(QVImportTypeInsideLibrary)}};
}

// Writes data into the named pipe once a reader has opened it.
bool feedPipe(const QString& path, const QByteArray& data) {
    const QDeadlineTimer deadline(30000);
    int fd = -1;
    while ((fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK)) < 0) {
        if (errno != ENXIO || deadline.hasExpired()) return false;
        QThread::msleep(10);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n <= 0) break;
        done += n;
    }
    ::close(fd);
    return done == data.size();
}

}  // namespace

class ListHistoryE2E : public E2EFixture {};

// The agent reads its list from a pipe that the test fills only after a share
// was answered, so the share lands before the load, every time.
TEST_F(ListHistoryE2E, ShareWhileTheListIsReadJoinsTheHistoryOnTop) {
    ASSERT_TRUE(startService());
    writePreferences({});
    QVariantList history;
    for (int i = 0; i < 40; ++i)
        history << finished(QString("Earlier %1").arg(i), "demo", "documentary-interviews");
    ASSERT_TRUE(QDir().mkpath(QVTesselUtil::relaydockFolder()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(listFile()).constData(), 0600), 0);

    ASSERT_TRUE(startAgent());
    const auto run = share("During the load");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_FALSE(agent->log().contains("Export list loaded"));
    ASSERT_TRUE(feedPipe(listFile(), PropertyList::toXml(history)));
    ASSERT_TRUE(agent->waitForLog("Export list loaded: 41 items"));
    // Read only once a save has put a file in the pipe's place.
    const QDeadlineTimer deadline(30000);
    struct stat st {};
    while (::stat(QFile::encodeName(listFile()).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        ASSERT_FALSE(deadline.hasExpired()) << "the list was not saved after the load";
        QThread::msleep(10);
    }
    ASSERT_TRUE(waitForStatus("During the load", QVExportStatusCompleted));
    const QVariantList stored = storedItems();
    ASSERT_EQ(stored.size(), 41);
    EXPECT_EQ(stored.first().toMap().value("name").toString(), "During the load");
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
    EXPECT_EQ(stored.mid(1), history);

    ASSERT_TRUE(QFile::rename(registry + ".away", registry));
    ASSERT_TRUE(restartAgent(false));
    EXPECT_TRUE(agent->waitForLog("Export list loaded: 5 items"));
}
