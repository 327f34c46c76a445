#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QThread>

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "support/Wait.h"

TEST(NotificationCenterTest, MainThreadPostIsDeliveredBeforeReturning) {
    NotificationCenter center;
    int calls = 0;
    QString object;
    QVariantMap info;
    const auto token = center.addObserver("Changed", [&](const Notification& n) {
        ++calls;
        object = std::any_cast<QString>(n.object);
        info = n.userInfo;
    });
    center.addObserver("Other", [&](const Notification&) { calls += 100; });
    center.post("Changed", QString("sender"), {{"key", 1}});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(object, "sender");
    EXPECT_EQ(info.value("key").toInt(), 1);
    center.removeObserver(token);
    center.post("Changed");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, BackgroundPostIsDeliveredOnTheMainThread) {
    NotificationCenter center;
    QThread* mainThread = QThread::currentThread();
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{true};
    center.addObserver("Done", [&](const Notification&) {
        if (QThread::currentThread() != mainThread) onMain = false;
        ++calls;
    });
    std::thread poster([&] { center.post("Done"); });
    poster.join();
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    EXPECT_TRUE(onMain);
}

TEST(NotificationCenterTest, ObserversMayChangeTheObserverListWhileNotified) {
    NotificationCenter center;
    std::vector<QString> calls;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token first = center.addObserver("N", [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(first);   // itself
        center.removeObserver(second);  // one that has not run yet
        center.addObserver("N", [&](const Notification&) { calls.push_back("added"); });
    });
    second = center.addObserver("N", [&](const Notification&) { calls.push_back("second"); });
    center.addObserver({}, [&](const Notification& n) { calls.push_back("all:" + n.name); });
    center.post("N");
    EXPECT_EQ(calls, (std::vector<QString>{"first", "all:N"}));
    calls.clear();
    center.post("N");
    EXPECT_EQ(calls, (std::vector<QString>{"all:N", "added"}));
}

TEST(NotificationCenterTest, APostQueuedForADestroyedCentreIsDropped) {
    std::atomic<int> calls{0};
    {
        NotificationCenter center;
        center.addObserver("Late", [&](const Notification&) { ++calls; });
        std::thread poster([&] { center.post("Late"); });
        poster.join();
    }  // destroyed before the main loop delivered
    bool marker = false;
    Dispatch::main([&] { marker = true; });  // runs after the queued delivery
    ASSERT_TRUE(waitUntil([&] { return marker; }));
    EXPECT_EQ(calls, 0);
}
