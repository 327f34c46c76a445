#include "E2EFixture.h"

#include "support/DemoSeed.h"

#include <iostream>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include "app/AgentAutomation.h"
#include "appleevents/AppleEventClient.h"
#include "library/QVPreferenceManager.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "service/QVTesselUtil.h"

QString E2EFixture::movie_;
QTemporaryDir* E2EFixture::movieDir_ = nullptr;

void E2EFixture::SetUpTestSuite() {
    if (!movie_.isEmpty()) return;
    movieDir_ = new QTemporaryDir();
    const QString path = movieDir_->filePath("source.mov");
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg",
                 {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t",
                  "0.4", "-c:v", "prores_ks", "-profile:v", "0", path});
    if (ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0 && QFile::exists(path))
        movie_ = path;
}

void E2EFixture::TearDownTestSuite() {}

void E2EFixture::SetUp() {
    ASSERT_FALSE(movie_.isEmpty()) << "ffmpeg could not make the test movie";
    home = std::make_unique<TempHome>();
    work = std::make_unique<QTemporaryDir>();
    socketPath = work->filePath("ae.sock");
    launches_ = 0;
    newLaunchLog();
}

void E2EFixture::TearDown() {
    if (agent && agent->isRunning()) agent->quit();
    if (HasFailure() && agent) std::cerr << "---- agent log ----\n" << qPrintable(agent->log());
    agent.reset();
    service.reset();
    work.reset();
    home.reset();
}

QJsonObject E2EFixture::seed() {
    return demoSeed("e2e-local", "e2e-secret");
}

bool E2EFixture::startService(bool withLibraries) {
    TesselServiceProcess::Options options;
    options.seed = withLibraries ? seed() : QJsonObject{{"libraries", QJsonArray{}}};
    options.asCorvane = true;
    service = std::make_unique<TesselServiceProcess>(options);
    if (!service->start()) {
        ADD_FAILURE() << "tessel-service: " << qPrintable(service->errorString());
        return false;
    }
    return true;
}

void E2EFixture::writePreferences(const Preferences& p) {
    preferences_ = p;
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setDefaultLibraryID(p.defaultLibrary);
    preferences.setDefaultProjectID(p.defaultProject);
    preferences.setUseDefaultLibrary(p.useDefault);
    preferences.setStoreTo(p.storeTo);
    preferences.setStoreToPath(p.storeToPath);
    preferences.setExportFCPXMLOnly(p.fcpXMLOnly);
    UserDefaults::standardUserDefaults().synchronize();
}

QString E2EFixture::newLaunchLog() {
    logPath = work->filePath(QStringLiteral("agent-%1.log").arg(++launches_));
    return logPath;
}

QStringList E2EFixture::launchLogs() const {
    QStringList logs;
    for (int i = 1; i <= launches_; ++i)
        logs << work->filePath(QStringLiteral("agent-%1.log").arg(i));
    return logs;
}

bool E2EFixture::startAgent(bool waitForDefaultDestination, int pollMs) {
    // A test may have started an agent on the current log by hand.
    if (QFile::exists(logPath)) newLaunchLog();
    agent = std::make_unique<AgentProcess>(socketPath, logPath);
    agent->setPollInterval(pollMs);
    if (!agent->start()) return false;
    const QString ready = waitForDefaultDestination
                              ? "Default destination: demo / " + preferences_.defaultProject
                              : QStringLiteral("Export list loaded");
    // Both loads of the default library's tree (the launch's and the
    // default destination's) must be over: a share that starts while one
    // replaces the tree holds a group whose project is gone.
    return agent->waitForLog(ready) &&
           (!waitForDefaultDestination || agent->waitForLog("Libraries loaded"));
}

bool E2EFixture::restartAgent(bool waitForDefaultDestination) {
    if (agent && !agent->quit()) return false;
    return startAgent(waitForDefaultDestination);
}

QJsonObject E2EFixture::ClientRun::summary() const {
    for (const auto& line : lines)
        if (line.contains("status")) return line;
    return {};
}

QJsonObject E2EFixture::ClientRun::step(const QString& name) const {
    for (const auto& line : lines)
        if (line.value("step").toString() == name) return line;
    return {};
}

E2EFixture::ClientRun E2EFixture::runClient(const QStringList& args, int timeoutMs) {
    QProcess client;
    client.setProgram(RELAYDOCK_BIN_DIR "/share-client");
    client.setArguments(QStringList{"--socket", socketPath, "--timeout", "30"} + args);
    client.start();
    ClientRun run;
    if (!client.waitForFinished(timeoutMs)) {
        client.kill();
        client.waitForFinished();
        ADD_FAILURE() << "share-client did not finish: " << qPrintable(args.join(' '));
        return run;
    }
    run.exitCode = client.exitCode();
    for (const QByteArray& line : client.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty()) run.lines << QJsonDocument::fromJson(line).object();
    return run;
}

E2EFixture::ClientRun E2EFixture::share(const QString& name, const QStringList& extra) {
    return runClient(QStringList{"share", "--name", name, "--media", movie_} + extra);
}

QString E2EFixture::listFile() const {
    return QDir(QVTesselUtil::relaydockFolder()).filePath("assets.plist");
}

QVariantList E2EFixture::storedItems() const {
    if (!QFile::exists(listFile())) return {};
    const auto root = PropertyList::readFile(listFile());
    return root ? root->toList() : QVariantList();
}

QVariantMap E2EFixture::storedItem(const QString& name) const {
    for (const QVariant& entry : storedItems())
        if (entry.toMap().value("name").toString() == name) return entry.toMap();
    return {};
}

bool E2EFixture::waitForItem(const QString& name,
                             const std::function<bool(const QVariantMap&)>& cond,
                             int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const QVariantMap item = storedItem(name);
        if (!item.isEmpty() && cond(item)) return true;
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
}

qint64 E2EFixture::movieStatus(const QVariantMap& item) {
    return item.value(QStringLiteral("exportstatus")).toLongLong();
}

qint64 E2EFixture::descriptionStatus(const QVariantMap& item) {
    return item.value(QStringLiteral("fcpxmlstatus")).toLongLong();
}

bool E2EFixture::waitForStatus(const QString& name, qint64 status, int timeoutMs) const {
    return waitForItem(
        name,
        [status](const QVariantMap& item) {
            // An FCPXML-only item shows its description's status.
            return (item.value("fcpxmlonly").toBool() ? descriptionStatus(item)
                                                      : movieStatus(item)) == status;
        },
        timeoutMs);
}

QList<QJsonObject> E2EFixture::assetsNamed(const QString& name) {
    QList<QJsonObject> out;
    for (const QJsonValue& v : service->assets("demo"))
        if (v.toObject().value("name").toString() == name) out << v.toObject();
    return out;
}

int E2EFixture::sendAutomation(quint32 eventID, const QString& path) {
    AppleEventClient client;
    if (!client.connectToServer(socketPath, 5000)) return -1;
    AEDesc event = AEDesc::appleEvent(AgentAutomation::kSuite, eventID);
    event.setParamDescriptor(AEDesc::unicodeText(path), AECodes::keyDirectObject);
    QString error;
    const auto reply = client.sendAndWait(event, 10000, &error);
    if (!reply) return -2;
    return AppleEventClient::errorNumber(*reply);
}
