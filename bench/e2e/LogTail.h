#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The agent's log as it grows, read a little at every look. The bench
// sleeps until the log grows (inotify) instead of polling: two cores are
// shared with the agent and the service, and a poll every few hundred
// microseconds took CPU from the agent being timed that the floor's client
// never has to share.
class LogTail {
  public:
    explicit LogTail(const QString& path);
    ~LogTail();
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    // Whether the line was logged since the last forget().
    bool contains(const QByteArray& line);
    // What was logged so far is of no more interest (a new share starts).
    void forget();
    // Until the log grows or ms milliseconds pass.
    void waitForGrowth(int ms);

  private:
    QFile file_;
    QByteArray text_;
    int watch_ = -1;
};
