#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The real relaydock binary, run offscreen for a test: the Apple-event
// socket given, short poll and launch delays, alert boxes answered
// unattended, the private automation events on. Its standard error goes to
// a file the test reads (no event loop needed to collect it).
class AgentProcess {
  public:
    AgentProcess(const QString& socketPath, const QString& logPath);
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    bool start(const QStringList& extraArgs = {});
    // The export poll interval of the next start (milliseconds).
    void setPollInterval(int ms) { pollMs_ = ms; }
    // Everything the agent wrote to standard error so far.
    QString log() const;
    bool waitForLog(const QString& text, int timeoutMs = 30000) const;
    bool waitForExit(int timeoutMs = 30000);
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }
    // SIGTERM, then wait.
    bool quit(int timeoutMs = 15000);
    // SIGKILL, then wait.
    void kill();
    qint64 processId() const { return process_.processId(); }

    static QString binary();

  private:
    QString socketPath_;
    QString logPath_;
    QProcess process_;
    int pollMs_ = 40;
};
