#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include <QByteArray>
#include <QList>
#include <QString>

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

    // Reads the list file; see the implementation for the rules. False only
    // when the agent folder is missing and cannot be created.
    bool loadExportItems();
    // Writes the list now (or returns the result of a write that already
    // covered this call's state). Any thread.
    bool save();
    // Asks for a save on the background pool and returns at once. Any thread.
    void requestSave();
    // Writes any state not yet on disk and waits for it (quit, tests).
    bool flush();

    // Main thread. Null is ignored; otherwise inserted at 0, then saved.
    void addExportItem(const std::shared_ptr<QVExportItem>& item);
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
    // Replaces the whole list without saving.
    void setExportItems(const QVExportItemList& items);
    qsizetype count() const;
    bool loaded() const { return loaded_.load(); }
    QString listFilePath() const;
    QString folder() const { return folder_; }

    // The list file's content for the current list (what save() writes).
    QByteArray serializedList() const { return serialize(exportItems()); }

    // ---- Test hooks ----
    // Called inside every write, after the snapshot was serialised and
    // before it goes to disk, with the generation the write covers. Lets a
    // test hold a write open while more saves are requested.
    void setWriteHook(std::function<void(quint64 generation)> hook);
    quint64 writeCount() const { return writeCount_.load(); }
    // Save requests made so far (each save, requestSave and list change).
    quint64 requestedGeneration() const { return requested_.load(); }
    quint64 writtenGeneration() const;

  private:
    static QVExportItemList rebuildItems(const QVariantList& entries);
    bool writeUpTo(quint64 generation);
    bool isInThumbnailFolder(const QString& path) const;
    bool writeSnapshot();
    QByteArray serialize(const QVExportItemList& items) const;
    void quarantine(const QString& reason);

    const QString folder_;
    mutable std::atomic<qsizetype> lastSize_{0};
    const QString thumbnailFolder_;

    mutable std::mutex listMutex_;
    QVExportItemList items_;
    std::atomic<bool> loaded_{false};

    // Serialises writes; guards written_, lastResult_ and hook_.
    mutable std::mutex writeMutex_;
    std::atomic<quint64> requested_{0};
    quint64 written_ = 0;
    bool lastResult_ = true;
    std::function<void(quint64)> hook_;
    std::atomic<quint64> writeCount_{0};
    std::atomic<bool> asyncPending_{false};
    std::atomic<int> asyncRunning_{0};
};
