#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// A bounded pool of background threads. Threads start when work waits and
// none is idle, and end after a spell without work. Synchronisation uses the
// standard library only, so thread checkers see every hand-over.
class WorkerPool {
  public:
    // Threads run niceness steps below their creator's CPU priority (nice
    // value up by that much, at most 19) and, when niceness is above 0, in
    // the idle scheduling class (they run only on a CPU nothing else
    // wants), for their whole life: an ordinary user cannot raise a
    // priority again.
    explicit WorkerPool(int maxThreads, int idleExpiryMs = 30000, int niceness = 0,
                        const char* threadName = "Dispatch.global");
    // Runs what is queued, then lets every thread end.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    void start(std::function<void()> fn);
    // Until nothing is queued or running; false when timeoutMs (>= 0) passed.
    bool waitForDone(int timeoutMs = -1);
    int maxThreadCount() const { return maxThreads_; }
    int threadCount() const;

  private:
    void run();

    const int maxThreads_;
    const int idleExpiryMs_;
    const int niceness_;
    const char* const threadName_;
    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    int threads_ = 0;
    int idle_ = 0;
    int running_ = 0;
    bool stopping_ = false;
};
