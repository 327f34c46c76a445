// Saves from many threads: serialised, coalesced, never lost; the load off
// the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QSet>
#include <QTemporaryDir>

#include "ExportFixtures.h"
#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/AppleEventServer.h"
#include "export/QVExportItemManager.h"
#include "platform/Dispatch.h"
#include "platform/PropertyList.h"
#include "support/Wait.h"

namespace {

class ExportListSavingTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    ExportFixture fx{dir.path()};
    QString folder = dir.path() + "/Relaydock";

    QVariantList fileEntries() const {
        const auto root = PropertyList::readFile(folder + "/assets.plist");
        return root ? root->toList() : QVariantList{QString("unreadable")};
    }
};

// A gate the write hook waits at until the test opens it.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    bool reached = false;

    void wait() {
        std::unique_lock lock(mutex);
        reached = true;
        cv.notify_all();
        cv.wait(lock, [this] { return open; });
    }
    void waitReached() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return reached; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
};

void spinUntil(const std::function<bool()>& done) {
    while (!done()) std::this_thread::yield();
}

}  // namespace

TEST_F(ExportListSavingTest, SavesRequestedDuringAWriteAreCoalescedIntoOne) {
    QVExportItemManager manager(folder);
    auto item = fx.insideItem("A");
    manager.setExportItems({item});
    Gate gate;
    bool first = true;
    manager.setWriteHook([&](quint64) {
        if (std::exchange(first, false)) gate.wait();
    });

    std::thread writer([&] { EXPECT_TRUE(manager.save()); });
    gate.waitReached();
    // While the first write is held open: status changes with saves from
    // other threads and from the main thread.
    const quint64 before = manager.requestedGeneration();
    std::vector<std::thread> savers;
    for (int i = 0; i < 3; ++i)
        savers.emplace_back([&, i] {
            item->setExportStatus(i + 4);
            EXPECT_TRUE(manager.save());
        });
    spinUntil([&] { return manager.requestedGeneration() == before + 3; });
    item->setAssetID("latest");
    manager.requestSave();
    manager.requestSave();
    EXPECT_EQ(manager.writeCount(), 0u);
    gate.release();
    writer.join();
    for (auto& t : savers) t.join();
    ASSERT_TRUE(manager.flush());

    EXPECT_EQ(manager.writeCount(), 2u);
    const QVariantMap stored = fileEntries().value(0).toMap();
    EXPECT_EQ(stored.value("assetid").toString(), "latest");
    EXPECT_EQ(stored.value("exportstatus").toLongLong(), item->exportStatus());
    EXPECT_EQ(manager.writtenGeneration(), manager.requestedGeneration());
}

// A registration waits for the write that holds its asset ID, not for
// whichever write runs when it asks; a change only noted costs no write and
// rides with the next one.
TEST_F(ExportListSavingTest, WaitForALandedStateSkipsTheWriteUnderWay) {
    QVExportItemManager manager(folder);
    auto item = fx.insideItem("A");
    manager.setExportItems({item});
    item->setAssetID("first");
    const quint64 first = manager.requestSave();
    ASSERT_TRUE(manager.saveUpTo(first));
    ASSERT_TRUE(manager.flush());
    ASSERT_EQ(manager.writeCount(), 1u);

    item->setExportStatus(QVExportStatusCreating);
    manager.noteChange();
    ASSERT_TRUE(manager.flush()) << "a noted change is written at quit";
    EXPECT_EQ(manager.writeCount(), 2u);
    EXPECT_EQ(fileEntries().value(0).toMap().value("exportstatus").toLongLong(),
              QVExportStatusCreating);

    Gate gate;
    manager.setWriteHook([&](quint64) { gate.wait(); });
    item->setExportStatus(QVExportStatusCreateFailed);
    manager.noteChange();
    item->setAssetID("second");
    const quint64 second = manager.requestSave();
    gate.waitReached();
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_TRUE(manager.saveUpTo(first));
        returned = true;
    });
    const bool beforeTheLaterWrite = waitUntil([&] { return returned.load(); }, 5000);
    gate.release();
    waiter.join();
    EXPECT_TRUE(beforeTheLaterWrite) << "waited for a write its state did not need";
    ASSERT_TRUE(manager.saveUpTo(second));
    ASSERT_TRUE(manager.flush());
    EXPECT_EQ(manager.writeCount(), 3u);
    const QVariantMap stored = fileEntries().value(0).toMap();
    EXPECT_EQ(stored.value("assetid").toString(), "second");
    EXPECT_EQ(stored.value("exportstatus").toLongLong(), QVExportStatusCreateFailed);
}

TEST_F(ExportListSavingTest, BackgroundSaveNeverDropsTheLastChange) {
    QVExportItemManager manager(folder);
    auto item = fx.insideItem("A");
    manager.setExportItems({item});
    for (int i = 0; i < 200; ++i) {
        item->setAssetID(QString("v%1").arg(i));
        manager.requestSave();
    }
    ASSERT_TRUE(manager.flush());
    EXPECT_EQ(fileEntries().value(0).toMap().value("assetid").toString(), "v199");
    EXPECT_LE(manager.writeCount(), 200u);
    // Nothing pending: a flush writes nothing more.
    const quint64 writes = manager.writeCount();
    ASSERT_TRUE(manager.flush());
    EXPECT_EQ(manager.writeCount(), writes);
}

// Background saves asked for under holds wait for the last release, then
// land as one write; a caller that needs its state on disk never waits for
// a hold.
TEST_F(ExportListSavingTest, HeldBackgroundSavesLandAsOneWriteAtTheLastRelease) {
    QVExportItemManager manager(folder);
    auto item = fx.insideItem("A");
    manager.setExportItems({item});
    manager.holdBackgroundSaves();
    manager.holdBackgroundSaves();
    item->setExportStatus(QVExportStatusUploading);
    manager.requestSave();
    Dispatch::waitForGlobal();
    EXPECT_EQ(manager.writeCount(), 0u);

    item->setAssetID("needed now");
    ASSERT_TRUE(manager.saveUpTo(manager.requestSave()));
    EXPECT_EQ(manager.writeCount(), 1u);

    item->setExportStatus(QVExportStatusCompleted);
    manager.requestSave();
    manager.releaseBackgroundSaves();
    Dispatch::waitForGlobal();
    EXPECT_EQ(manager.writeCount(), 1u) << "one hold still stands";
    manager.releaseBackgroundSaves();
    Dispatch::waitForGlobal();
    EXPECT_EQ(manager.writeCount(), 2u);
    EXPECT_EQ(manager.writtenGeneration(), manager.requestedGeneration());
    EXPECT_EQ(fileEntries().value(0).toMap().value("exportstatus").toLongLong(),
              QVExportStatusCompleted);
}

TEST_F(ExportListSavingTest, EightThreadsSaveWhileTheMainThreadAddsAndDeletes) {
    QVExportItemManager manager(folder);
    QVExportItemList initial;
    for (int i = 0; i < 200; ++i) initial << fx.insideItem(QString("base-%1").arg(i));
    manager.setExportItems(initial);

    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            int round = 0;
            while (!stop) {
                const auto items = manager.exportItems();
                const auto& item = items[(t * 31 + round) % items.size()];
                item->setExportStatus(round % 8);
                item->setFcpXMLStatus(round % 7);
                item->setAssetID(QString("t%1-%2").arg(t).arg(round));
                if (round % 3 == 0)
                    manager.requestSave();
                else
                    manager.save();
                ++round;
            }
        });
    QVExportItemList added;
    for (int i = 0; i < 30; ++i) {
        auto item = fx.insideItem(QString("added-%1").arg(i));
        manager.addExportItem(item);
        added << item;
        if (i % 3 == 2) manager.deleteExportItem(added.takeAt(added.size() - 2));
    }
    stop = true;
    for (auto& t : threads) t.join();
    ASSERT_TRUE(manager.flush());

    const QVariantList entries = fileEntries();
    const auto items = manager.exportItems();
    ASSERT_EQ(entries.size(), items.size());
    EXPECT_EQ(items.size(), 200 + 20);
    for (qsizetype i = 0; i < items.size(); ++i)
        EXPECT_EQ(entries[i].toMap(), items[i]->exportItemDictionary()) << i;
}

// The launch reads the list off the main thread: while the read is held at a
// gate, the main thread answers an Apple event and takes a share, which the
// load then keeps on top of the stored items.
TEST_F(ExportListSavingTest, MainThreadAnswersWhileTheLoadIsHeldAtAGate) {
    QVExportItemManager earlier(folder);
    earlier.setExportItems({fx.insideItem("A"), fx.insideItem("B")});
    ASSERT_TRUE(earlier.save());

    AppleEventServer server;
    ASSERT_TRUE(server.listen(dir.filePath("ae.sock")));
    server.setHandler([](const AEDesc&, AppleEventServer::ReplyFunction reply) {
        EXPECT_TRUE(Dispatch::isMainThread());
        reply(AEDesc::appleEvent(AECodes::kCoreEventClass, AECodes::kAEAnswer));
    });

    QVExportItemManager manager(folder);
    Gate gate;
    manager.setReadHook([&gate] { gate.wait(); });
    std::atomic<bool> done{false};
    QVExportItemList stored;
    manager.loadExportItemsInBackground([&](bool ok, const QVExportItemList& items) {
        EXPECT_TRUE(ok);
        stored = items;
        done = true;
    });
    gate.waitReached();

    AppleEventClient editor;
    ASSERT_TRUE(editor.connectToServer(dir.filePath("ae.sock"), 30000));
    bool answered = false;
    editor.send(AEDesc::appleEvent(AECodes::kCoreEventClass, AECodes::kAEReopenApplication), 30000,
                [&](std::optional<AEDesc> reply, const QString&) { answered = reply.has_value(); });
    EXPECT_TRUE(waitUntil([&] { return answered; }));
    manager.addExportItem(fx.insideItem("During"));
    EXPECT_FALSE(manager.loaded());
    EXPECT_EQ(fileEntries().size(), 2);

    gate.release();
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    EXPECT_EQ(stored.size(), 2);
    ASSERT_TRUE(manager.flush());
    QStringList names;
    for (const QVariant& entry : fileEntries()) names << entry.toMap().value("name").toString();
    EXPECT_EQ(names, QStringList({"During", "A", "B"}));
}
