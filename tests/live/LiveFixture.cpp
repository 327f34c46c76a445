#include "LiveFixture.h"

#include <iostream>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include "app/AgentAutomation.h"
#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "library/QVPreferenceManager.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "service/QVTesselUtil.h"
#include "support/DemoSeed.h"

QString LiveFixture::movie_;
QTemporaryDir* LiveFixture::movieDir_ = nullptr;

void LiveFixture::SetUpTestSuite() {
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

void LiveFixture::SetUp() {
    const QStringList missing = LiveDisplay::missingTools();
    ASSERT_TRUE(missing.isEmpty())
        << "not installed (scripts/setup.sh installs them): " << qPrintable(missing.join(' '));
    ASSERT_FALSE(movie_.isEmpty()) << "ffmpeg could not make the test movie";
    home = std::make_unique<TempHome>();
    work = std::make_unique<QTemporaryDir>();
    socketPath = work->filePath("ae.sock");
    logPath = work->filePath("agent.log");
}

void LiveFixture::TearDown() {
    for (QProcess* process : {&share, &agent}) {
        if (process->state() == QProcess::NotRunning) continue;
        process->terminate();
        if (!process->waitForFinished(10000)) {
            process->kill();
            process->waitForFinished();
        }
    }
    if (HasFailure()) std::cerr << "---- agent log ----\n" << qPrintable(agentLog());
    service.reset();
    work.reset();
    home.reset();
}

void LiveFixture::startSession(const Preferences& p, bool windowManager, const QString& readyLine) {
    QString error;
    ASSERT_TRUE(display.start(windowManager, &error)) << qPrintable(error);

    TesselServiceProcess::Options options;
    options.seed = demoSeed("live-local", "live-secret");
    options.asCorvane = true;
    service = std::make_unique<TesselServiceProcess>(options);
    ASSERT_TRUE(service->start()) << qPrintable(service->errorString());

    auto& preferences = QVPreferenceManager::sharedManager();
    if (!p.defaultLibrary.isEmpty()) preferences.setDefaultLibraryID(p.defaultLibrary);
    if (!p.defaultProject.isEmpty()) preferences.setDefaultProjectID(p.defaultProject);
    preferences.setUseDefaultLibrary(p.useDefault);
    UserDefaults::standardUserDefaults().synchronize();

    QProcessEnvironment env = display.environment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("RELAYDOCK_POLL_MS", "40");
    env.insert("RELAYDOCK_LAUNCH_DELAY_MS", "300");
    env.insert("RELAYDOCK_AUTOMATION", "1");
    env.remove("RELAYDOCK_ALERT_AUTO_ANSWER");
    agent.setProcessEnvironment(env);
    agent.setProgram(RELAYDOCK_BIN_DIR "/relaydock");
    agent.setArguments({"--socket", socketPath});
    agent.setStandardOutputFile(QProcess::nullDevice());
    agent.setStandardErrorFile(logPath);
    agent.start();
    ASSERT_TRUE(agent.waitForStarted(10000));
    ASSERT_TRUE(waitForLog(readyLine)) << "the agent did not finish starting";
    ASSERT_TRUE(waitFor("mainWindow").found()) << "the main window was not shown";
}

bool LiveFixture::waitForLog(const QString& text, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    while (!agentLog().contains(text)) {
        if (deadline.hasExpired() || agent.state() != QProcess::Running) return false;
        QThread::msleep(20);
    }
    return true;
}

QString LiveFixture::agentLog() const {
    QFile file(logPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void LiveFixture::startShare(const QString& name) {
    share.setProgram(RELAYDOCK_BIN_DIR "/share-client");
    share.setArguments(
        {"--socket", socketPath, "--timeout", "60", "share", "--name", name, "--media", movie_});
    share.setStandardErrorFile(QProcess::nullDevice());
    share.start();
    ASSERT_TRUE(share.waitForStarted(10000));
}

QJsonObject LiveFixture::finishShare() {
    if (!share.waitForFinished(60000)) {
        ADD_FAILURE() << "the share did not end";
        share.kill();
        share.waitForFinished();
        return {};
    }
    QJsonObject last;
    for (const QByteArray& line : share.readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains("status")) last = o;
    }
    return last;
}

LiveFixture::Spot LiveFixture::locate(const QString& locator) {
    AppleEventClient client;
    if (!client.connectToServer(socketPath, 5000)) return {};
    AEDesc event = AEDesc::appleEvent(AgentAutomation::kSuite, AgentAutomation::kWhere);
    event.setParamDescriptor(AEDesc::unicodeText(locator), AECodes::keyDirectObject);
    const auto reply = client.sendAndWait(event, 10000);
    if (!reply || AppleEventClient::errorNumber(*reply) != 0) return {};
    const auto answer = reply->paramDescriptorForKeyword(AECodes::keyDirectObject);
    const QStringList parts = answer ? answer->stringValue().split(' ') : QStringList();
    if (parts.size() != 5) return {};
    return {QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt()),
            parts[4].toULongLong()};
}

LiveFixture::Spot LiveFixture::waitFor(const QString& locator, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const Spot spot = locate(locator);
        if (spot.found() || deadline.hasExpired()) return spot;
        QThread::msleep(30);
    }
}

bool LiveFixture::waitUntilGone(const QString& locator, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (locate(locator).found()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(30);
    }
    return true;
}

void LiveFixture::click(const QString& locator, int button) {
    const Spot spot = waitFor(locator);
    ASSERT_TRUE(spot.found()) << "not shown: " << qPrintable(locator);
    if (!painted_.contains(spot.window)) {
        // Half black at most: the pop-overs' clear corners show black
        // without a compositing manager.
        ASSERT_LT(paintedShare(spot.window, 0.5), 0.5) << "never painted: " << qPrintable(locator);
        painted_ << spot.window;
    }
    ASSERT_TRUE(display.click(spot.rect.center(), button)) << "xdotool failed";
}

QImage LiveFixture::screen() {
    return display.capture(display.visibleWindows(agent.processId()));
}

double LiveFixture::blackShare(quint64 window) {
    const QRect where = frameOf(window);
    const QImage shot = screen();
    if (where.isEmpty() || shot.isNull()) return 1.0;
    const QRect area = where.intersected(shot.rect());
    qint64 black = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = shot.pixel(x, y);
            if (qMax(qRed(c), qMax(qGreen(c), qBlue(c))) <= 4) ++black;
        }
    return double(black) / double(qMax<qint64>(1, qint64(area.width()) * area.height()));
}

double LiveFixture::paintedShare(quint64 window, double limit, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const double share = blackShare(window);
        if (share < limit || deadline.hasExpired()) return share;
        QThread::msleep(50);
    }
}

void LiveFixture::saveShot(const QString& name) {
    const QString folder = qEnvironmentVariable("RELAYDOCK_LIVE_SHOTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    EXPECT_TRUE(screen().save(QDir(folder).filePath(name), "PNG")) << qPrintable(name);
}

QString LiveFixture::listFile() const {
    return QDir(QVTesselUtil::relaydockFolder()).filePath("assets.plist");
}

QVariantList LiveFixture::storedItems() const {
    const QString list = listFile();
    if (!QFileInfo(list).isFile()) return {};
    const auto root = PropertyList::readFile(list);
    return root ? root->toList() : QVariantList();
}

qint64 LiveFixture::storedStatus(const QString& name) const {
    for (const QVariant& entry : storedItems())
        if (entry.toMap().value("name").toString() == name)
            return entry.toMap().value("exportstatus").toLongLong();
    return -2;
}

bool LiveFixture::waitForStoredStatus(const QString& name, qint64 status, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    while (storedStatus(name) != status) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(20);
    }
    return true;
}

QList<QJsonObject> LiveFixture::assetsNamed(const QString& name) {
    QList<QJsonObject> out;
    for (const QJsonValue& v : service->assets("demo"))
        if (v.toObject().value("name").toString() == name) out << v.toObject();
    return out;
}
