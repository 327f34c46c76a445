#include "platform/Dispatch.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

// Work posted to the main queue before the application object exists is kept
// and handed to the event loop as soon as the application is constructed.
// After the application object is gone there is no main loop any more; such
// work is kept the same way and runs only if a new application appears.
//
// mainSync() from a thread other than the main one without an application
// object runs the function on the calling thread: there is no loop to hop to,
// and waiting would never end.

namespace {

struct DispatchState {
    std::mutex pendingMutex;
    std::vector<std::function<void()>> pendingMain;

    std::once_flag timerOnce;
    QThread* timerThread = nullptr;
    QObject* timerHost = nullptr;

    // Declared last so it is destroyed first: running tasks may still use
    // the members above while the pool waits for them.
    QThreadPool pool;

    DispatchState() {
        pool.setMaxThreadCount(std::max(4, 2 * QThread::idealThreadCount()));
        pool.setObjectName(QStringLiteral("Dispatch.global"));
    }

    ~DispatchState() {
        pool.waitForDone();
        if (timerThread) {
            timerThread->quit();
            timerThread->wait();
            delete timerThread;  // the host is deleted on the thread's finish
        }
    }

    void startTimerThread() {
        std::call_once(timerOnce, [this] {
            timerThread = new QThread;
            timerThread->setObjectName(QStringLiteral("Dispatch.timers"));
            timerHost = new QObject;
            timerHost->moveToThread(timerThread);
            QObject::connect(timerThread, &QThread::finished, timerHost, &QObject::deleteLater);
            timerThread->start();
        });
    }
};

DispatchState& state() {
    static DispatchState instance;
    return instance;
}

void postToApplication(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

// Flushes work queued before the application object existed.
void flushPendingMain() {
    std::vector<std::function<void()>> pending;
    {
        auto& s = state();
        std::lock_guard lock(s.pendingMutex);
        pending.swap(s.pendingMain);
    }
    for (auto& fn : pending) postToApplication(std::move(fn));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(flushPendingMain)

void Dispatch::main(std::function<void()> fn) {
    if (!fn) return;
    auto& s = state();
    {
        std::lock_guard lock(s.pendingMutex);
        if (!QCoreApplication::instance()) {
            s.pendingMain.push_back(std::move(fn));
            return;
        }
    }
    postToApplication(std::move(fn));
}

void Dispatch::global(std::function<void()> fn) {
    if (!fn) return;
    state().pool.start(std::move(fn));
}

void Dispatch::after(int ms, std::function<void()> fn, Queue queue) {
    if (!fn) return;
    auto& s = state();
    s.startTimerThread();
    const int delay = std::max(0, ms);
    QObject* host = s.timerHost;
    QMetaObject::invokeMethod(
        host,
        [host, delay, fn = std::move(fn), queue]() mutable {
            QTimer::singleShot(delay, Qt::PreciseTimer, host,
                               [fn = std::move(fn), queue]() mutable {
                                   if (queue == Queue::Main)
                                       Dispatch::main(std::move(fn));
                                   else
                                       Dispatch::global(std::move(fn));
                               });
        },
        Qt::QueuedConnection);
}

void Dispatch::mainSync(std::function<void()> fn) {
    if (!fn) return;
    if (isMainThread() || !QCoreApplication::instance()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn),
                              Qt::BlockingQueuedConnection);
}

bool Dispatch::isMainThread() {
    if (QCoreApplication* app = QCoreApplication::instance())
        return QThread::currentThread() == app->thread();
    // Without an application object the main thread is the process's first.
    return gettid() == getpid();
}

void Dispatch::waitForGlobal(int timeoutMs) {
    state().pool.waitForDone(timeoutMs);
}

int Dispatch::globalThreadLimit() {
    return state().pool.maxThreadCount();
}
