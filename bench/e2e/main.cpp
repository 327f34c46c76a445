// bench_e2e: with 1,000 finished items already in the export list, times
// over 50 shares (a) the create command from make to reply and (b) the
// finish step from the open-files event to the item's status 2, both as the
// user meets it (the agent has taken both confirmations in and shown them)
// and once a save showing it has landed on disk, against a floor measured
// in the same run: after each share, with the agent idle, the service
// requests the agent made for it (from the service's request log), replayed
// by a minimal client on one kept-alive connection, plus one save of the
// list as it then stands, with fsync.
// Prints every figure and ratio, the requests seen per share, where the
// time of a share goes (the agent, the service, the list saves), and two
// checks for the Nagle/delayed-ACK stall: the service on a kept-alive
// connection, and the agent's HTTP client against a server that never sets
// TCP_NODELAY.
//
//   bench_e2e [--shares N] [--items N]
//   BENCH_AGENT_LOG=FILE keeps the agent's log; BENCH_AGENT_WRAPPER=COMMAND
//   runs the agent under a profiler or tracer; BENCH_TIMELINE=FILE writes
//   each share's open-files phase as a timeline (requests and saves).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include "FloorSampler.h"
#include "KeptAliveClient.h"
#include "ListReader.h"
#include "LogTail.h"
#include "PhaseBreakdown.h"
#include "PlainHttpServer.h"
#include "SaveWatcher.h"
#include "ServiceReplay.h"
#include "ShareTimeline.h"
#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/UserDefinedRecord.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "service/QVNetworkThread.h"
#include "service/QVTesselUtil.h"
#include "support/ProcessSockets.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

using namespace AECodes;

namespace {

// Every moment of the bench, on the clock the saves are seen by.
constexpr auto nowUs = &SaveWatcher::nowUs;

double median(std::vector<double> v) {
    return PhaseBreakdown::median(std::move(v));
}

// The service's log: every request but the test hooks', in order of arrival.
std::vector<ServiceReplay::Logged> loggedRequests(TesselServiceProcess& service) {
    std::vector<ServiceReplay::Logged> logged;
    const auto all = service.allRequests();
    for (auto it = all.begin(); it != all.end(); ++it)
        if (!it.key().startsWith("assets"))
            for (const auto& r : it.value().list) logged.push_back({it.key(), r});
    std::sort(logged.begin(), logged.end(),
              [](const ServiceReplay::Logged& a, const ServiceReplay::Logged& b) {
                  return a.request.sequence < b.request.sequence;
              });
    return logged;
}

double ms(qint64 us) {
    return double(us) / 1000.0;
}

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "bench_e2e: %s\n", qPrintable(why));
    std::exit(1);
}

AEDesc firstDocument() {
    AEDesc doc = AEDesc::recordDescriptor(typeObjectSpecifier);
    doc.setDescriptor(AEDesc::typeCode(fourCC("docu")), keyAEDesiredClass);
    doc.setDescriptor(AEDesc(), keyAEContainer);
    doc.setDescriptor(AEDesc::enumCode(formAbsolutePosition), keyAEKeyForm);
    doc.setDescriptor(AEDesc::int32(1), keyAEKeyData);
    return doc;
}

AEDesc makeEvent(const QString& name) {
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    ev.setAttributeDescriptor(AEDesc::int32(kAECanInteract), keyInteractLevelAttr);
    ev.setParamDescriptor(AEDesc::typeCode(fourCC("aset")), fourCC("kocl"));
    AEDesc location = AEDesc::recordDescriptor(typeInsertionLoc);
    location.setDescriptor(firstDocument(), keyAEObject);
    location.setDescriptor(AEDesc::enumCode(kAEEnd), keyAEPosition);
    ev.setParamDescriptor(location, fourCC("insh"));
    AEDesc properties = AEDesc::recordDescriptor();
    properties.setDescriptor(AEDesc::unicodeText(name), fourCC("pnam"));
    const QVariantMap meta{{"com.apple.quicktime.description", "bench"},
                           {"com.apple.quicktime.keywords", "bench,e2e"}};
    properties.setDescriptor(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(meta),
                             fourCC("meta"));
    properties.setDescriptor(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(QVariantMap()),
                             fourCC("dopt"));
    ev.setParamDescriptor(properties, fourCC("prdt"));
    return ev;
}

AEDesc getEvent(const AEDesc& container, quint32 property) {
    AEDesc specifier = AEDesc::recordDescriptor(typeObjectSpecifier);
    specifier.setDescriptor(AEDesc::typeCode(cProperty), keyAEDesiredClass);
    specifier.setDescriptor(container, keyAEContainer);
    specifier.setDescriptor(AEDesc::enumCode(formPropertyID), keyAEKeyForm);
    specifier.setDescriptor(AEDesc::typeCode(property), keyAEKeyData);
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAEGetData);
    ev.setParamDescriptor(specifier, keyDirectObject);
    return ev;
}

AEDesc openEvent(const QStringList& files) {
    AEDesc list = AEDesc::listDescriptor();
    for (const auto& f : files) list.insertDescriptor(AEDesc::fileURL(QUrl::fromLocalFile(f)), 0);
    AEDesc ev = AEDesc::appleEvent(kCoreEventClass, kAEOpenDocuments);
    ev.setParamDescriptor(list, keyDirectObject);
    return ev;
}

AEDesc send(AppleEventClient& client, const AEDesc& event) {
    QString error;
    const auto reply = client.sendAndWait(event, 30000, &error);
    if (!reply) fail("no reply: " + error);
    if (const int n = AppleEventClient::errorNumber(*reply)) fail(QString("error %1").arg(n));
    return AppleEventClient::result(*reply).value_or(AEDesc());
}

// Client-side moments of one share (system clock, microseconds).
struct ShareTimes {
    qint64 makeSent = 0, makeReplied = 0, openSent = 0, shown = 0, done = 0, pictured = 0;
};

// The agent's own HTTP client (Qt Network on its network thread) sending
// POSTs with a body over one kept-alive connection to a server that never
// sets TCP_NODELAY; answers the median per request and whether the
// client's socket has TCP_NODELAY.
std::pair<double, QString> agentClientProbe(int count) {
    PlainHttpServer server;
    if (server.port() == 0) fail("cannot start the plain server");
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/probe").arg(server.port())));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const QByteArray body = "{\"items\":[{\"name\":\"" + QByteArray(300, 'x') + "\"}]}";
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        const auto response = QVNetworkThread::shared().sendAndWait(request, "POST", body, 10000);
        if (response.error || response.statusCode != 200) fail("probe POST failed");
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    QString error;
    const auto sockets = ProcessSockets::connections(::getpid(), server.port(), &error);
    QString noDelay = error.isEmpty() ? QStringLiteral("unknown") : error;
    for (const auto& s : sockets) noDelay = s.noDelay ? "set" : "not set";
    QVNetworkThread::shared().clearConnectionCache();
    return {median(times), noDelay};
}

// What each share writes as its movie: a real one (five 1080p ProRes
// frames, about 470 KB), since the agent makes its thumbnail while the
// share is registered and a file FFmpeg cannot recognise costs far more to
// look at than a movie does. Bytes of a pattern when ffmpeg is missing.
QByteArray shareMovie(const QString& folder) {
    const QString path = folder + "/source.mov";
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=25", "-t",
                  "0.2", "-c:v", "prores_ks", "-profile:v", "0", path});
    QFile file(path);
    if (ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && file.open(QIODevice::ReadOnly))
        return file.readAll();
    std::fprintf(stderr, "bench_e2e: no ffmpeg, each movie is 512 KB of a pattern\n");
    QByteArray movie(512 * 1024, '\0');
    for (qsizetype i = 0; i < movie.size(); ++i) movie[i] = char((i * 131) & 0xff);
    return movie;
}

// CPU time the process has used so far (all its threads), in milliseconds.
double cpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command's closing parenthesis; utime and stime are
    // the 14th and 15th of the line.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) * 1000.0 /
           double(::sysconf(_SC_CLK_TCK));
}

double keptAliveSystemRequest(const TesselServiceProcess& service, int count) {
    KeptAliveClient client;
    if (!client.connectTo(service.address(), quint16(service.port())))
        fail("service not reachable");
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        if (!client.exchange("GET", "/tessel/system?id=BENCH", {{"Host", "127.0.0.1"}}, {}))
            fail("kept-alive request failed");
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(times);
}

double newConnectionSystemRequest(const TesselServiceProcess& service) {
    QElapsedTimer t;
    t.start();
    KeptAliveClient client;
    if (!client.connectTo(service.address(), quint16(service.port())) ||
        !client.exchange("GET", "/tessel/system?id=BENCH", {{"Host", "127.0.0.1"}}, {}))
        fail("request on a new connection failed");
    return t.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int shares = 50;
    int prefill = 1000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--shares") shares = std::max(1, args[i + 1].toInt());
        if (args[i] == "--items") prefill = std::max(0, args[i + 1].toInt());
    }

    TempHome home;
    QTemporaryDir work;
    const QJsonObject seed{
        {"libraries",
         QJsonArray{QJsonObject{
             {"dbname", "bench"},
             {"name", "Bench"},
             {"projects", QJsonArray{QJsonObject{{"id", "p"}, {"name", "Project"}}}}}}}};
    TesselServiceProcess::Options options;
    options.seed = seed;
    options.asCorvane = true;
    TesselServiceProcess service(options);
    if (!service.start()) fail("tessel-service: " + service.errorString());

    // The export list before launch: finished items, so nothing is resumed.
    QDir().mkpath(QVTesselUtil::relaydockThumbnailFolder());
    QVariantList entries;
    for (int i = 0; i < prefill; ++i) {
        const QString name = QString("Earlier clip %1").arg(i);
        entries << QVariantMap{{"name", name},
                               {"library", "bench"},
                               {"project", "p"},
                               {"projectname", "Project"},
                               {"original", work.filePath(name + ".mov")},
                               {"fcpxml", work.filePath(name + ".fcpxml")},
                               {"assetid", QString::number(i + 1)},
                               {"exportstatus", 2},
                               {"fcpxmlstatus", 2},
                               {"fcpxmlonly", false},
                               {"importtype", 1}};
    }
    const QString listFile = QDir(QVTesselUtil::relaydockFolder()).filePath("assets.plist");
    if (!PropertyList::writeFile(listFile, entries)) fail("cannot write the export list");

    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setDefaultLibraryID("bench");
    preferences.setDefaultProjectID("p");
    preferences.setUseDefaultLibrary(true);
    UserDefaults::standardUserDefaults().synchronize();

    const QString socket = work.filePath("ae.sock");
    const QString log = qEnvironmentVariableIsSet("BENCH_AGENT_LOG")
                            ? qEnvironmentVariable("BENCH_AGENT_LOG")
                            : work.filePath("agent.log");
    QProcess agent;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("RELAYDOCK_ALERT_AUTO_ANSWER", "1");
    agent.setProcessEnvironment(env);
    agent.setStandardErrorFile(log);
    QStringList command =
        qEnvironmentVariable("BENCH_AGENT_WRAPPER").split(' ', Qt::SkipEmptyParts);
    command << RELAYDOCK_BIN_DIR "/relaydock"
            << "--socket" << socket;
    agent.start(command.takeFirst(), command);
    if (!agent.waitForStarted(10000)) fail("relaydock did not start");
    QElapsedTimer wait;
    wait.start();
    auto agentLog = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    while (!agentLog().contains("Default destination: bench / p")) {
        if (wait.elapsed() > 60000 || agent.state() == QProcess::NotRunning)
            fail("the agent did not get ready:\n" + agentLog());
        QThread::msleep(20);
    }

    const QByteArray movie = shareMovie(work.path());

    AppleEventClient client;
    if (!client.connectToServer(socket, 5000)) fail("cannot connect to the agent");
    SaveWatcher saves(listFile);
    if (!saves.isValid()) fail("cannot watch the export list");
    ListReader reader(listFile);
    LogTail agentLogTail(log);
    // The floor's list saves need the libraries its items name.
    bool loaded = false;
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [&loaded](const QVLibraryList&) { loaded = true; });
    while (!loaded) QThread::msleep(5);
    FloorSampler floorSampler(service.address(), quint16(service.port()), listFile);
    if (!service.clearRequests()) fail("cannot clear the request log");
    std::vector<ShareTimes> times;
    const double cpuBefore = cpuMs(agent.processId());
    for (int n = 0; n < shares; ++n) {
        const QString name = QString("Bench share %1").arg(n);
        ShareTimes share;
        share.makeSent = nowUs();
        const AEDesc asset = send(client, makeEvent(name));
        share.makeReplied = nowUs();
        const AEDesc info = send(client, getEvent(asset, fourCC("locn")));
        const QString folder =
            info.descriptorForKeyword(fourCC("asfd"))->fileURLValue().toLocalFile();
        const QString base = info.descriptorForKeyword(fourCC("asbn"))->stringValue();
        const QString mov = QDir(folder).filePath(base + ".mov");
        const QString xml = QDir(folder).filePath(base + ".fcpxml");
        QFile m(mov), x(xml);
        if (!m.open(QIODevice::WriteOnly) || m.write(movie) != movie.size()) fail("write " + mov);
        m.close();
        if (!x.open(QIODevice::WriteOnly) || x.write("<fcpxml version=\"1.10\"/>\n") < 0)
            fail("write " + xml);
        x.close();
        agentLogTail.forget();
        share.openSent = nowUs();
        send(client, openEvent({mov, xml}));
        // The agent logs each file's registration as it shows it.
        const QByteArray movieShown = "Registered movie: " + name.toUtf8() + '\n';
        const QByteArray xmlShown = "Registered description: " + name.toUtf8() + '\n';
        size_t seen = 0;
        // An agent built before that log line is timed on disk only.
        for (bool onDisk = false;
             !onDisk || (share.shown == 0 && agentLogTail.contains("Registered "));) {
            if (share.shown == 0 && agentLogTail.contains(movieShown) &&
                agentLogTail.contains(xmlShown))
                share.shown = nowUs();
            // Only a save that landed can change what the file says.
            const size_t landed = saves.savesBetween(share.openSent, nowUs()).size();
            if (landed != seen && !onDisk) {
                seen = landed;
                reader.read(name);
                onDisk = reader.status("exportstatus") == 2 && reader.status("fcpxmlstatus") == 2;
                const qint64 s = reader.status("exportstatus");
                if (s == 6 || s == 7) fail(QString("%1 ended in status %2").arg(name).arg(s));
                // The moment the save that said so landed, not when we read it.
                if (onDisk)
                    share.done = saves.savesBetween(share.openSent, nowUs()).back().landedUs;
            }
            if (ms(nowUs() - share.openSent) > 60000)
                fail(name + " did not complete:\n" + agentLog());
            agentLogTail.waitForGrowth(2);
        }
        // An editor shares one clip at a time, seconds apart: the next share
        // starts once this one's thumbnail is stored (or given up on), so it
        // is not timed against the decoding of the one before.
        for (size_t landed = 0; share.pictured == 0;) {
            if (const size_t now = saves.savesBetween(share.openSent, nowUs()).size();
                now != landed) {
                landed = now;
                reader.read(name);
                if (reader.has("thumbnail"))
                    share.pictured = saves.savesBetween(share.openSent, nowUs()).back().landedUs;
            }
            if (share.pictured == 0 && agentLogTail.contains("Can't extract thumbnail image."))
                share.pictured = nowUs();
            if (ms(nowUs() - share.openSent) > 60000) fail(name + " got no thumbnail");
            agentLogTail.waitForGrowth(2);
        }
        times.push_back(share);
        // A sample of the floor after each share, with the agent idle: the
        // same requests and a save of the same list, meeting the disk as
        // the shares do (its flushes vary over a run).
        const std::vector<ServiceReplay::Logged> logged = loggedRequests(service);
        std::vector<const ServiceReplay::Logged*> makePhase, openPhase;
        for (const ServiceReplay::Logged& l : logged) {
            const qint64 at = l.request.receivedUs;
            if (floorSampler.duringReplay(at)) continue;
            if (at >= share.makeSent && at <= share.makeReplied)
                makePhase.push_back(&l);
            else if (at >= share.openSent && at <= std::max(share.done, share.shown))
                openPhase.push_back(&l);
        }
        if (QString e; !floorSampler.sample(makePhase, openPhase, &e)) fail(e);
    }
    const double agentCpu = (cpuMs(agent.processId()) - cpuBefore) / shares;
    client.sendAndWait(AEDesc::appleEvent(kCoreEventClass, kAEQuitApplication), 5000);
    agent.waitForFinished(15000);

    // The service's log: every request, each placed in the share and the
    // phase it arrived in.
    const std::vector<ServiceReplay::Logged> logged = loggedRequests(service);
    std::map<QString, int> perEndpoint;
    std::map<QString, std::vector<double>> answering;
    for (const ServiceReplay::Logged& l : logged) {
        if (floorSampler.duringReplay(l.request.receivedUs)) continue;
        const QString key = l.request.method + ' ' + l.endpoint;
        ++perEndpoint[key];
        if (l.request.answeredUs > 0)
            answering[key].push_back(ms(l.request.answeredUs - l.request.receivedUs));
    }
    PhaseBreakdown make, shown, finish;
    ShareTimeline timeline(qEnvironmentVariable("BENCH_TIMELINE"));
    std::vector<const ServiceReplay::Logged*> lastMake, lastOpen;
    int outside = 0;
    for (size_t n = 0; n < times.size(); ++n) {
        const ShareTimes& t = times[n];
        std::vector<const ServiceReplay::Logged*> makePhase, openPhase, shownPhase;
        for (const ServiceReplay::Logged& l : logged) {
            const qint64 at = l.request.receivedUs;
            if (at >= t.makeSent && at <= t.makeReplied)
                makePhase.push_back(&l);
            else if (at >= t.openSent && at <= std::max(t.done, t.shown))
                openPhase.push_back(&l);
            else if (at >= t.makeSent && (n + 1 == times.size() || at < times[n + 1].makeSent) &&
                     !floorSampler.duringReplay(at))
                ++outside;
        }
        for (const auto* l : openPhase)
            if (l->request.receivedUs <= t.shown) shownPhase.push_back(l);
        make.add(t.makeSent, t.makeReplied, makePhase,
                 saves.savesBetween(t.makeSent, t.makeReplied));
        if (t.shown > 0)
            shown.add(t.openSent, t.shown, shownPhase, saves.savesBetween(t.openSent, t.shown));
        finish.add(t.openSent, t.done, openPhase, saves.savesBetween(t.openSent, t.done));
        timeline.add(n, t.openSent, t.done, openPhase, saves.savesBetween(t.openSent, t.done));
        lastMake = makePhase;
        lastOpen = openPhase;
    }

    // The floor as it was measured before: the last share's requests and a
    // save of the final list, fifty times in one burst after the agent quit.
    QTemporaryDir floorDir;
    QFile::copy(listFile, floorDir.filePath("assets.plist"));
    QVExportItemManager manager(floorDir.path(), floorDir.filePath("Caches"));
    if (!manager.loadExportItems() || manager.count() < prefill) fail("floor list did not load");
    KeptAliveClient replayClient;
    if (!replayClient.connectTo(service.address(), quint16(service.port())))
        fail("service not reachable");
    std::vector<double> burstMs;
    for (int n = 0; n < shares; ++n) {
        QElapsedTimer t;
        t.start();
        if (const QString e = ServiceReplay::replay(replayClient, lastMake); !e.isEmpty())
            fail("replay: " + e);
        if (const QString e = ServiceReplay::replay(replayClient, lastOpen); !e.isEmpty())
            fail("replay: " + e);
        if (!manager.save()) fail("floor save failed");
        burstMs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::vector<double> requestMs, makeRequestMs, saveMs, floorMs;
    for (const FloorSampler::Sample& f : floorSampler.samples()) {
        makeRequestMs.push_back(f.makeRequestsMs);
        requestMs.push_back(f.requestsMs);
        saveMs.push_back(f.saveMs);
        floorMs.push_back(f.requestsMs + f.saveMs);
    }

    const double keptAlive = keptAliveSystemRequest(service, shares);
    std::vector<double> fresh;
    for (int n = 0; n < shares; ++n) fresh.push_back(newConnectionSystemRequest(service));
    const auto [clientMs, clientNoDelay] = agentClientProbe(shares);

    std::vector<double> makeMs, shownMs, finishMs, picturedMs;
    for (const ShareTimes& t : times) {
        makeMs.push_back(ms(t.makeReplied - t.makeSent));
        picturedMs.push_back(ms(t.pictured - t.openSent));
        if (t.shown > 0) shownMs.push_back(ms(t.shown - t.openSent));
        finishMs.push_back(ms(t.done - t.openSent));
    }
    const double floor = median(floorMs);
    const double makeMedian = median(makeMs);
    const double shownMedian = median(shownMs);
    const double finishMedian = median(finishMs);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    std::printf("bench_e2e: %d shares, %lld items in the list\n", shares,
                static_cast<long long>(manager.count()));
    std::printf("requests per share (service log): ");
    bool first = true;
    for (const auto& [endpoint, count] : perEndpoint) {
        std::printf("%s%s %.2f (service %.2f ms each)", first ? "" : ", ", qPrintable(endpoint),
                    double(count) / shares, median(answering[endpoint]));
        first = false;
    }
    std::printf("\n  make -> reply:          %s\n", qPrintable(ServiceReplay::describe(lastMake)));
    std::printf("  open files -> status 2: %s\n", qPrintable(ServiceReplay::describe(lastOpen)));
    std::printf("  outside both phases:    %d request(s) in all\n", outside);
    std::printf(
        "floor (replay of one share's requests, kept alive, + one list save; after each share)\n");
    std::printf("  make requests replayed             median %8.2f ms\n", median(makeRequestMs));
    std::printf("  all requests replayed              median %8.2f ms\n", median(requestMs));
    std::printf("  list save with fsync               median %8.2f ms\n", median(saveMs));
    std::printf("  floor                              median %8.2f ms\n", floor);
    std::printf("  (the same in one burst after the shares: median %.2f ms, list of %lld items)\n",
                median(burstMs), static_cast<long long>(manager.count()));
    std::printf("shares\n");
    std::printf("  make -> reply                      median %8.2f ms  ratio %6.2f\n", makeMedian,
                ratio(makeMedian, floor));
    std::printf("  open files -> status 2 shown       median %8.2f ms  ratio %6.2f\n", shownMedian,
                ratio(shownMedian, floor));
    std::printf("  open files -> status 2 on disk     median %8.2f ms  ratio %6.2f\n", finishMedian,
                ratio(finishMedian, floor));
    std::printf(
        "  open files -> thumbnail stored     median %8.2f ms  (off the path to status 2)\n",
        median(picturedMs));
    std::printf("  agent CPU per share (all threads, the thumbnail included)  %8.2f ms\n",
                agentCpu);
    std::printf("where a share's time goes (medians per share)\n");
    make.print("make -> reply", makeMedian);
    shown.print("open files -> status 2 shown", shownMedian);
    finish.print("open files -> status 2 on disk", finishMedian);
    std::printf("stall checks\n");
    std::printf("  service GET, kept-alive connection  median %8.2f ms\n", keptAlive);
    std::printf("  service GET, new connection         median %8.2f ms\n", median(fresh));
    std::printf(
        "  agent client POST to a server without TCP_NODELAY, kept alive  median %8.2f ms "
        "(client TCP_NODELAY %s)\n",
        clientMs, qPrintable(clientNoDelay));
    return 0;
}
