#include "platform/Dispatch.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "platform/WorkerPool.h"

// Work crosses threads only through queues guarded by standard mutexes; an
// eventfd merely wakes the thread that drains a queue. That keeps every
// hand-over visible to thread checkers, which cannot see inside Qt.
//
// Before the application object exists, work for the main queue waits and is
// handed to the event loop once the application is constructed. After the
// application object is gone there is no main loop: such work waits the same
// way and runs only if a new application appears. mainSync() from a thread
// other than the main one without an application object runs the function
// on the calling thread, since waiting would never end.

namespace {

using Clock = std::chrono::steady_clock;

// Wakes the thread whose queue it drains: any thread writes to an eventfd,
// a socket notifier on the draining thread reads it and drains. Nothing but
// that file descriptor crosses threads (no posted Qt event), so every
// hand-over goes through the standard mutexes around the queues.
class Waker : public QObject {
  public:
    Waker(int fd, std::function<void()> drain, QObject* parent = nullptr)
        : QObject(parent), fd_(fd), drain_(std::move(drain)) {}

    static int createFd() { return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
    static void wake(int fd) {
        const uint64_t one = 1;
        while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    // On the draining thread.
    void listen() {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] {
            uint64_t count = 0;
            while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
            }
            drain_();
        });
        wake(fd_);  // whatever was queued before, once the event loop runs
    }

  private:
    int fd_;
    std::function<void()> drain_;
    QSocketNotifier* notifier_ = nullptr;
};

struct Delayed {
    std::function<void()> fn;
    Dispatch::Queue queue;
};

struct DispatchState {
    // Main queue.
    std::mutex mainMutex;
    std::deque<std::function<void()>> mainQueue;
    int mainFd = -1;  // eventfd of the main thread's waker, while an application exists
    bool mainWakePending = false;

    // Delays: one timer thread, one timer armed for the earliest deadline.
    std::mutex timerMutex;
    std::multimap<Clock::time_point, Delayed> delayed;
    Dispatch::TimeSource clock;  // null: Clock::now
    std::once_flag timerOnce;
    QThread* timerThread = nullptr;
    int timerFd = -1;
    QTimer* timer = nullptr;  // used on the timer thread only

    // Under timerMutex.
    Clock::time_point now() const { return clock ? clock() : Clock::now(); }

    // Declared last so it is destroyed first, while running tasks may still
    // use the members above.
    WorkerPool pool{std::max(4, 2 * QThread::idealThreadCount())};
    WorkerPool backgroundPool{std::max(1, QThread::idealThreadCount()), 30000, 10, "Dispatch.bg"};

    ~DispatchState() {
        // Sees the timer thread made by whichever thread started it (the
        // once-flag orders the two; exit may run on a thread that never
        // asked for a delay).
        std::call_once(timerOnce, [] {});
        if (timerThread) {
            timerThread->quit();
            timerThread->wait();
            delete timerThread;
        }
        // The timer thread's last look at the delays was under this lock;
        // taking it orders that look before the delays are destroyed.
        std::lock_guard lock(timerMutex);
        delayed.clear();
    }

    // Wakes the main thread once for any number of queued items.
    void wakeMain(std::unique_lock<std::mutex>& lock) {
        if (mainFd < 0 || mainWakePending || mainQueue.empty()) return;
        mainWakePending = true;
        const int fd = mainFd;
        lock.unlock();
        Waker::wake(fd);
    }

    // Runs the items present now; later ones get another turn of the event
    // loop, so a task that keeps posting cannot starve other events.
    void drainMain() {
        std::unique_lock lock(mainMutex);
        mainWakePending = false;
        size_t count = mainQueue.size();
        while (count-- > 0 && !mainQueue.empty()) {
            std::function<void()> fn = std::move(mainQueue.front());
            mainQueue.pop_front();
            lock.unlock();
            fn();
            fn = nullptr;
            lock.lock();
        }
        wakeMain(lock);
    }

    void startTimerThread() {
        std::call_once(timerOnce, [this] {
            timerFd = Waker::createFd();
            timerThread = new QThread;
            timerThread->setObjectName(QStringLiteral("Dispatch.timers"));
            auto* waker = new Waker(timerFd, [this] { armTimer(); });
            waker->moveToThread(timerThread);
            // Single-shot, so the timer thread itself lets go of this slot
            // once it ran, instead of the thread that destroys the QThread at
            // exit.
            QObject::connect(
                timerThread, &QThread::started, waker,
                [this, waker] {
                    timer = new QTimer(waker);
                    timer->setSingleShot(true);
                    timer->setTimerType(Qt::PreciseTimer);
                    QObject::connect(timer, &QTimer::timeout, waker, [this] { fireDue(); });
                    waker->listen();
                },
                Qt::SingleShotConnection);
            QObject::connect(timerThread, &QThread::finished, waker, &QObject::deleteLater);
            timerThread->start();
        });
    }

    // Timer thread: points the one timer at the earliest deadline.
    void armTimer() {
        if (!timer) return;  // armed as soon as the thread has started
        std::unique_lock lock(timerMutex);
        if (delayed.empty()) {
            timer->stop();
            return;
        }
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(delayed.begin()->first - now());
        lock.unlock();
        timer->start(int(std::clamp<qint64>(wait.count(), 0, std::numeric_limits<int>::max())));
    }

    // Timer thread: hands every due item to its queue.
    void fireDue() {
        std::vector<Delayed> due;
        {
            std::lock_guard lock(timerMutex);
            auto end = delayed.upper_bound(now());
            for (auto it = delayed.begin(); it != end; ++it) due.push_back(std::move(it->second));
            delayed.erase(delayed.begin(), end);
        }
        for (auto& item : due) {
            if (item.queue == Dispatch::Queue::Main)
                Dispatch::main(std::move(item.fn));
            else
                Dispatch::global(std::move(item.fn));
        }
        armTimer();
    }
};

DispatchState& state() {
    static DispatchState instance;
    return instance;
}

// Runs on the main thread inside the application's constructor.
void attachToApplication() {
    auto& s = state();
    const int fd = Waker::createFd();
    if (fd < 0) {
        qWarning("Dispatch: no eventfd, the main queue cannot be woken");
        return;
    }
    auto* waker = new Waker(
        fd, [&s] { s.drainMain(); }, QCoreApplication::instance());
    QObject::connect(waker, &QObject::destroyed, [&s, fd] {
        std::lock_guard lock(s.mainMutex);
        s.mainFd = -1;
        s.mainWakePending = false;
        ::close(fd);
    });
    {
        std::lock_guard lock(s.mainMutex);
        s.mainFd = fd;
        s.mainWakePending = false;
    }
    waker->listen();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(attachToApplication)

void Dispatch::main(std::function<void()> fn) {
    if (!fn) return;
    auto& s = state();
    std::unique_lock lock(s.mainMutex);
    s.mainQueue.push_back(std::move(fn));
    s.wakeMain(lock);
}

void Dispatch::global(std::function<void()> fn) {
    if (!fn) return;
    state().pool.start(std::move(fn));
}

void Dispatch::background(std::function<void()> fn) {
    if (!fn) return;
    state().backgroundPool.start(std::move(fn));
}

void Dispatch::after(int ms, std::function<void()> fn, Queue queue) {
    if (!fn) return;
    auto& s = state();
    s.startTimerThread();
    bool earliest = false;
    {
        std::lock_guard lock(s.timerMutex);
        const auto deadline = s.now() + std::chrono::milliseconds(std::max(0, ms));
        auto it = s.delayed.emplace(deadline, Delayed{std::move(fn), queue});
        earliest = it == s.delayed.begin();
    }
    // Only a new earliest deadline moves the timer.
    if (earliest && s.timerFd >= 0) Waker::wake(s.timerFd);
}

void Dispatch::setClock(TimeSource now) {
    auto& s = state();
    s.startTimerThread();
    {
        std::lock_guard lock(s.timerMutex);
        s.clock = std::move(now);
    }
    if (s.timerFd >= 0) Waker::wake(s.timerFd);
}

void Dispatch::mainSync(std::function<void()> fn) {
    if (!fn) return;
    if (isMainThread() || !QCoreApplication::instance()) {
        fn();
        return;
    }
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    main([&] {
        fn();
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_one();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return done; });
}

bool Dispatch::isMainThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    // Without an application object the main thread is the process's first.
    return gettid() == getpid();
}

void Dispatch::waitForGlobal(int timeoutMs) {
    // Background work may queue global work and the other way round.
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    auto left = [&] {
        if (timeoutMs < 0) return -1;
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return int(std::max<qint64>(0, ms.count()));
    };
    auto& s = state();
    do {
        if (!s.pool.waitForDone(left()) || !s.backgroundPool.waitForDone(left())) return;
    } while (!s.pool.waitForDone(0));
}

int Dispatch::globalThreadLimit() {
    return state().pool.maxThreadCount();
}
