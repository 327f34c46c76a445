#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include <QByteArray>
#include <QList>
#include <QString>

#include "export/QVAssetIDJournal.h"
#include "export/QVExportItem.h"

using QVExportItemList = QList<std::shared_ptr<QVExportItem>>;

// The export list, newest first, kept in "assets.plist" in the agent's
// folder so that it survives restarts.
//
// Saving: the whole list is written atomically (temporary file, fsync,
// rename), so the file always holds one complete save. Writes are
// serialised, and requests that arrive while a write is running are
// coalesced into the next write: a save() that finds its state already
// written by a later snapshot returns at once with that write's result.
// requestSave() is the same without waiting, for the main thread; it never
// drops a request, and flush() writes whatever is still pending (quit).
//
// Nothing is written before the stored list was read: a save asked for
// earlier waits for the load, which keeps the items added meanwhile on top
// of the stored ones. Stored entries whose library is unknown at the load
// are not items of the list, but every save writes them back as they were,
// in their place, so a library missing for one launch loses nothing.
class QVExportItemManager {
  public:
    static QVExportItemManager& sharedManager();

    // A manager over folder/"assets.plist"; the default is the agent's
    // folder (relaydockFolder). Tests and benchmarks use their own.
    QVExportItemManager();
    explicit QVExportItemManager(const QString& folder, const QString& thumbnailFolder = {});
    ~QVExportItemManager();
    QVExportItemManager(const QVExportItemManager&) = delete;
    QVExportItemManager& operator=(const QVExportItemManager&) = delete;

    // The list file read and its items rebuilt, not yet taken in.
    struct StoredList {
        bool folderReady = false;  // false: no agent folder, and none could be made
        QVExportItemList items;    // file order; duplicates and unknown libraries left out
        // Entries of unknown libraries as stored, each with the index of the
        // item it stood before (items.size(): at the end).
        QList<std::pair<QByteArray, qsizetype>> carried;
        bool journaled = false;  // asset IDs were taken from the journal
    };

    // Reads the list file; see the implementation for the rules. False only
    // when the agent folder is missing and cannot be created.
    bool loadExportItems();
    // The reading half of the load: any thread, the list is not touched.
    std::shared_ptr<StoredList> readStoredList();
    // The other half, in one step under the list's lock: items added before
    // the load stay on top, stored duplicates of them are left out, and a
    // save asked for meanwhile is made (in the background). stored.items
    // then holds the stored items taken in. Returns stored.folderReady.
    bool adoptStoredList(StoredList& stored);
    // Reads on the background pool, takes the list in on the main thread
    // and calls completion there with the result and the stored items. The
    // manager must outlive the load.
    void loadExportItemsInBackground(
        std::function<void(bool ok, const QVExportItemList& storedItems)> completion);
    // Writes the list now (or returns the result of a write that already
    // covered this call's state). Any thread.
    bool save();
    // Asks for a save on the background pool and returns at once with the
    // generation that save covers. Any thread.
    quint64 requestSave();
    // Waits until a write covering that generation has landed, writing
    // only when none has yet: a caller that must see its change on disk
    // shares the write with every change requested meanwhile. Any thread
    // but the main one.
    bool saveUpTo(quint64 generation);
    // Counts a change without writing it: the next write, or flush() at
    // quit, takes it along. For states that a later change of the same
    // work always follows with a save, or that its caller writes itself
    // with saveUpTo() on its own thread. Returns its generation.
    quint64 noteChange() { return requested_.fetch_add(1) + 1; }
    // Puts the item's asset IDs on disk before this returns, in the journal
    // beside the list (a fraction of a write of the whole list, which
    // follows in the background and takes them along). False when they
    // may not be on disk; the caller then saves the list. Any thread but
    // the main one.
    bool recordAssetIDs(const std::shared_ptr<QVExportItem>& item);
    // While a hold lives, the background saves asked for wait: the last
    // release starts one write for all of them. For a caller that knows
    // more changes are about to come and would rather they shared a write;
    // it must release soon, whatever happens. save(), saveUpTo() and
    // flush() never wait for a hold. Any thread; off the main thread, the
    // last release writes the held saves itself before it returns.
    void holdBackgroundSaves();
    void releaseBackgroundSaves();
    // Writes any state not yet on disk and waits for it (quit, tests).
    bool flush();

    // Main thread. Null is ignored; otherwise inserted at 0, then saved.
    void addExportItem(const std::shared_ptr<QVExportItem>& item);
    // The same, with the write on the pool; `saved` runs on the main thread
    // once the list holding the item is on disk (or failed to be written).
    void addExportItem(const std::shared_ptr<QVExportItem>& item,
                       std::function<void(bool saved)> saved);
    // Removes by identity, then saves. The thumbnail file stays.
    void deleteExportItem(const std::shared_ptr<QVExportItem>& item);
    // Deletes every item's thumbnail file, empties the list, saves.
    void removeAll();

    qsizetype indexOfItem(const std::shared_ptr<QVExportItem>& item) const;  // -1: not found
    // First movie item with that original path (compared in NFC).
    std::shared_ptr<QVExportItem> exportItemWithOriginalPath(const QString& path) const;
    // First FCPXML-only item with that FCPXML path (compared in NFC).
    std::shared_ptr<QVExportItem> exportItemWithFCPXMLPath(const QString& path) const;

    QVExportItemList exportItems() const;  // a snapshot
    // Replaces the whole list without saving; the list then counts as
    // loaded (entries of unknown libraries are kept).
    void setExportItems(const QVExportItemList& items);
    qsizetype count() const;
    bool loaded() const { return loaded_.load(); }
    QString listFilePath() const;
    QString folder() const { return folder_; }

    // The list file's content for the current list (what save() writes).
    QByteArray serializedList() const;

    // ---- Test hooks ----
    // Called inside every write, after the snapshot was serialised and
    // before it goes to disk, with the generation the write covers. Lets a
    // test hold a write open while more saves are requested.
    void setWriteHook(std::function<void(quint64 generation)> hook);
    // Called on the reading thread before the list file is read.
    void setReadHook(std::function<void()> hook);
    quint64 writeCount() const { return writeCount_.load(); }
    // Save requests made so far (each save, requestSave and list change).
    quint64 requestedGeneration() const { return requested_.load(); }
    quint64 writtenGeneration() const;

  private:
    // A stored entry of an unknown library, written back before the item it
    // stood before (at the end when that item is gone).
    struct CarriedEntry {
        QByteArray xml;  // the element's markup, without surrounding white space
        std::weak_ptr<QVExportItem> before;
    };

    struct WriteResult {
        bool attempted = false;  // false: the list is not loaded yet
        bool ok = false;
        quint64 generation = 0;  // covered by a write that landed
    };
    bool writeUpTo(quint64 generation);
    bool isInThumbnailFolder(const QString& path) const;
    WriteResult writeSnapshot(const std::function<void(quint64)>& hook);
    QByteArray serialize(const QVExportItemList& items,
                         const QList<CarriedEntry>& carried = {}) const;
    void quarantine(const QString& reason);

    const QString folder_;
    mutable std::atomic<qsizetype> lastSize_{0};
    const QString thumbnailFolder_;

    mutable std::mutex listMutex_;
    QVExportItemList items_;
    QList<CarriedEntry> carried_;
    std::atomic<bool> loaded_{false};
    std::atomic<bool> deferred_{false};  // a save waited for the load
    std::function<void()> readHook_;

    // Guards writing_, written_, lastResult_ and the hooks. One write runs
    // at a time (writing_); callers whose generation it already covers
    // return without waiting for a later write.
    mutable std::mutex writeMutex_;
    std::condition_variable writeDone_;
    bool writing_ = false;
    std::atomic<quint64> requested_{0};
    quint64 written_ = 0;
    bool lastResult_ = true;
    std::function<void(quint64)> hook_;
    std::atomic<quint64> writeCount_{0};
    std::atomic<bool> asyncPending_{false};
    std::atomic<int> asyncRunning_{0};
    // The journal is emptied once a landed write covers the generation of
    // its last record (journaled_; 0: empty). Guards both.
    std::mutex journalMutex_;
    QVAssetIDJournal journal_;
    quint64 journaled_ = 0;
    void clearJournalUpTo(quint64 generation);
    // Guards holds_ and heldRequest_.
    std::mutex holdMutex_;
    int holds_ = 0;
    bool heldRequest_ = false;  // a background save waits for the last release
    void startBackgroundSave();
};
