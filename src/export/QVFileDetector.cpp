#include "export/QVFileDetector.h"

#include <atomic>

#include <QFileInfo>

#include "export/QVExportItem.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"

namespace {

std::atomic<int> gPollInterval{1000};

bool existsAt(const QString& path) {
    // Any kind of entry counts, a folder or a dangling link included: the
    // editor may still be creating what it will write there.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

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
    Dispatch::after(
        gPollInterval.load(),
        [run] {
            run->elapsed += 1;
            if (static_cast<double>(run->elapsed) > run->waitTime) {
                QVLog::log(QStringLiteral("Can't find file : %1").arg(run->path));
                run->completion(false);
                return;
            }
            poll(run);
        },
        Dispatch::Queue::Global);
}

void watch(const std::shared_ptr<QVExportItem>& item,
           const QVFileDetector::Completion& completion) {
    if (!existsAt(item->originalPath())) {
        completion(true);
        return;
    }
    // The row shows how far the editor has come, from this same poll.
    item->setExportedBytes(QFileInfo(item->originalPath()).size());
    Dispatch::after(
        gPollInterval.load(),
        [item, completion] {
            if (item->exportStatus() != QVExportStatusExporting) {
                completion(false);
                return;
            }
            watch(item, completion);
        },
        Dispatch::Queue::Global);
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

int QVFileDetector::pollInterval() {
    return gPollInterval.load();
}

void QVFileDetector::setPollInterval(int milliseconds) {
    gPollInterval.store(milliseconds);
}
