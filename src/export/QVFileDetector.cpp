#include "export/QVFileDetector.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "export/QVExportItem.h"
#include "export/QVFileCompleteness.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"

namespace {

std::atomic<int> gPollInterval{1000};
std::atomic<int> gQuietPeriod{10000};

std::mutex gHooksMutex;
QVFileDetector::Scheduler gScheduler;
std::function<qint64()> gClock;

void later(std::function<void()> poll) {
    QVFileDetector::Scheduler scheduler;
    {
        std::lock_guard lock(gHooksMutex);
        scheduler = gScheduler;
    }
    if (scheduler)
        scheduler(gPollInterval.load(), std::move(poll));
    else
        Dispatch::after(gPollInterval.load(), std::move(poll), Dispatch::Queue::Global);
}

qint64 now() {
    {
        std::lock_guard lock(gHooksMutex);
        if (gClock) return gClock();
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool existsAt(const QString& path) {
    // Any kind of entry counts, a folder or a dangling link included: the
    // editor may still be creating what it will write there.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// Writes seen through one inotify instance shared by every completeness
// wait (instances are a scarce per-user resource; watches are not). A file
// written to and not yet closed after writing has a writer.
class WriteWatches {
  public:
    static WriteWatches& shared() {
        // Never destroyed: waits still queued on the dispatcher let go of
        // their watches while the process exits, after statics are gone.
        static auto* watches = new WriteWatches;
        return *watches;
    }
    // A watch on the file, or -1 when there is none to be had.
    int add(const QString& path) {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return -1;
        const int wd =
            inotify_add_watch(fd_, QFile::encodeName(path).constData(), IN_MODIFY | IN_CLOSE_WRITE);
        if (wd >= 0) ++users_[wd];
        return wd;
    }
    void remove(int wd) {
        std::lock_guard lock(mutex_);
        if (wd < 0 || --users_[wd] > 0) return;
        users_.erase(wd);
        writing_.erase(wd);
        inotify_rm_watch(fd_, wd);
    }
    bool writerOpen(int wd) {
        std::lock_guard lock(mutex_);
        drain();
        return wd >= 0 && writing_[wd];
    }

  private:
    WriteWatches() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    void drain() {  // lock held
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) return;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_MODIFY) writing_[event->wd] = true;
                if (event->mask & IN_CLOSE_WRITE) writing_[event->wd] = false;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
    }
    std::mutex mutex_;
    int fd_ = -1;
    std::map<int, int> users_;
    std::map<int, bool> writing_;
};

struct Detection {
    QString path;
    double waitTime = 0;
    qint64 elapsed = 0;
    QVFileDetector::Completion completion;
};

void poll(const std::shared_ptr<Detection>& run) {
    if (existsAt(run->path)) {
        run->completion(true);
        return;
    }
    later([run] {
        run->elapsed += 1;
        if (static_cast<double>(run->elapsed) > run->waitTime) {
            QVLog::log(QStringLiteral("Can't find file : %1").arg(run->path));
            run->completion(false);
            return;
        }
        poll(run);
    });
}

void watch(const std::shared_ptr<QVExportItem>& item,
           const QVFileDetector::Completion& completion) {
    if (!existsAt(item->originalPath())) {
        completion(true);
        return;
    }
    // The row shows how far the editor has come, from this same poll.
    item->setExportedBytes(QFileInfo(item->originalPath()).size());
    later([item, completion] {
        if (item->exportStatus() != QVExportStatusExporting) {
            completion(false);
            return;
        }
        watch(item, completion);
    });
}

struct CompletenessWait {
    explicit CompletenessWait(qint64 quietMs) : rule(quietMs) {}
    ~CompletenessWait() { WriteWatches::shared().remove(wd); }
    QString path;
    std::function<bool()> stillWanted;
    QVFileDetector::Completion completion;
    QVFileCompleteness rule;
    int wd = -1;
};

void pollCompleteness(const std::shared_ptr<CompletenessWait>& run) {
    if (run->stillWanted && !run->stillWanted()) {
        run->completion(false);
        return;
    }
    struct stat info {};
    QVFileCompleteness::Look look;
    look.exists = ::stat(QFile::encodeName(run->path).constData(), &info) == 0;
    if (!look.exists) {
        run->completion(false);
        return;
    }
    look.size = info.st_size;
    look.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    look.writerOpen = WriteWatches::shared().writerOpen(run->wd);
    if (run->rule.observe(now(), look)) {
        run->completion(true);
        return;
    }
    later([run] { pollCompleteness(run); });
}

}  // namespace

void QVFileDetector::detectWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                          double waitTime, Completion completion) {
    const QString path = item ? item->filePath() : QString();
    if (!item || path.isNull()) {
        QVLog::log(QStringLiteral("detectWithExportItem parameter is nil"));
        if (completion) completion(false);
        return;
    }
    detectAtPath(path, waitTime, std::move(completion));
}

void QVFileDetector::detectAtPath(const QString& path, double waitTime, Completion completion) {
    if (path.isEmpty()) {
        if (completion) completion(false);
        return;
    }
    auto run = std::make_shared<Detection>();
    run->path = path;
    run->waitTime = waitTime;
    run->completion = completion ? std::move(completion) : [](bool) {};
    Dispatch::global([run] { poll(run); });
}

void QVFileDetector::watchExportingWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                                  Completion completion) {
    if (!item || item->originalPath().isNull()) {
        QVLog::log(QStringLiteral("watchExportingWithExportItem parameter is nil"));
        if (completion) completion(false);
        return;
    }
    Completion done = completion ? std::move(completion) : [](bool) {};
    Dispatch::global([item, done] { watch(item, done); });
}

void QVFileDetector::waitUntilComplete(const QString& path, std::function<bool()> stillWanted,
                                       Completion completion) {
    auto run = std::make_shared<CompletenessWait>(gQuietPeriod.load());
    run->path = path;
    run->stillWanted = std::move(stillWanted);
    run->completion = completion ? std::move(completion) : [](bool) {};
    // Watched from now on, so a write that follows this call is seen.
    if (!path.isEmpty()) run->wd = WriteWatches::shared().add(path);
    Dispatch::global([run] { pollCompleteness(run); });
}

int QVFileDetector::pollInterval() {
    return gPollInterval.load();
}

void QVFileDetector::setPollInterval(int milliseconds) {
    gPollInterval.store(milliseconds);
}

int QVFileDetector::quietPeriod() {
    return gQuietPeriod.load();
}

void QVFileDetector::setQuietPeriod(int milliseconds) {
    gQuietPeriod.store(std::max(0, milliseconds));
}

void QVFileDetector::setScheduler(Scheduler scheduler) {
    std::lock_guard lock(gHooksMutex);
    gScheduler = std::move(scheduler);
}

void QVFileDetector::setClock(std::function<qint64()> clock) {
    std::lock_guard lock(gHooksMutex);
    gClock = std::move(clock);
}
