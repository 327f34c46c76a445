// bench_e2e: with 1,000 finished items already in the export list, times
// over 50 shares (a) the create command from make to reply and (b) the
// finish step from the open-files event to the item's status 2, against a
// floor measured in the same run: one bare loopback request to the service
// plus one save of the same export list. Prints medians and ratios.
//
//   bench_e2e [--shares N] [--items N]

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/UserDefinedRecord.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

using namespace AECodes;

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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

// The list file changes by atomic rename; only a new file is parsed.
struct ListWatcher {
    QString path;
    ino_t inode = 0;
    qint64 mtime = -1;
    QVariantList items;
    bool changed() {
        struct stat st {};
        if (::stat(path.toLocal8Bit().constData(), &st) != 0) return false;
        const qint64 m = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (st.st_ino == inode && m == mtime) return false;
        inode = st.st_ino;
        mtime = m;
        const auto root = PropertyList::readFile(path);
        if (root) items = root->toList();
        return true;
    }
    qint64 status(const QString& name, const char* key) const {
        for (const auto& v : items) {
            const QVariantMap m = v.toMap();
            if (m.value("name").toString() == name) return m.value(key).toLongLong();
        }
        return -99;
    }
};

double bareRequest(int port) {
    QElapsedTimer t;
    t.start();
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(port));
    if (!socket.waitForConnected(5000)) fail("service not reachable");
    socket.write("GET /tessel/system?id=BENCH HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    while (socket.waitForReadyRead(5000)) socket.readAll();
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
    agent.start(RELAYDOCK_BIN_DIR "/relaydock", {"--socket", socket});
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

    QByteArray movie(512 * 1024, '\0');
    for (qsizetype i = 0; i < movie.size(); ++i) movie[i] = char((i * 131) & 0xff);

    AppleEventClient client;
    if (!client.connectToServer(socket, 5000)) fail("cannot connect to the agent");
    ListWatcher watcher;
    watcher.path = listFile;
    std::vector<double> makeMs, finishMs;
    for (int n = 0; n < shares; ++n) {
        const QString name = QString("Bench share %1").arg(n);
        QElapsedTimer t;
        t.start();
        const AEDesc asset = send(client, makeEvent(name));
        makeMs.push_back(t.nsecsElapsed() / 1e6);
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
        t.restart();
        send(client, openEvent({mov, xml}));
        for (;;) {
            if (watcher.changed() && watcher.status(name, "exportstatus") == 2 &&
                watcher.status(name, "fcpxmlstatus") == 2)
                break;
            const qint64 s = watcher.status(name, "exportstatus");
            if (s == 6 || s == 7) fail(QString("%1 ended in status %2").arg(name).arg(s));
            if (t.elapsed() > 60000) fail(name + " did not complete:\n" + agentLog());
            QThread::usleep(500);
        }
        finishMs.push_back(t.nsecsElapsed() / 1e6);
    }
    client.sendAndWait(AEDesc::appleEvent(kCoreEventClass, kAEQuitApplication), 5000);
    agent.waitForFinished(15000);

    // The floor: one bare request, and one save of the list as it now is.
    bool loaded = false;
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [&loaded](const QVLibraryList&) { loaded = true; });
    while (!loaded) QThread::msleep(5);
    QTemporaryDir floorDir;
    QFile::copy(listFile, floorDir.filePath("assets.plist"));
    QVExportItemManager manager(floorDir.path(), floorDir.filePath("Caches"));
    if (!manager.loadExportItems() || manager.count() < prefill) fail("floor list did not load");
    std::vector<double> floorMs;
    for (int n = 0; n < shares; ++n) {
        const double request = bareRequest(service.port());
        QElapsedTimer t;
        t.start();
        if (!manager.save()) fail("floor save failed");
        floorMs.push_back(request + t.nsecsElapsed() / 1e6);
    }

    const double floor = median(floorMs);
    const double make = median(makeMs);
    const double finish = median(finishMs);
    std::printf("bench_e2e: %d shares, %lld items in the list\n", shares,
                static_cast<long long>(manager.count()));
    std::printf("  floor (bare request + list save)  median %8.2f ms\n", floor);
    std::printf("  make -> reply                      median %8.2f ms  ratio %6.2f\n", make,
                floor > 0 ? make / floor : 0);
    std::printf("  open files -> status 2             median %8.2f ms  ratio %6.2f\n", finish,
                floor > 0 ? finish / floor : 0);
    return 0;
}
