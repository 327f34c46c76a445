#include "upload/QVTesselAdapter.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include <QFileInfo>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"
#include "upload/QVUploadManager.h"

namespace {

using ItemBlock = QVTesselAdapter::ItemBlock;
using ItemPtr = std::shared_ptr<QVExportItem>;

void call(const ItemBlock& block, const ItemPtr& item) {
    if (block) block(item);
}

// The status field and the asset one operation moves along.
struct Side {
    QVExportItem::File file;
    QString (QVExportItem::*assetID)() const;
    void (QVExportItem::*setAssetID)(const QString&);
    QString (QVExportItem::*path)() const;
    const char* extension;
    bool xml;
};

const Side kMovie{QVExportItem::File::Movie,
                  &QVExportItem::movieAssetID,
                  &QVExportItem::setMovieAssetID,
                  &QVExportItem::originalPath,
                  "mov",
                  false};
const Side kFcpXML{QVExportItem::File::FCPXML,
                   &QVExportItem::fcpXMLAssetID,
                   &QVExportItem::setFcpXMLAssetID,
                   &QVExportItem::fcpXMLPath,
                   "fcpxml",
                   true};

// The file's asset was created and its ID saved, but the upload was not
// seen confirmed (the agent ended or the confirmation failed): creating it
// again would leave a second asset for the same file.
bool createdButUnconfirmed(const Side& side, const ItemPtr& item, qint64 status) {
    if (((*item).*side.assetID)().isEmpty()) return false;
    return status == QVExportStatusCreating || status == QVExportStatusUploading ||
           status == QVExportStatusUpdateFailed;
}

// Moves the file to "creating" from the status the run was asked for. A file
// the editor had not finished may meanwhile have been seen appearing (the
// detector polls on its own), which is no reason to drop the editor's
// announcement: any status still waiting for the editor will do. Anything
// else (cancelled, or taken up by another run) is never written over.
bool claim(const Side& side, const ItemPtr& item, qint64 asked) {
    if (!QVExportItem::unannounced(asked))
        return item->advanceStatus(side.file, asked, QVExportStatusCreating);
    for (qint64 now = item->statusOf(side.file); QVExportItem::unannounced(now);
         now = item->statusOf(side.file))
        if (item->advanceStatus(side.file, now, QVExportStatusCreating)) return true;
    return false;
}

// The files being registered now. A second run for the same file (the
// editor's announcement beside a launch's resumption) ends at once instead
// of making a second asset; runs hold their item, so an address is not
// reused while listed.
std::mutex gRunningMutex;
std::set<std::pair<const QVExportItem*, QVExportItem::File>> gRunning;

bool enter(const Side& side, const ItemPtr& item) {
    std::lock_guard lock(gRunningMutex);
    return gRunning.insert({item.get(), side.file}).second;
}

void leave(const Side& side, const ItemPtr& item) {
    std::lock_guard lock(gRunningMutex);
    gRunning.erase({item.get(), side.file});
}

// Both files of a share are registered side by side, and their answers
// come a few milliseconds apart (the service commits one at a time), while
// a write of a long list takes longer than that, and a core while it
// serialises. So from an answer for one file of an item while a request of
// the item is still at the service, the list's background saves are held
// until the item has nothing left there: one write then takes the whole
// share along, after the registration instead of in its way. Nothing a
// user waits for waits on the hold: a new asset ID goes to disk on its
// own, in the journal beside the list, before its confirmation leaves. The
// time limit only keeps a service that does not answer from holding the
// list's writes back for long.
struct Pair {
    int atService = 0;  // requests of the item's files sent and not answered
    quint64 hold = 0;   // the hold on the list's saves under way (0: none)
};

// Under gRunningMutex. Keyed by address: every entry has a run or a timer
// holding its item.
std::map<const QVExportItem*, Pair> gPairs;
quint64 gLastHold = 0;
std::atomic<int> gPairWaitMs{-1};

int holdMilliseconds() {
    const int fixed = gPairWaitMs.load();
    return fixed >= 0 ? fixed : 250;
}

void sent(const ItemPtr& item) {
    std::lock_guard lock(gRunningMutex);
    ++gPairs[item.get()].atService;
}

void letGo(const ItemPtr& item, quint64 hold);

// An answer arrived for one of the item's files, before its blocks run:
// while another request of the item is at the service, the saves they
// ask for wait.
void answering(const ItemPtr& item) {
    quint64 hold = 0;
    {
        std::lock_guard lock(gRunningMutex);
        Pair& pair = gPairs[item.get()];
        if (--pair.atService <= 0 || pair.hold != 0) return;
        hold = pair.hold = ++gLastHold;
    }
    QVExportItemManager::sharedManager().holdBackgroundSaves();
    Dispatch::after(
        holdMilliseconds(), [item, hold] { letGo(item, hold); }, Dispatch::Queue::Global);
}

// After the answer's blocks. A confirmation leaves at once, but only once
// its asset ID is on disk: an agent that dies after confirming must find
// the ID at its next launch, or it registers the file twice.
void answered(const ItemPtr& item, std::function<void()> confirmation) {
    bool done = false;
    {
        std::lock_guard lock(gRunningMutex);
        Pair& pair = gPairs[item.get()];
        if (confirmation) ++pair.atService;
        done = pair.atService <= 0;
    }
    if (confirmation) {
        const quint64 generation = QVExportItemManager::sharedManager().noteChange();
        auto journalThenConfirm = [item, generation, confirmation = std::move(confirmation)] {
            // The journal takes the ID in a fraction of a whole write; when
            // it cannot, the list itself is written here.
            auto& list = QVExportItemManager::sharedManager();
            if (!list.recordAssetIDs(item)) list.saveUpTo(generation);
            confirmation();
        };
        // Answers arrive on the pool, where the journal's write may wait
        // for the disk; on the main thread it may not.
        if (Dispatch::isMainThread())
            Dispatch::global(std::move(journalThenConfirm));
        else
            journalThenConfirm();
    }
    if (done) letGo(item, 0);
}

// Ends the item's hold (only `hold` when not 0: a time limit must not end
// a later hold), and forgets the item once nothing of it is at the service.
void letGo(const ItemPtr& item, quint64 hold) {
    bool held = false;
    {
        std::lock_guard lock(gRunningMutex);
        const auto found = gPairs.find(item.get());
        if (found == gPairs.end() || (hold != 0 && found->second.hold != hold)) return;
        Pair& pair = found->second;
        held = pair.hold != 0;
        pair.hold = 0;
        if (pair.atService <= 0) gPairs.erase(found);
    }
    if (held) QVExportItemManager::sharedManager().releaseBackgroundSaves();
}

void confirm(const Side& side, const ItemPtr& item, const QString& assetID,
             const ItemBlock& updateBlock, const ItemBlock& completion) {
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, ((*item).*side.path)(), assetID,
        [side, item, updateBlock, completion](bool success, const QVErrorOpt&) {
            answering(item);
            const bool registered =
                item->advanceStatus(side.file, QVExportStatusUploading,
                                    success ? QVExportStatusCompleted : QVExportStatusUpdateFailed);
            call(updateBlock, item);
            if (registered && success)
                QVLog::log(
                    QStringLiteral("Registered %1: %2")
                        .arg(QLatin1String(side.xml ? "description" : "movie"), item->name()));
            call(completion, item);
            answered(item, {});
        },
        Dispatch::Queue::Global);
}

// `asked` is the status the item had when its registration was asked for.
// Every move starts from the status this run expects, so a status moved
// meanwhile (a cancelled export) is never written over.
void run(const Side& side, const ItemPtr& item, qint64 asked, const ItemBlock& updateBlock,
         const ItemBlock& whenDone) {
    if (!item || !enter(side, item)) {
        call(whenDone, item);
        return;
    }
    const ItemBlock completion = [side, whenDone](const ItemPtr& done) {
        leave(side, done);
        call(whenDone, done);
    };
    if (createdButUnconfirmed(side, item, asked)) {
        const QString assetID = ((*item).*side.assetID)();
        if (!item->advanceStatus(side.file, asked, QVExportStatusUploading)) {
            call(completion, item);
            return;
        }
        call(updateBlock, item);
        sent(item);
        confirm(side, item, assetID, updateBlock, completion);
        return;
    }
    // A file that is not there cannot be registered; whether it is still
    // coming or was abandoned is the waits' business, not a failure here.
    const QString path = ((*item).*side.path)();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        call(completion, item);
        return;
    }
    const auto metas = QVUploadManager::metaDataWithExportItem(item, QLatin1String(side.extension));
    if (!metas || !claim(side, item, asked)) {
        call(completion, item);
        return;
    }
    call(updateBlock, item);
    sent(item);
    QVUploadManager::sharedManager().createAssetWithLibrary(
        item->library(), item->project(), path, metas,
        [side, item, updateBlock, completion](bool success, const QString& assetID,
                                              const QVErrorOpt&) {
            answering(item);
            if (!success) {
                item->advanceStatus(side.file, QVExportStatusCreating, QVExportStatusCreateFailed);
                call(updateBlock, item);
                call(completion, item);
                answered(item, {});
                return;
            }
            item->setAssetID(assetID);
            ((*item).*side.setAssetID)(assetID);
            if (side.xml) {
                // The FCPXML side reports the new asset ID while its status
                // still says "creating".
                call(updateBlock, item);
                item->advanceStatus(side.file, QVExportStatusCreating, QVExportStatusUploading);
            } else {
                item->advanceStatus(side.file, QVExportStatusCreating, QVExportStatusUploading);
                call(updateBlock, item);
            }
            answered(item, [side, item, assetID, updateBlock, completion] {
                confirm(side, item, assetID, updateBlock, completion);
            });
        },
        Dispatch::Queue::Global);
}

void start(const Side& side, const ItemPtr& item, ItemBlock updateBlock, ItemBlock completion) {
    const qint64 asked = item ? item->statusOf(side.file) : QVExportStatusNone;
    Dispatch::global(
        [&side, item, asked, updateBlock = std::move(updateBlock),
         completion = std::move(completion)] { run(side, item, asked, updateBlock, completion); });
}

}  // namespace

void QVTesselAdapter::updateWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                           ItemBlock updateBlock, ItemBlock completion) {
    start(kMovie, item, std::move(updateBlock), std::move(completion));
}

void QVTesselAdapter::updateFCPXMLWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                                 ItemBlock updateBlock, ItemBlock completion) {
    start(kFcpXML, item, std::move(updateBlock), std::move(completion));
}

void QVTesselAdapter::setPairWaitMilliseconds(int ms) {
    gPairWaitMs.store(ms);
}
