#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include "platform/Dispatch.h"
#include "support/ChildMain.h"
#include "support/Wait.h"

namespace {

int threadCount() {
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QString threadNames() {
    QStringList names;
    for (const QString& t : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/self/task/" + t + "/comm");
        if (f.open(QIODevice::ReadOnly)) names << QString::fromUtf8(f.readAll().trimmed());
    }
    return names.join(", ");
}

}  // namespace

TEST(DispatchTest, MainRunsQueuedWorkInOrderOnTheMainThread) {
    QThread* mainThread = QThread::currentThread();
    std::vector<int> order;
    std::atomic<bool> allOnMain{true};
    std::atomic<bool> posted{false};
    bool ranInline = false;
    Dispatch::main([&] { ranInline = true; });
    EXPECT_FALSE(ranInline);  // asynchronous even from the main thread
    std::thread producer([&] {
        for (int i = 0; i < 200; ++i)
            Dispatch::main([&, i] {
                if (QThread::currentThread() != mainThread) allOnMain = false;
                order.push_back(i);
            });
        posted = true;
    });
    producer.join();
    ASSERT_TRUE(waitUntil([&] { return order.size() == 200; }));
    EXPECT_TRUE(ranInline);
    EXPECT_TRUE(allOnMain);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
}

TEST(DispatchTest, GlobalRunsOffTheMainThreadWithinItsBound) {
    EXPECT_GE(Dispatch::globalThreadLimit(), 4);
    QThread* mainThread = QThread::currentThread();
    std::atomic<int> running{0}, peak{0}, done{0};
    std::atomic<bool> onMain{false};
    const int tasks = Dispatch::globalThreadLimit() * 4;
    for (int i = 0; i < tasks; ++i)
        Dispatch::global([&] {
            if (QThread::currentThread() == mainThread) onMain = true;
            const int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            QThread::msleep(2);
            --running;
            ++done;
        });
    Dispatch::waitForGlobal();
    EXPECT_EQ(done.load(), tasks);
    EXPECT_FALSE(onMain);
    EXPECT_LE(peak.load(), Dispatch::globalThreadLimit());
}

TEST(DispatchTest, AfterWaitsForItsClockAndHandsWorkToTheChosenQueue) {
    using namespace std::chrono_literals;
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::chrono::milliseconds> elapsed{0ms};
    auto moveClockTo = [&](std::chrono::milliseconds to) {
        elapsed = to;
        Dispatch::setClock([&elapsed, start] { return start + elapsed.load(); });
    };
    moveClockTo(0ms);
    struct RealClockAgain {
        ~RealClockAgain() { Dispatch::setClock(nullptr); }
    } restore;
    QThread* mainThread = QThread::currentThread();
    std::atomic<bool> early{false}, earlyOffMain{false}, late{false}, lateOnMain{false};
    Dispatch::after(40, [&] {
        lateOnMain = QThread::currentThread() == mainThread;
        late = true;
    });
    Dispatch::after(
        5,
        [&] {
            earlyOffMain = QThread::currentThread() != mainThread;
            early = true;
        },
        Dispatch::Queue::Global);

    moveClockTo(39ms);
    ASSERT_TRUE(waitUntil([&] { return early.load(); }));
    EXPECT_TRUE(earlyOffMain);
    // A delay that is due at once passes the timer thread after everything
    // it handed over before, and the main queue keeps that order: once it ran,
    // so would have anything fired at 39 ms.
    bool marker = false;
    Dispatch::after(0, [&] { marker = true; });
    ASSERT_TRUE(waitUntil([&] { return marker; }));
    EXPECT_FALSE(late.load());  // never early

    moveClockTo(40ms);
    ASSERT_TRUE(waitUntil([&] { return late.load(); }));
    EXPECT_TRUE(lateOnMain);
}

TEST(DispatchTest, ManyPendingDelaysCostNoThreads) {
    std::atomic<int> fired{0};
    Dispatch::after(0, [&] { ++fired; });  // the timer thread exists from here on
    ASSERT_TRUE(waitUntil([&] { return fired == 1; }));
    Dispatch::waitForGlobal();
    const int before = threadCount();
    for (int i = 0; i < 2000; ++i) Dispatch::after(200 + i % 50, [&] { ++fired; });
    EXPECT_LE(threadCount(), before) << threadNames().toStdString();
    ASSERT_TRUE(waitUntil([&] { return fired == 2001; }));
}

TEST(DispatchTest, OnceRunsOnceAndOthersSeeItsResult) {
    std::once_flag flag;
    std::atomic<int> runs{0};
    int value = 0;
    std::atomic<int> sawValue{0};
    for (int i = 0; i < 16; ++i)
        Dispatch::global([&] {
            Dispatch::once(flag, [&] {
                QThread::msleep(5);
                value = 42;
                ++runs;
            });
            if (value == 42) ++sawValue;
        });
    Dispatch::waitForGlobal();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(sawValue.load(), 16);
}

TEST(DispatchTest, MainSyncRunsInlineOnMainAndWaitsFromElsewhere) {
    QThread* mainThread = QThread::currentThread();
    EXPECT_TRUE(Dispatch::isMainThread());
    bool inlineRan = false;
    Dispatch::mainSync([&] { inlineRan = true; });
    EXPECT_TRUE(inlineRan);

    std::atomic<bool> finished{false};
    bool ranOnMain = false, sawBackground = true;
    std::thread worker([&] {
        sawBackground = !Dispatch::isMainThread();
        int value = 0;
        Dispatch::mainSync([&] {
            ranOnMain = QThread::currentThread() == mainThread;
            value = 7;
        });
        EXPECT_EQ(value, 7);  // done before mainSync returned
        finished = true;
    });
    ASSERT_TRUE(waitUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(sawBackground);
}

// Without an application object: main-queue work waits for the application
// and then runs from its event loop, not inside its constructor; mainSync
// runs at once.
RELAYDOCK_CHILD_MAIN(dispatchBeforeApplication) {
    std::string order;
    Dispatch::main([&] { order += "queued "; });
    std::thread([&] { Dispatch::mainSync([&] { order += "sync "; }); }).join();
    int qtArgc = 1;
    char name[] = "dispatch-child";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    order += "constructed ";
    QTimer::singleShot(0, &app, [&] { Dispatch::after(1, [&] { app.quit(); }); });
    app.exec();
    std::fputs(order.c_str(), stdout);
    return 0;
}

TEST(DispatchTest, WorkQueuedBeforeTheApplicationRunsInItsEventLoop) {
    QProcess child;
    ChildMain::setUp(child, "dispatchBeforeApplication");
    child.start();
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.readAllStandardOutput(), "sync constructed queued ");
}

// Background work runs off the main thread at a lower priority than the
// global pool's, and the wait for background work covers it.
TEST(DispatchTest, BackgroundRunsAtALowerPriorityAndIsWaitedFor) {
    std::atomic<int> globalNice{-100}, backgroundNice{-100};
    std::atomic<int> globalPolicy{-1}, backgroundPolicy{-1};
    std::atomic<bool> onMain{false};
    Dispatch::global([&] {
        globalNice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
        globalPolicy = ::sched_getscheduler(0);
    });
    Dispatch::background([&] {
        onMain = Dispatch::isMainThread();
        QThread::msleep(20);
        backgroundNice = ::getpriority(PRIO_PROCESS, id_t(::gettid()));
        backgroundPolicy = ::sched_getscheduler(0);
    });
    Dispatch::waitForGlobal();
    ASSERT_NE(backgroundNice.load(), -100) << "waitForGlobal returned before the background task";
    EXPECT_FALSE(onMain);
    EXPECT_GE(backgroundNice.load(), std::min(19, globalNice.load() + 10));
    EXPECT_EQ(globalPolicy.load(), SCHED_OTHER);
    EXPECT_EQ(backgroundPolicy.load(), SCHED_IDLE);
}
