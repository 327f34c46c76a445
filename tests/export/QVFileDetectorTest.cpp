#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "export/QVExportItem.h"
#include "export/QVFileDetector.h"
#include "platform/QVLog.h"
#include "support/Wait.h"

namespace {

struct Outcome {
    std::atomic<int> calls{0};
    std::atomic<bool> value{false};
    std::atomic<bool> onMainThread{false};
    QVFileDetector::Completion completion() {
        return [this](bool result) {
            value = result;
            onMainThread = QThread::currentThread() == qApp->thread();
            ++calls;
        };
    }
};

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

int threadCount() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
    return -1;
}

class FileDetector : public ::testing::Test {
  protected:
    void SetUp() override { QVFileDetector::setPollInterval(10); }
    void TearDown() override { QVFileDetector::setPollInterval(1000); }

    std::shared_ptr<QVExportItem> item(const QString& base, bool fcpXMLOnly = false) {
        auto it = std::make_shared<QVExportItem>();
        it->setFcpXMLOnly(fcpXMLOnly);
        if (!fcpXMLOnly) it->setOriginalPath(dir_.filePath(base + ".mov"));
        it->setFcpXMLPath(dir_.filePath(base + ".fcpxml"));
        return it;
    }
    QTemporaryDir dir_;
};

TEST_F(FileDetector, PresentFileAnswersYesBeforeAnyPoll) {
    // With an hour between polls, only the first test can answer in time.
    QVFileDetector::setPollInterval(3600 * 1000);
    auto it = item("ready");
    touch(it->originalPath());
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 600, out.completion());
    ASSERT_TRUE(waitUntil([&] { return out.calls > 0; }, 10000));
    EXPECT_TRUE(out.value);
    EXPECT_FALSE(out.onMainThread);
}

TEST_F(FileDetector, WaitTimeZeroTestsOnceThenFailsWithLogLine) {
    auto it = item("never");
    QVLog::Capture log;
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 0, out.completion());
    ASSERT_TRUE(waitUntil([&] { return out.calls > 0; }));
    EXPECT_FALSE(out.value);
    EXPECT_TRUE(log.contains("Can't find file : " + it->originalPath()));
    QThread::msleep(50);
    EXPECT_EQ(out.calls, 1);
}

TEST_F(FileDetector, FileAppearingLaterIsFoundAndPathIsTakenAtStart) {
    auto it = item("later");
    const QString original = it->originalPath();
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 100000, out.completion());
    // A later change of the item does not redirect the running detection.
    it->setOriginalPath(dir_.filePath("elsewhere.mov"));
    touch(dir_.filePath("elsewhere.mov"));
    QThread::msleep(100);
    EXPECT_EQ(out.calls, 0);
    touch(original);
    ASSERT_TRUE(waitUntil([&] { return out.calls > 0; }));
    EXPECT_TRUE(out.value);
}

TEST_F(FileDetector, FcpxmlOnlyItemWaitsForTheDescription) {
    auto it = item("xmlonly", true);
    touch(dir_.filePath("xmlonly.mov"));
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 100000, out.completion());
    QThread::msleep(100);
    EXPECT_EQ(out.calls, 0);
    touch(it->fcpXMLPath());
    ASSERT_TRUE(waitUntil([&] { return out.calls > 0; }));
    EXPECT_TRUE(out.value);
}

TEST_F(FileDetector, NilItemsCompleteAtOnceOnTheCallingThread) {
    QVLog::Capture log;
    Outcome a, b, c;
    QVFileDetector::detectWithExportItem(nullptr, 600, a.completion());
    QVFileDetector::watchExportingWithExportItem(nullptr, b.completion());
    auto noPath = std::make_shared<QVExportItem>();
    QVFileDetector::detectWithExportItem(noPath, 600, c.completion());
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);
    EXPECT_EQ(c.calls, 1);
    EXPECT_FALSE(a.value || b.value || c.value);
    EXPECT_TRUE(a.onMainThread && b.onMainThread);
    EXPECT_TRUE(log.contains("detectWithExportItem parameter is nil"));
    EXPECT_TRUE(log.contains("watchExportingWithExportItem parameter is nil"));
}

TEST_F(FileDetector, WatchEndsByStatusOrByVanishingFile) {
    auto moved = item("moved");
    touch(moved->originalPath());
    moved->setExportStatus(QVExportStatusExporting);
    Outcome movedOut;
    QVFileDetector::watchExportingWithExportItem(moved, movedOut.completion());

    auto cancelled = item("cancelled");
    touch(cancelled->originalPath());
    cancelled->setExportStatus(QVExportStatusExporting);
    Outcome cancelledOut;
    QVFileDetector::watchExportingWithExportItem(cancelled, cancelledOut.completion());

    QThread::msleep(100);
    EXPECT_EQ(movedOut.calls + cancelledOut.calls, 0) << "both still exporting";
    moved->setExportStatus(QVExportStatusCreating);
    QFile::remove(cancelled->originalPath());
    ASSERT_TRUE(waitUntil([&] { return movedOut.calls > 0 && cancelledOut.calls > 0; }));
    EXPECT_FALSE(movedOut.value);
    EXPECT_TRUE(cancelledOut.value);
    EXPECT_FALSE(movedOut.onMainThread || cancelledOut.onMainThread);
}

TEST_F(FileDetector, WatchOutsideExportingStatus) {
    auto present = item("present");
    touch(present->originalPath());
    Outcome presentOut;
    QVFileDetector::watchExportingWithExportItem(present, presentOut.completion());
    auto absent = item("absent");
    Outcome absentOut;
    QVFileDetector::watchExportingWithExportItem(absent, absentOut.completion());
    ASSERT_TRUE(waitUntil([&] { return presentOut.calls > 0 && absentOut.calls > 0; }));
    EXPECT_FALSE(presentOut.value) << "status 0 ends the watch after one poll";
    EXPECT_TRUE(absentOut.value) << "no file means the export is gone";
}

TEST_F(FileDetector, HundredsOfPendingWaitsHoldNoThreads) {
    QVFileDetector::setPollInterval(50);
    const int before = threadCount();
    std::vector<std::shared_ptr<QVExportItem>> items;
    std::atomic<int> done{0};
    for (int i = 0; i < 500; ++i) {
        auto waiting = item(QStringLiteral("wait%1").arg(i));
        QVFileDetector::detectWithExportItem(waiting, 100000, [&](bool) { ++done; });
        auto watched = item(QStringLiteral("watch%1").arg(i));
        touch(watched->originalPath());
        watched->setExportStatus(QVExportStatusExporting);
        QVFileDetector::watchExportingWithExportItem(watched, [&](bool) { ++done; });
        items.push_back(waiting);
        items.push_back(watched);
    }
    QThread::msleep(300);
    EXPECT_LT(threadCount() - before, 50);
    EXPECT_EQ(done, 0);
    // End the watches and detections so nothing outlives the test.
    for (auto& it : items) {
        it->setExportStatus(QVExportStatusCompleted);
        if (!it->originalPath().isEmpty()) touch(it->originalPath());
    }
    ASSERT_TRUE(waitUntil([&] { return done == 1000; }));
}

}  // namespace
