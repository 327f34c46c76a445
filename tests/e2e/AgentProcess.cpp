#include "AgentProcess.h"

#include <csignal>

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

AgentProcess::AgentProcess(const QString& socketPath, const QString& logPath)
    : socketPath_(socketPath), logPath_(logPath) {}

AgentProcess::~AgentProcess() {
    if (isRunning()) kill();
}

QString AgentProcess::binary() {
    return QStringLiteral(RELAYDOCK_BIN_DIR "/relaydock");
}

bool AgentProcess::start(const QStringList& extraArgs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("RELAYDOCK_POLL_MS", QString::number(pollMs_));
    // Long enough for the launch's library loads to end before the export
    // list and the default destination are read, as with the real delays.
    env.insert("RELAYDOCK_LAUNCH_DELAY_MS", "300");
    env.insert("RELAYDOCK_ALERT_AUTO_ANSWER", "1");
    env.insert("RELAYDOCK_AUTOMATION", "1");
    process_.setProcessEnvironment(env);
    process_.setProgram(binary());
    process_.setArguments(QStringList{"--socket", socketPath_} + extraArgs);
    process_.setStandardOutputFile(QProcess::nullDevice());
    // Truncated: a log holds one launch, so waitForLog never sees an
    // earlier launch's lines.
    process_.setStandardErrorFile(logPath_, QIODevice::Truncate);
    process_.start();
    return process_.waitForStarted(10000);
}

QString AgentProcess::log() const {
    QFile file(logPath_);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

bool AgentProcess::waitForLog(const QString& text, int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    while (!log().contains(text)) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(10);
    }
    return true;
}

bool AgentProcess::waitForExit(int timeoutMs) {
    if (!isRunning()) return true;
    return process_.waitForFinished(timeoutMs);
}

bool AgentProcess::quit(int timeoutMs) {
    if (!isRunning()) return true;
    ::kill(pid_t(process_.processId()), SIGTERM);
    return process_.waitForFinished(timeoutMs);
}

void AgentProcess::kill() {
    if (!isRunning()) return;
    process_.kill();
    process_.waitForFinished(10000);
}
