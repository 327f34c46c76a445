#include "export/QVExportItemManager.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <condition_variable>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include "export/ExportListReader.h"
#include "platform/AtomicFile.h"
#include "platform/Dispatch.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"

namespace {

const char* const kListFileName = "assets.plist";
const char* const kJournalFileName = "assets.journal";

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
                           : thumbnailFolder),
      journal_(folder.isEmpty() ? QString()
                                : folder + QLatin1Char('/') + QLatin1String(kJournalFileName)) {}

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

bool QVExportItemManager::loadExportItems() {
    const auto stored = readStoredList();
    return adoptStoredList(*stored);
}

// Each element becomes its item (or stays text, for an unknown library) as
// soon as it is read, on the reader's threads, so the whole tree of the file
// never exists at once. Duplicates are found through sets of the paths in
// NFC rather than a scan of the list per entry, so long lists load in
// linear time.
std::shared_ptr<QVExportItemManager::StoredList> QVExportItemManager::readStoredList() {
    auto stored = std::make_shared<StoredList>();
    if (folder_.isEmpty()) return stored;
    if (!QFileInfo(folder_).isDir()) {
        // First launch: nothing to read. The thumbnail folder is made too,
        // since the thumbnail writer expects it.
        stored->folderReady = ensureFolder(folder_);
        if (stored->folderReady) ensureFolder(thumbnailFolder_);
        return stored;
    }
    stored->folderReady = true;
    if (!QFileInfo(thumbnailFolder_).isDir()) ensureFolder(thumbnailFolder_);
    std::function<void()> hook;
    {
        std::lock_guard lock(writeMutex_);
        hook = readHook_;
    }
    if (hook) hook();

    struct Slot {
        std::shared_ptr<QVExportItem> item;
        QByteArray carried;
    };
    std::vector<Slot> parsed;
    {
        QByteArray data;
        QString error;
        QFile file(listFilePath());
        if (file.exists()) {
            if (file.open(QIODevice::ReadOnly))
                data = file.readAll();
            else
                error = file.errorString();
        }
        QVExportItem::SharedValues shared;
        const ExportListReader::ElementSink sink{
            [&parsed](qsizetype count) { parsed.assign(size_t(count), Slot{}); },
            [&parsed, &shared](qsizetype index, QVariant&& value, QByteArrayView text) {
                Slot& slot = parsed[size_t(index)];
                slot = Slot{};
                if (value.typeId() != QMetaType::QVariantMap) return;
                auto item = QVExportItem::exportItemWithDictionary(value.toMap(), &shared);
                if (item->library()) {
                    slot.item = std::move(item);
                } else if (!text.isEmpty()) {
                    slot.carried = text.toByteArray();
                } else {
                    PropertyList::appendXmlValue(slot.carried, value, 1);
                    slot.carried = slot.carried.trimmed();
                }
            }};
        if (!error.isNull() ||
            (file.exists() && !ExportListReader::readElements(data, sink, &error))) {
            parsed.clear();
            quarantine(error);
        }
    }

    QSet<QString> moviePaths, fcpXMLPaths;
    stored->items.reserve(qsizetype(parsed.size()));
    qsizetype unplaced = 0;  // carried entries from here on wait for their next item
    for (Slot& slot : parsed) {
        if (!slot.carried.isNull()) {
            stored->carried.append({std::move(slot.carried), -1});
            continue;
        }
        if (!slot.item) continue;
        const bool xmlOnly = slot.item->fcpXMLOnly();
        const QString key =
            xmlOnly ? slot.item->normalizedFcpXMLPath() : slot.item->normalizedOriginalPath();
        QSet<QString>& seen = xmlOnly ? fcpXMLPaths : moviePaths;
        if (!key.isNull()) {
            if (seen.contains(key)) continue;
            seen.insert(key);
        }
        for (; unplaced < stored->carried.size(); ++unplaced)
            stored->carried[unplaced].second = stored->items.size();
        stored->items.append(std::move(slot.item));
    }
    for (; unplaced < stored->carried.size(); ++unplaced)
        stored->carried[unplaced].second = stored->items.size();
    // IDs the last run recorded but did not get into a write of the list.
    stored->journaled = journal_.applyTo(stored->items) > 0;
    parsed = {};
    moviePaths = {};
    fcpXMLPaths = {};
#ifdef __GLIBC__
    // The file's text and the parsed entries are gone; hand their pages
    // back, or a long list keeps several times its size resident.
    malloc_trim(0);
#endif
    return stored;
}

bool QVExportItemManager::adoptStoredList(StoredList& stored) {
    if (!stored.folderReady) return false;
    {
        std::lock_guard lock(listMutex_);
        QList<bool> dropped;
        if (!items_.isEmpty()) {
            // Items added before the load are the newest and win.
            QSet<QString> moviePaths, fcpXMLPaths;
            for (const auto& item : std::as_const(items_)) {
                if (item->fcpXMLOnly())
                    fcpXMLPaths.insert(item->normalizedFcpXMLPath());
                else
                    moviePaths.insert(item->normalizedOriginalPath());
            }
            dropped.resize(stored.items.size());
            for (qsizetype i = 0; i < stored.items.size(); ++i) {
                const auto& item = stored.items[i];
                dropped[i] = item->fcpXMLOnly()
                                 ? fcpXMLPaths.contains(item->normalizedFcpXMLPath())
                                 : moviePaths.contains(item->normalizedOriginalPath());
            }
        }
        carried_.clear();
        for (auto& [xml, before] : stored.carried) {
            while (before < dropped.size() && dropped[before]) ++before;
            carried_.append({std::move(xml), before < stored.items.size()
                                                 ? std::weak_ptr(stored.items[before])
                                                 : std::weak_ptr<QVExportItem>()});
        }
        stored.carried.clear();
        if (!dropped.isEmpty()) {
            QVExportItemList kept;
            kept.reserve(stored.items.size());
            for (qsizetype i = 0; i < stored.items.size(); ++i)
                if (!dropped[i]) kept.append(stored.items[i]);
            stored.items.swap(kept);
        }
        if (items_.isEmpty()) {
            items_ = stored.items;
        } else {
            items_.reserve(items_.size() + stored.items.size());
            items_.append(stored.items);
        }
        loaded_ = true;
    }
    if (stored.journaled) {
        // The next write holds them, and the journal is emptied after it.
        const quint64 generation = noteChange();
        std::lock_guard lock(journalMutex_);
        journaled_ = std::max(journaled_, generation);
    }
    if (deferred_.exchange(false) || stored.journaled) requestSave();
    return true;
}

void QVExportItemManager::loadExportItemsInBackground(
    std::function<void(bool, const QVExportItemList&)> completion) {
    Dispatch::global([this, completion = std::move(completion)] {
        std::shared_ptr<StoredList> stored = readStoredList();
        Dispatch::main([this, stored, completion] {
            const bool ok = adoptStoredList(*stored);
            if (completion) completion(ok, stored->items);
        });
    });
}

void QVExportItemManager::setReadHook(std::function<void()> hook) {
    std::lock_guard lock(writeMutex_);
    readHook_ = std::move(hook);
}

QByteArray QVExportItemManager::serialize(const QVExportItemList& items,
                                          const QList<CarriedEntry>& carried) const {
    QByteArray out;
    out.reserve(lastSize_.load() + 4096);
    out.append(PropertyList::xmlHeader());
    if (items.isEmpty() && carried.isEmpty()) {
        out.append("<array/>\n");
    } else {
        out.append("<array>\n");
        auto appendCarried = [&out](const CarriedEntry& entry) {
            out.append('\t').append(entry.xml).append('\n');
        };
        // Few or none: a map from each anchor to its entries, in order.
        QHash<const QVExportItem*, QList<qsizetype>> before;
        QList<bool> written(carried.size(), false);
        for (qsizetype i = 0; i < carried.size(); ++i)
            if (const auto anchor = carried[i].before.lock()) before[anchor.get()].append(i);
        for (const auto& item : items) {
            if (!before.isEmpty()) {
                if (const auto found = before.constFind(item.get()); found != before.cend()) {
                    for (qsizetype i : *found) {
                        appendCarried(carried[i]);
                        written[i] = true;
                    }
                    before.erase(found);
                }
            }
            item->appendXml(out, 1);
        }
        for (qsizetype i = 0; i < carried.size(); ++i)
            if (!written[i]) appendCarried(carried[i]);
        out.append("</array>\n");
    }
    out.append(PropertyList::xmlFooter());
    lastSize_.store(out.size());
    return out;
}

QByteArray QVExportItemManager::serializedList() const {
    std::unique_lock lock(listMutex_);
    const QVExportItemList items = items_;
    const QList<CarriedEntry> carried = carried_;
    lock.unlock();
    return serialize(items, carried);
}

// Runs with writing_ set, outside writeMutex_, so that a caller whose state
// an earlier write already covered is not held up by this one. Everything
// requested before the snapshot is taken is covered by it.
QVExportItemManager::WriteResult QVExportItemManager::writeSnapshot(
    const std::function<void(quint64)>& hook) {
    const quint64 generation = requested_.load();
    QVExportItemList items;
    QList<CarriedEntry> carried;
    {
        std::lock_guard lock(listMutex_);
        if (!loaded_) {
            // The stored list would be replaced unread; the load saves.
            if (!deferred_.exchange(true))
                QVLog::log(QStringLiteral("save export list deferred until it is loaded"));
            return {};
        }
        items = items_;
        carried = carried_;
    }
    if (!ensureFolder(folder_)) return {true, false, 0};
    const QByteArray data = serialize(items, carried);
    if (hook) hook(generation);
    QString error;
    const bool ok = AtomicFile::write(listFilePath(), data, &error);
    writeCount_.fetch_add(1);
    if (!ok) QVLog::log(QStringLiteral("save export list failed: %1").arg(error));
    return {true, ok, ok ? generation : 0};
}

bool QVExportItemManager::writeUpTo(quint64 generation) {
    std::unique_lock lock(writeMutex_);
    for (;;) {
        if (written_ >= generation && generation > 0) return lastResult_;
        if (!writing_) break;
        writeDone_.wait(lock);
    }
    writing_ = true;
    const auto hook = hook_;
    lock.unlock();
    const WriteResult result = writeSnapshot(hook);
    if (result.attempted && result.ok) clearJournalUpTo(result.generation);
    lock.lock();
    writing_ = false;
    if (result.attempted) {
        written_ = std::max(written_, result.generation);
        lastResult_ = result.ok;
    }
    writeDone_.notify_all();
    return result.ok;
}

bool QVExportItemManager::recordAssetIDs(const std::shared_ptr<QVExportItem>& item) {
    if (!item || journal_.path().isEmpty() || !ensureFolder(folder_)) return false;
    const QList<QVAssetIDJournal::Record> records = QVAssetIDJournal::recordsOf(*item);
    {
        std::lock_guard lock(journalMutex_);
        // Counted after the IDs were set: a write covering this
        // generation holds them.
        const quint64 generation = noteChange();
        if (!journal_.append(records)) return false;
        journaled_ = std::max(journaled_, generation);
    }
    requestSave();
    return true;
}

void QVExportItemManager::clearJournalUpTo(quint64 generation) {
    std::lock_guard lock(journalMutex_);
    if (journaled_ == 0 || journaled_ > generation) return;
    if (journal_.clear()) journaled_ = 0;
}

bool QVExportItemManager::save() {
    return writeUpTo(requested_.fetch_add(1) + 1);
}

bool QVExportItemManager::saveUpTo(quint64 generation) {
    return writeUpTo(generation);
}

quint64 QVExportItemManager::requestSave() {
    const quint64 generation = requested_.fetch_add(1) + 1;
    startBackgroundSave();
    return generation;
}

void QVExportItemManager::holdBackgroundSaves() {
    std::lock_guard lock(holdMutex_);
    ++holds_;
}

void QVExportItemManager::releaseBackgroundSaves() {
    {
        std::lock_guard lock(holdMutex_);
        if (holds_ == 0 || --holds_ > 0 || !heldRequest_) return;
        heldRequest_ = false;
    }
    // The last answer of a registration arrives on the pool: the thread
    // that let go writes at once instead of waking another one to do it.
    if (Dispatch::isMainThread())
        startBackgroundSave();
    else
        writeUpTo(requested_.load());
}

void QVExportItemManager::startBackgroundSave() {
    {
        std::lock_guard lock(holdMutex_);
        if (holds_ > 0) {
            heldRequest_ = true;
            return;
        }
    }
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

void QVExportItemManager::addExportItem(const std::shared_ptr<QVExportItem>& item,
                                        std::function<void(bool saved)> saved) {
    if (item) {
        std::lock_guard lock(listMutex_);
        items_.prepend(item);
    }
    const quint64 generation = requested_.fetch_add(1) + 1;
    Dispatch::global([this, generation, saved = std::move(saved)] {
        const bool ok = writeUpTo(generation);
        if (saved) Dispatch::main([saved, ok] { saved(ok); });
    });
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
        const qsizetype index = items_.indexOf(item);
        if (index >= 0 && item) {
            // Entries kept before it now stand before its successor.
            const auto next = index + 1 < items_.size() ? std::weak_ptr(items_[index + 1])
                                                        : std::weak_ptr<QVExportItem>();
            for (auto& entry : carried_)
                if (entry.before.lock() == item) entry.before = next;
            items_.removeAt(index);
        }
    }
    save();
}

void QVExportItemManager::removeAll() {
    QVExportItemList removed;
    {
        std::lock_guard lock(listMutex_);
        removed.swap(items_);
        // Entries of unknown libraries were never shown, so not cleared.
        for (auto& entry : carried_) entry.before.reset();
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
    loaded_ = true;
}

qsizetype QVExportItemManager::count() const {
    std::lock_guard lock(listMutex_);
    return items_.size();
}
