#include "platform/WorkerPool.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <thread>

namespace {

// Timed waits call pthread_cond_timedwait directly: libstdc++ implements
// them with pthread_cond_clockwait, which ThreadSanitizer does not know, so
// it would lose track of the mutex and report the guarded data as racy.
template <typename Predicate>
bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int ms,
               Predicate done) {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += long(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (!done()) {
        if (pthread_cond_timedwait(cv.native_handle(), lock.mutex()->native_handle(), &deadline) ==
            ETIMEDOUT)
            return done();
    }
    return true;
}

}  // namespace

WorkerPool::WorkerPool(int maxThreads, int idleExpiryMs, int niceness, const char* threadName)
    : maxThreads_(maxThreads < 1 ? 1 : maxThreads),
      idleExpiryMs_(idleExpiryMs),
      niceness_(niceness),
      threadName_(threadName) {}

WorkerPool::~WorkerPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    work_.notify_all();
    done_.wait(lock, [this] { return threads_ == 0; });
}

void WorkerPool::start(std::function<void()> fn) {
    if (!fn) return;
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(fn));
    if (queue_.size() > size_t(idle_) && threads_ < maxThreads_) {
        ++threads_;
        std::thread(&WorkerPool::run, this).detach();
    } else {
        work_.notify_one();
    }
}

bool WorkerPool::waitForDone(int timeoutMs) {
    std::unique_lock lock(mutex_);
    auto finished = [this] { return queue_.empty() && running_ == 0; };
    if (timeoutMs < 0) {
        done_.wait(lock, finished);
        return true;
    }
    return waitUntil(done_, lock, timeoutMs, finished);
}

int WorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

void WorkerPool::run() {
    pthread_setname_np(pthread_self(), threadName_);
    // On Linux the nice value belongs to the thread; it starts from its
    // creator's.
    if (niceness_ > 0) {
        const id_t self = id_t(::gettid());
        errno = 0;
        const int base = ::getpriority(PRIO_PROCESS, self);
        if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, base + niceness_));
        // A nice value only shares the CPU out: a thread woken for work
        // somebody waits on still queues behind a niced one for a while.
        // An idle-class thread gives way at once. Any thread may lower
        // itself to it; the nice value above stays for a kernel that
        // refuses.
        const sched_param none{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
    }
    std::unique_lock lock(mutex_);
    while (true) {
        while (queue_.empty() && !stopping_) {
            ++idle_;
            const bool woken = waitUntil(work_, lock, idleExpiryMs_,
                                         [this] { return !queue_.empty() || stopping_; });
            --idle_;
            if (!woken) break;
        }
        if (queue_.empty()) {
            --threads_;
            done_.notify_all();
            return;
        }
        std::function<void()> fn = std::move(queue_.front());
        queue_.pop_front();
        ++running_;
        lock.unlock();
        fn();
        fn = nullptr;  // captured state is released before the task counts as done
        lock.lock();
        --running_;
        if (queue_.empty() && running_ == 0) done_.notify_all();
    }
}
