#include "export/QVExportItemManager.h"

#include <condition_variable>
#include <thread>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include "export/ExportListReader.h"
#include "platform/AtomicFile.h"
#include "platform/Dispatch.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"

namespace {

const char* const kListFileName = "assets.plist";

QString nfc(const QString& path) {
    return path.isNull() ? QString() : path.normalized(QString::NormalizationForm_C);
}

bool ensureFolder(const QString& folder) {
    return !folder.isEmpty() && QDir().mkpath(folder);
}

// Background saves still queued or running, per manager; the destructor
// waits for them because they hold a pointer to the manager.
struct AsyncTracker {
    std::mutex mutex;
    std::condition_variable idle;
};

AsyncTracker& tracker() {
    static AsyncTracker instance;
    return instance;
}

}  // namespace

QVExportItemManager& QVExportItemManager::sharedManager() {
    // Never destroyed: background saves may still be queued when the
    // process exits, and flush() is the orderly way out.
    static QVExportItemManager* manager = new QVExportItemManager();
    return *manager;
}

QVExportItemManager::QVExportItemManager()
    : QVExportItemManager(QVTesselUtil::relaydockFolder(),
                          QVTesselUtil::relaydockThumbnailFolder()) {}

QVExportItemManager::QVExportItemManager(const QString& folder, const QString& thumbnailFolder)
    : folder_(folder),
      thumbnailFolder_(thumbnailFolder.isNull() && !folder.isNull()
                           ? folder + QStringLiteral("/Caches")
                           : thumbnailFolder) {}

QVExportItemManager::~QVExportItemManager() {
    std::unique_lock lock(tracker().mutex);
    tracker().idle.wait(lock, [this] { return asyncRunning_.load() == 0; });
}

QString QVExportItemManager::listFilePath() const {
    if (folder_.isEmpty()) return {};
    return folder_ + QLatin1Char('/') + QLatin1String(kListFileName);
}

void QVExportItemManager::quarantine(const QString& reason) {
    const QString path = listFilePath();
    const QString stem =
        path + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'"));
    QString aside = stem;
    for (int n = 1; QFileInfo::exists(aside); ++n) aside = stem + QStringLiteral("-%1").arg(n);
    if (QFile::rename(path, aside))
        QVLog::log(QStringLiteral("loadExportItems: unreadable export list kept as %1 (%2)")
                       .arg(aside, reason));
    else
        QVLog::log(QStringLiteral("loadExportItems: unreadable export list %1 (%2) could not be "
                                  "moved aside")
                       .arg(path, reason));
}

// Rebuilding looks up libraries and nodes and normalises paths; long lists
// are rebuilt on a few threads, each taking a contiguous run of entries.
QVExportItemList QVExportItemManager::rebuildItems(const QVariantList& entries) {
    QVExportItemList items(entries.size());
    std::shared_ptr<QVExportItem>* targets = items.data();  // detached once, before the threads
    auto build = [&entries, targets](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i)
            if (entries[i].typeId() == QMetaType::QVariantMap)
                targets[i] = QVExportItem::exportItemWithDictionary(entries[i].toMap());
    };
    const qsizetype threads =
        entries.size() < 2000 ? 1 : std::clamp<qsizetype>(QThread::idealThreadCount(), 1, 4);
    std::vector<std::thread> workers;
    for (qsizetype t = 1; t < threads; ++t)
        workers.emplace_back(build, entries.size() * t / threads,
                             entries.size() * (t + 1) / threads);
    build(0, entries.size() / threads);
    for (auto& worker : workers) worker.join();
    return items;
}

bool QVExportItemManager::loadExportItems() {
    if (folder_.isEmpty()) return false;
    if (!QFileInfo(folder_).isDir()) {
        // First launch: nothing to read. The thumbnail folder is made too,
        // since the thumbnail writer expects it.
        const bool created = ensureFolder(folder_);
        if (created) {
            ensureFolder(thumbnailFolder_);
            loaded_ = true;
        }
        return created;
    }
    if (!QFileInfo(thumbnailFolder_).isDir()) ensureFolder(thumbnailFolder_);

    QVariantList entries;
    const QString path = listFilePath();
    if (QFileInfo::exists(path)) {
        QString error;
        QFile file(path);
        std::optional<QVariantList> root;
        if (file.open(QIODevice::ReadOnly))
            root = ExportListReader::readArray(file.readAll(), &error);
        else
            error = file.errorString();
        if (root)
            entries = std::move(*root);
        else
            quarantine(error);
    }
    const QVExportItemList rebuilt = rebuildItems(entries);

    // Duplicates are found through sets of the paths in NFC rather than a
    // scan of the list per entry, so long lists load in linear time.
    std::lock_guard lock(listMutex_);
    QSet<QString> moviePaths, fcpXMLPaths;
    for (const auto& item : std::as_const(items_)) {
        if (item->fcpXMLOnly()) {
            if (const QString p = item->normalizedFcpXMLPath(); !p.isNull()) fcpXMLPaths.insert(p);
        } else if (const QString p = item->normalizedOriginalPath(); !p.isNull()) {
            moviePaths.insert(p);
        }
    }
    items_.reserve(items_.size() + rebuilt.size());
    for (const auto& item : rebuilt) {
        if (!item || !item->library()) continue;
        const bool xmlOnly = item->fcpXMLOnly();
        const QString key = xmlOnly ? item->normalizedFcpXMLPath() : item->normalizedOriginalPath();
        QSet<QString>& seen = xmlOnly ? fcpXMLPaths : moviePaths;
        if (!key.isNull()) {
            if (seen.contains(key)) continue;
            seen.insert(key);
        }
        items_.append(item);
    }
    loaded_ = true;
    return true;
}

QByteArray QVExportItemManager::serialize(const QVExportItemList& items) const {
    QByteArray out;
    out.reserve(lastSize_.load() + 4096);
    out.append(PropertyList::xmlHeader());
    if (items.isEmpty()) {
        out.append("<array/>\n");
    } else {
        out.append("<array>\n");
        for (const auto& item : items) item->appendXml(out, 1);
        out.append("</array>\n");
    }
    out.append(PropertyList::xmlFooter());
    lastSize_.store(out.size());
    return out;
}

// Holding writeMutex_. Everything requested before the snapshot is taken is
// covered by it.
bool QVExportItemManager::writeSnapshot() {
    if (!ensureFolder(folder_)) {
        lastResult_ = false;
        return false;
    }
    const quint64 generation = requested_.load();
    const QByteArray data = serialize(exportItems());
    if (hook_) hook_(generation);
    QString error;
    const bool ok = AtomicFile::write(listFilePath(), data, &error);
    writeCount_.fetch_add(1);
    if (ok)
        written_ = std::max(written_, generation);
    else
        QVLog::log(QStringLiteral("save export list failed: %1").arg(error));
    lastResult_ = ok;
    return ok;
}

bool QVExportItemManager::writeUpTo(quint64 generation) {
    std::lock_guard lock(writeMutex_);
    if (written_ >= generation && generation > 0) return lastResult_;
    return writeSnapshot();
}

bool QVExportItemManager::save() {
    return writeUpTo(requested_.fetch_add(1) + 1);
}

void QVExportItemManager::requestSave() {
    requested_.fetch_add(1);
    // One background save waits at a time; requests made before it takes
    // its snapshot ride along with it.
    if (asyncPending_.exchange(true)) return;
    {
        std::lock_guard lock(tracker().mutex);
        asyncRunning_.fetch_add(1);
    }
    Dispatch::global([this] {
        asyncPending_.store(false);
        writeUpTo(requested_.load());
        std::lock_guard lock(tracker().mutex);
        asyncRunning_.fetch_sub(1);
        tracker().idle.notify_all();
    });
}

bool QVExportItemManager::flush() {
    const quint64 generation = requested_.load();
    const bool ok = writeUpTo(generation);
    std::unique_lock lock(tracker().mutex);
    tracker().idle.wait(lock, [this] { return asyncRunning_.load() == 0; });
    return ok;
}

quint64 QVExportItemManager::writtenGeneration() const {
    std::lock_guard lock(writeMutex_);
    return written_;
}

void QVExportItemManager::setWriteHook(std::function<void(quint64)> hook) {
    std::lock_guard lock(writeMutex_);
    hook_ = std::move(hook);
}

void QVExportItemManager::addExportItem(const std::shared_ptr<QVExportItem>& item) {
    if (!item) return;
    {
        std::lock_guard lock(listMutex_);
        items_.prepend(item);
    }
    save();
}

void QVExportItemManager::deleteExportItem(const std::shared_ptr<QVExportItem>& item) {
    {
        std::lock_guard lock(listMutex_);
        items_.removeOne(item);
    }
    save();
}

void QVExportItemManager::removeAll() {
    QVExportItemList removed;
    {
        std::lock_guard lock(listMutex_);
        removed.swap(items_);
    }
    for (const auto& item : std::as_const(removed)) {
        const QString thumbnail = item->thumbnailPath();
        if (thumbnail.isEmpty() || !QFileInfo::exists(thumbnail)) continue;
        if (isInThumbnailFolder(thumbnail))
            QFile::remove(thumbnail);
        else
            QVLog::log(
                QStringLiteral("Thumbnail outside the thumbnail folder kept. : %1").arg(thumbnail));
    }
    save();
}

// The list file is the user's to edit (or damage): a "thumbnail" naming a
// movie or a document must not make Clear delete it. Only direct entries of
// the thumbnail folder are ours; the entry itself goes, never what a link
// in there points at.
bool QVExportItemManager::isInThumbnailFolder(const QString& path) const {
    const QString folder = QFileInfo(thumbnailFolder_).canonicalFilePath();
    if (folder.isEmpty()) return false;
    const QFileInfo file(path);
    const QString name = file.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) return false;
    return QFileInfo(file.absolutePath()).canonicalFilePath() == folder;
}

qsizetype QVExportItemManager::indexOfItem(const std::shared_ptr<QVExportItem>& item) const {
    std::lock_guard lock(listMutex_);
    return items_.indexOf(item);
}

std::shared_ptr<QVExportItem> QVExportItemManager::exportItemWithOriginalPath(
    const QString& path) const {
    if (path.isNull()) return nullptr;
    const QString wanted = nfc(path);
    std::lock_guard lock(listMutex_);
    for (const auto& item : items_)
        if (!item->fcpXMLOnly() && item->normalizedOriginalPath() == wanted) return item;
    return nullptr;
}

std::shared_ptr<QVExportItem> QVExportItemManager::exportItemWithFCPXMLPath(
    const QString& path) const {
    if (path.isNull()) return nullptr;
    const QString wanted = nfc(path);
    std::lock_guard lock(listMutex_);
    for (const auto& item : items_)
        if (item->fcpXMLOnly() && item->normalizedFcpXMLPath() == wanted) return item;
    return nullptr;
}

QVExportItemList QVExportItemManager::exportItems() const {
    std::lock_guard lock(listMutex_);
    return items_;
}

void QVExportItemManager::setExportItems(const QVExportItemList& items) {
    QVExportItemList kept;
    for (const auto& item : items)
        if (item) kept.append(item);
    std::lock_guard lock(listMutex_);
    items_.swap(kept);
}

qsizetype QVExportItemManager::count() const {
    std::lock_guard lock(listMutex_);
    return items_.size();
}
