#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "export/QVExportItem.h"
#include "export/QVFileCompleteness.h"
#include "export/QVFileDetector.h"
#include "platform/Dispatch.h"
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

void touch(const QString& path, const QByteArray& bytes = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(bytes);
}

int threadCount() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
    return -1;
}

// Holds every poll after the first until the test lets it run, so a test
// says exactly how many polls have happened instead of sleeping.
class HeldPolls {
  public:
    HeldPolls() {
        QVFileDetector::setScheduler([this](int, std::function<void()> poll) {
            std::lock_guard lock(mutex_);
            held_.push_back(std::move(poll));
        });
    }
    ~HeldPolls() { QVFileDetector::setScheduler({}); }
    int count() {
        std::lock_guard lock(mutex_);
        return int(held_.size());
    }
    // Once `expected` polls are held, runs them (on this thread).
    bool release(int expected = 1) {
        if (!waitUntil([&] { return count() >= expected; })) return false;
        std::deque<std::function<void()>> polls;
        {
            std::lock_guard lock(mutex_);
            polls.swap(held_);
        }
        for (auto& poll : polls) poll();
        return true;
    }

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> held_;
};

class FileDetector : public ::testing::Test {
  protected:
    void TearDown() override {
        QVFileDetector::setPollInterval(1000);
        QVFileDetector::setQuietPeriod(10000);
        QVFileDetector::setClock({});
    }

    std::shared_ptr<QVExportItem> item(const QString& base, bool fcpXMLOnly = false) {
        auto it = std::make_shared<QVExportItem>();
        it->setFcpXMLOnly(fcpXMLOnly);
        if (!fcpXMLOnly) it->setOriginalPath(dir_.filePath(base + ".mov"));
        it->setFcpXMLPath(dir_.filePath(base + ".fcpxml"));
        return it;
    }
    QTemporaryDir dir_;
    HeldPolls polls_;
};

TEST_F(FileDetector, PresentFileAnswersYesOnItsFirstTestOffTheMainThread) {
    auto it = item("ready");
    touch(it->originalPath());
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 600, out.completion());
    ASSERT_TRUE(waitUntil([&] { return out.calls > 0; }));
    EXPECT_TRUE(out.value);
    EXPECT_FALSE(out.onMainThread);
    EXPECT_EQ(polls_.count(), 0);
}

TEST_F(FileDetector, AbsentFileIsTestedAtEveryPollUntilTheWaitTimeThenFails) {
    auto it = item("never");
    QVLog::Capture log;
    Outcome out;
    QVFileDetector::detectWithExportItem(it, 2, out.completion());
    // Tests at polls 0, 1 and 2; the third poll gives up.
    ASSERT_TRUE(polls_.release());
    ASSERT_TRUE(polls_.release());
    EXPECT_EQ(out.calls, 0);
    ASSERT_TRUE(polls_.release());
    EXPECT_EQ(out.calls, 1);
    EXPECT_FALSE(out.value);
    EXPECT_EQ(polls_.count(), 0) << "nothing polls after the answer";
    EXPECT_TRUE(log.contains("Can't find file : " + it->originalPath()));
}

TEST_F(FileDetector, FileAppearingLaterIsFoundAtThePathTakenAtStart) {
    auto movie = item("later");
    const QString original = movie->originalPath();
    Outcome movieOut;
    QVFileDetector::detectWithExportItem(movie, 100000, movieOut.completion());
    // A later change of the item does not redirect the running detection.
    movie->setOriginalPath(dir_.filePath("elsewhere.mov"));
    touch(dir_.filePath("elsewhere.mov"));
    // An FCPXML-only item waits for its description, not a movie.
    auto xml = item("xmlonly", true);
    touch(dir_.filePath("xmlonly.mov"));
    Outcome xmlOut;
    QVFileDetector::detectWithExportItem(xml, 100000, xmlOut.completion());

    ASSERT_TRUE(polls_.release(2));
    EXPECT_EQ(movieOut.calls + xmlOut.calls, 0);
    touch(original);
    touch(xml->fcpXMLPath());
    ASSERT_TRUE(polls_.release(2));
    EXPECT_EQ(movieOut.calls, 1);
    EXPECT_EQ(xmlOut.calls, 1);
    EXPECT_TRUE(movieOut.value && xmlOut.value);
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
    // Not exporting from the start: NO after one poll with the file there,
    // YES at once without it.
    auto idle = item("idle");
    touch(idle->originalPath());
    Outcome idleOut;
    QVFileDetector::watchExportingWithExportItem(idle, idleOut.completion());
    auto absent = item("absent");
    Outcome absentOut;
    QVFileDetector::watchExportingWithExportItem(absent, absentOut.completion());
    ASSERT_TRUE(waitUntil([&] { return absentOut.calls > 0; }));
    EXPECT_TRUE(absentOut.value) << "no file means the export is gone";

    ASSERT_TRUE(polls_.release(3));
    EXPECT_EQ(idleOut.calls, 1);
    EXPECT_FALSE(idleOut.value);
    ASSERT_TRUE(polls_.release(2));
    EXPECT_EQ(movedOut.calls + cancelledOut.calls, 0) << "both still exporting";
    moved->setExportStatus(QVExportStatusCreating);
    QFile::remove(cancelled->originalPath());
    ASSERT_TRUE(polls_.release(2));
    EXPECT_EQ(movedOut.calls, 1);
    EXPECT_FALSE(movedOut.value);
    EXPECT_EQ(cancelledOut.calls, 1);
    EXPECT_TRUE(cancelledOut.value);
}

// The rule alone, on a clock the test moves.
TEST(FileCompleteness, QuietUnchangedNonEmptyFileWithoutWriterIsComplete) {
    QVFileCompleteness rule(10000);
    QVFileCompleteness::Look look{true, 100, 5, false};
    EXPECT_FALSE(rule.observe(0, look));
    EXPECT_FALSE(rule.observe(9999, look));
    EXPECT_TRUE(rule.observe(10000, look));
    // Growth, a new modification time, an open writer or a disappearance
    // each start the quiet period again.
    look.size = 200;
    EXPECT_FALSE(rule.observe(20000, look));
    EXPECT_TRUE(rule.observe(30000, look));
    look.modifiedNs = 6;
    EXPECT_FALSE(rule.observe(35000, look));
    EXPECT_TRUE(rule.observe(45000, look));
    look.writerOpen = true;
    EXPECT_FALSE(rule.observe(100000, look));
    EXPECT_FALSE(rule.observe(200000, look)) << "a writer holding the file open";
    look.writerOpen = false;
    EXPECT_FALSE(rule.observe(205000, look));
    EXPECT_TRUE(rule.observe(210000, look));
    EXPECT_FALSE(rule.observe(220000, {false, 0, 0, false}));
    EXPECT_FALSE(rule.observe(230000, look));
    EXPECT_TRUE(rule.observe(240000, look));

    QVFileCompleteness empty(0);
    EXPECT_FALSE(empty.observe(0, {true, 0, 1, false}));
    EXPECT_FALSE(empty.observe(100000, {true, 0, 1, false})) << "nothing was written";
}

TEST_F(FileDetector, CompletenessWaitSeesAWriterAndEndsWhenNoLongerWanted) {
    std::atomic<qint64> clock{0};
    QVFileDetector::setClock([&] { return clock.load(); });
    QVFileDetector::setQuietPeriod(1000);
    const QString path = dir_.filePath("written.mov");
    touch(path, "begun");
    Outcome out;
    QVFileDetector::waitUntilComplete(
        path, [] { return true; }, out.completion());
    QFile writer(path);
    ASSERT_TRUE(writer.open(QIODevice::Append));
    writer.write("more");
    writer.flush();
    ASSERT_TRUE(polls_.release());
    clock = 5000;
    ASSERT_TRUE(polls_.release());
    EXPECT_EQ(out.calls, 0) << "still open for writing, however quiet";
    writer.close();
    ASSERT_TRUE(polls_.release());
    clock = 6000;
    ASSERT_TRUE(polls_.release());
    EXPECT_EQ(out.calls, 1);
    EXPECT_TRUE(out.value);

    std::atomic<bool> wanted{true};
    Outcome dropped, vanished;
    QVFileDetector::waitUntilComplete(
        path, [&] { return wanted.load(); }, dropped.completion());
    const QString gone = dir_.filePath("gone.mov");
    touch(gone);
    QVFileDetector::waitUntilComplete(
        gone, [] { return true; }, vanished.completion());
    ASSERT_TRUE(polls_.release(2));
    wanted = false;
    QFile::remove(gone);
    ASSERT_TRUE(polls_.release(2));
    EXPECT_EQ(dropped.calls, 1);
    EXPECT_EQ(vanished.calls, 1);
    EXPECT_FALSE(dropped.value || vanished.value);
}

TEST(FileDetectorTimers, HundredsOfPendingWaitsHoldNoThreads) {
    // Real timers; the scheduler only counts the polls.
    std::atomic<int> scheduled{0};
    QVFileDetector::setScheduler([&](int ms, std::function<void()> poll) {
        ++scheduled;
        Dispatch::after(ms, std::move(poll), Dispatch::Queue::Global);
    });
    QVFileDetector::setPollInterval(50);
    QTemporaryDir dir;
    const int before = threadCount();
    std::vector<std::shared_ptr<QVExportItem>> items;
    std::atomic<int> done{0};
    for (int i = 0; i < 500; ++i) {
        auto waiting = std::make_shared<QVExportItem>();
        waiting->setOriginalPath(dir.filePath(QStringLiteral("wait%1.mov").arg(i)));
        QVFileDetector::detectWithExportItem(waiting, 100000, [&](bool) { ++done; });
        auto watched = std::make_shared<QVExportItem>();
        watched->setOriginalPath(dir.filePath(QStringLiteral("watch%1.mov").arg(i)));
        touch(watched->originalPath());
        watched->setExportStatus(QVExportStatusExporting);
        QVFileDetector::watchExportingWithExportItem(watched, [&](bool) { ++done; });
        items.push_back(waiting);
        items.push_back(watched);
    }
    // The waits have been coming back from their timers.
    ASSERT_TRUE(waitUntil([&] { return scheduled >= 2000; }, 120000));
    EXPECT_LT(threadCount() - before, 50);
    EXPECT_EQ(done, 0);
    // End the watches and detections so nothing outlives the test.
    for (auto& it : items) {
        it->setExportStatus(QVExportStatusCompleted);
        touch(it->originalPath());
    }
    ASSERT_TRUE(waitUntil([&] { return done == 1000; }));
    QVFileDetector::setScheduler({});
    QVFileDetector::setPollInterval(1000);
}

}  // namespace
