#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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

TEST(DispatchTest, AfterWaitsAndHandsWorkToTheChosenQueue) {
    QThread* mainThread = QThread::currentThread();
    std::mutex mutex;
    std::vector<QString> events;
    auto record = [&](const QString& what) {
        std::lock_guard lock(mutex);
        events.push_back(what);
    };
    QElapsedTimer clock;
    clock.start();
    qint64 mainElapsed = -1;
    std::atomic<bool> globalOffMain{false};
    Dispatch::after(40, [&] {
        mainElapsed = clock.elapsed();
        record(QThread::currentThread() == mainThread ? "late on main" : "late elsewhere");
    });
    Dispatch::after(
        5,
        [&] {
            globalOffMain = QThread::currentThread() != mainThread;
            record("early on global");
        },
        Dispatch::Queue::Global);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return events.size() == 2;
    }));
    EXPECT_EQ(events, (std::vector<QString>{"early on global", "late on main"}));
    EXPECT_TRUE(globalOffMain);
    EXPECT_GE(mainElapsed, 40);  // never early
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
