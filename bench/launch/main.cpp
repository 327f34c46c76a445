// bench_launch: starts the agent on generated export lists and, during the
// launch, sends it a reopen event every 20 ms, as an editor that launched it
// to share a clip would keep asking. Prints, per list size, the longest wait
// for an answer from the agent's start until a second after its list was
// loaded, the time until then, and the agent's resident memory per stored
// item (its resident size after the load minus that of an agent launched on
// an empty list, over the number of items). Figures only; nothing fails on
// them.
//
//   bench_launch [--sizes 10000,100000] [--interval 20] [--agent PATH]
//
// --agent runs another build of the agent (an earlier one, to compare).

#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "export/QVExportItemManager.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/UserDefaults.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

namespace {

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "bench_launch: %s\n", qPrintable(why));
    std::exit(1);
}

// Finished shares as the agent stores them: paths inside the library, the
// three asset IDs, a thumbnail and two keys of the editor's metadata (as the
// stand-in editor of bench_e2e sends).
qint64 writeList(int size) {
    const QString root = QDir::homePath() + "/Libraries/Bench.tlib";
    auto library = QVLibrary::libraryWithName("Bench", "", 0, false, root, QString(),
                                              std::make_shared<QVConnection>());
    library->setDbName("bench");
    auto project = QVProject::projectWithID("p", "Project", "bench", 0);
    library->setProjects({project});
    QVLibraryManager::sharedManager().setLibraries({library});
    auto location = QVUploadLocation::uploadLocationWithDictionary(QVariantMap{
        {"mediapath", "Media/Master/2026/12/08"}, {"path", "2026/12/08"}, {"dbname", "bench"}});
    QVExportItemList items;
    items.reserve(size);
    for (int i = 0; i < size; ++i) {
        const QVariantMap meta{
            {"com.apple.quicktime.description", QString("Interview take %1").arg(i)},
            {"com.apple.quicktime.keywords", "interview,director"}};
        auto item = QVExportItem::exportItemWithName(QString("Interview %1").arg(i), meta, library,
                                                     project, 1, location, QString(), false);
        const QString id = QString("%1").arg(i, 24, 16, QChar('0'));
        item->setAssetID(id);
        item->setMovieAssetID(id);
        item->setFcpXMLAssetID(QString("%1").arg(i + size, 24, 16, QChar('0')));
        item->setThumbnailPath(QVTesselUtil::relaydockThumbnailFolder() +
                               QString("/%1.jpg").arg(QVTesselUtil::UUIDString()));
        item->setExportStatus(2);
        item->setFcpXMLStatus(2);
        items << item;
    }
    QDir().mkpath(QVTesselUtil::relaydockThumbnailFolder());
    QVExportItemManager manager(QVTesselUtil::relaydockFolder());
    manager.setExportItems(items);
    if (!manager.save()) fail("cannot write the export list");
    return QFileInfo(manager.listFilePath()).size();
}

qint64 residentKB(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

struct Launch {
    double longestWaitMs = 0;
    double loadedAfterMs = 0;
    int answers = 0;
    qint64 residentKB = 0;
};

Launch launch(const QString& agentPath, const QString& work, int interval) {
    const QString socket = work + "/ae.sock";
    const QString log = work + "/agent.log";
    QFile::remove(log);
    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("RELAYDOCK_ALERT_AUTO_ANSWER", "1");
    agent.setProcessEnvironment(env);
    agent.setStandardOutputFile(QProcess::nullDevice());
    agent.setStandardErrorFile(log);
    QElapsedTimer clock;
    clock.start();
    agent.start(agentPath, {"--socket", socket});
    if (!agent.waitForStarted(10000)) fail("relaydock did not start");
    auto loaded = [&log] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) && f.readAll().contains("Export list loaded");
    };

    AppleEventClient client;
    while (!client.connectToServer(socket, 100)) {
        if (clock.elapsed() > 30000 || agent.state() == QProcess::NotRunning)
            fail("the agent does not listen");
    }
    Launch result;
    const AEDesc reopen =
        AEDesc::appleEvent(AECodes::kCoreEventClass, AECodes::kAEReopenApplication);
    qint64 loadedAt = -1;
    for (qint64 next = clock.elapsed();; next += interval) {
        if (const qint64 now = clock.elapsed(); now < next) QThread::msleep(quint64(next - now));
        QElapsedTimer wait;
        wait.start();
        QString error;
        if (!client.sendAndWait(reopen, 60000, &error)) fail("no answer: " + error);
        result.longestWaitMs = std::max(result.longestWaitMs, wait.nsecsElapsed() / 1e6);
        ++result.answers;
        if (loadedAt < 0 && loaded()) loadedAt = clock.elapsed();
        // A second past the load covers the resumption and the table.
        if (loadedAt >= 0 && clock.elapsed() > loadedAt + 1000) break;
        if (clock.elapsed() > 300000) fail("the list did not load");
    }
    result.loadedAfterMs = double(loadedAt);
    result.residentKB = residentKB(agent.processId());
    ::kill(pid_t(agent.processId()), SIGTERM);
    if (!agent.waitForFinished(30000)) agent.kill();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes{10000, 100000};
    int interval = 20;
    QString agentPath = QStringLiteral(RELAYDOCK_BIN_DIR "/relaydock");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--sizes") {
            sizes.clear();
            for (const QString& s : args[i + 1].split(',')) sizes << s.toInt();
        } else if (args[i] == "--interval") {
            interval = std::max(1, args[i + 1].toInt());
        } else if (args[i] == "--agent") {
            agentPath = args[i + 1];
        }
    }

    TempHome home;
    QTemporaryDir work;
    TesselServiceProcess::Options options;
    options.seed = QJsonObject{
        {"libraries",
         QJsonArray{QJsonObject{
             {"dbname", "bench"},
             {"name", "Bench"},
             {"projects", QJsonArray{QJsonObject{{"id", "p"}, {"name", "Project"}}}}}}}};
    options.asCorvane = true;
    TesselServiceProcess service(options);
    if (!service.start()) fail("tessel-service: " + service.errorString());
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setDefaultLibraryID("bench");
    preferences.setDefaultProjectID("p");
    preferences.setUseDefaultLibrary(true);
    UserDefaults::standardUserDefaults().synchronize();

    writeList(0);
    const Launch empty = launch(agentPath, work.path(), interval);
    std::printf("bench_launch: reopen every %d ms from the start to 1 s after the load\n",
                interval);
    std::printf("%8s %9s | %12s %8s %10s | %9s %10s\n", "items", "list MB", "longest wait",
                "answers", "loaded at", "RSS MB", "per item");
    std::printf("%8d %9.1f | %9.1f ms %8d %7.0f ms | %9.1f %10s\n", 0, 0.0, empty.longestWaitMs,
                empty.answers, empty.loadedAfterMs, empty.residentKB / 1024.0, "-");
    std::fflush(stdout);
    for (int size : sizes) {
        const qint64 bytes = writeList(size);
        const Launch run = launch(agentPath, work.path(), interval);
        std::printf("%8d %9.1f | %9.1f ms %8d %7.0f ms | %9.1f %7.2f KB\n", size, bytes / 1e6,
                    run.longestWaitMs, run.answers, run.loadedAfterMs, run.residentKB / 1024.0,
                    double(run.residentKB - empty.residentKB) / size);
        std::fflush(stdout);
    }
    return 0;
}
