#include "upload/QVTesselAdapter.h"

#include <mutex>
#include <set>
#include <utility>

#include <QFileInfo>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "platform/Dispatch.h"
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

bool awaitingTheEditor(qint64 status) {
    return status == QVExportStatusNone || status == QVExportStatusWaiting ||
           status == QVExportStatusExporting;
}

// Moves the file to "creating" from the status the run was asked for. A file
// the editor had not finished may meanwhile have been seen appearing (the
// detector polls on its own), which is no reason to drop the editor's
// announcement: any status still waiting for the editor will do. Anything
// else (cancelled, or taken up by another run) is never written over.
bool claim(const Side& side, const ItemPtr& item, qint64 asked) {
    if (!awaitingTheEditor(asked))
        return item->advanceStatus(side.file, asked, QVExportStatusCreating);
    for (qint64 now = item->statusOf(side.file); awaitingTheEditor(now);
         now = item->statusOf(side.file))
        if (item->advanceStatus(side.file, now, QVExportStatusCreating)) return true;
    return false;
}

void confirm(const Side& side, const ItemPtr& item, const QString& assetID,
             const ItemBlock& updateBlock, const ItemBlock& completion) {
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, ((*item).*side.path)(), assetID,
        [side, item, updateBlock, completion](bool success, const QVErrorOpt&) {
            item->advanceStatus(side.file, QVExportStatusUploading,
                                success ? QVExportStatusCompleted : QVExportStatusUpdateFailed);
            call(updateBlock, item);
            call(completion, item);
        });
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
    QVUploadManager::sharedManager().createAssetWithLibrary(
        item->library(), item->project(), path, metas,
        [side, item, updateBlock, completion](bool success, const QString& assetID,
                                              const QVErrorOpt&) {
            if (!success) {
                item->advanceStatus(side.file, QVExportStatusCreating, QVExportStatusCreateFailed);
                call(updateBlock, item);
                call(completion, item);
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
            // The confirmation leaves once the new asset ID is on disk: an
            // agent that dies after confirming must find the ID at its next
            // launch, or it registers the file twice. The wait is for any
            // write that holds the ID, so the other file of the share,
            // answered meanwhile, rides on the same write.
            auto& list = QVExportItemManager::sharedManager();
            const quint64 generation = list.requestSave();
            Dispatch::global([side, item, assetID, updateBlock, completion, generation] {
                QVExportItemManager::sharedManager().saveUpTo(generation);
                confirm(side, item, assetID, updateBlock, completion);
            });
        });
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
