#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <QString>

// Notes each atomic save of one file (system clock, microseconds): when its
// temporary file beside it was created (the write starts) and when it was
// renamed into place (the save landed). Runs its own thread on inotify, so
// saves are caught while the caller is blocked on a reply.
class SaveWatcher {
  public:
    struct Save {
        qint64 startUs = 0;  // 0: the temporary's creation was not seen
        qint64 landedUs = 0;
    };

    // The system clock in microseconds, as every moment here is given.
    static qint64 nowUs();

    explicit SaveWatcher(const QString& file);
    ~SaveWatcher();
    SaveWatcher(const SaveWatcher&) = delete;
    SaveWatcher& operator=(const SaveWatcher&) = delete;

    bool isValid() const { return fd_ >= 0; }
    // Saves that landed in [fromUs, toUs].
    std::vector<Save> savesBetween(qint64 fromUs, qint64 toUs) const;

  private:
    void run();

    QString name_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Save> saves_;
    std::thread thread_;
};
