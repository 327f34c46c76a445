#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

// Many editors sharing at once: one share-client per share, each started at
// its own offset from start(), all driven by the caller's event loop (so a
// timer of the test can kill the agent while they run). A client's output
// is read as it comes, so the moment an editor has its make answered is
// known.
class ShareBurst {
  public:
    struct Share {
        QString name;
        QStringList extraArgs;  // after "share --name NAME --media MOVIE"
        int startAfterMs = 0;
    };
    struct Outcome {
        QString name;
        bool started = false;
        bool finished = false;
        int exitCode = -1;
        QList<QJsonObject> lines;
        // The make step came back with an asset: the editor was told where
        // to write.
        bool acknowledged() const;
        QJsonObject step(const QString& step) const;
        QStringList writtenFiles() const;  // files the client wrote in full
    };

    ShareBurst(const QString& socketPath, const QString& movie);
    ~ShareBurst();
    ShareBurst(const ShareBurst&) = delete;
    ShareBurst& operator=(const ShareBurst&) = delete;

    void add(const Share& share);
    void start();
    // Clients whose start time has not come are never started.
    void stopStarting();
    // Runs the event loop until every started client has ended.
    bool waitForClients(int timeoutMs);
    // Called on the event loop each time one more editor is acknowledged,
    // with the number acknowledged so far.
    void setAcknowledgedHandler(std::function<void(int count)> handler) {
        onAcknowledged_ = std::move(handler);
    }

    const Outcome& outcome(int index) const { return runs_[size_t(index)]->outcome; }
    int size() const { return int(runs_.size()); }
    int acknowledgedCount() const { return acknowledged_; }

  private:
    struct Run {
        Share share;
        Outcome outcome;
        QProcess process;
        QTimer startTimer;
        QByteArray pending;  // output not yet ended by a newline
    };
    void launch(Run& run);
    void readLines(Run& run);

    QString socketPath_;
    QString movie_;
    std::vector<std::unique_ptr<Run>> runs_;
    std::function<void(int)> onAcknowledged_;
    int acknowledged_ = 0;
};
