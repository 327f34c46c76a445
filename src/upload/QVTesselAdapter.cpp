#include "upload/QVTesselAdapter.h"

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
    qint64 (QVExportItem::*status)() const;
    void (QVExportItem::*setStatus)(qint64);
    QString (QVExportItem::*assetID)() const;
    void (QVExportItem::*setAssetID)(const QString&);
    QString (QVExportItem::*path)() const;
    const char* extension;
    bool xml;
};

const Side kMovie{&QVExportItem::exportStatus,
                  &QVExportItem::setExportStatus,
                  &QVExportItem::movieAssetID,
                  &QVExportItem::setMovieAssetID,
                  &QVExportItem::originalPath,
                  "mov",
                  false};
const Side kFcpXML{&QVExportItem::fcpXMLStatus,
                   &QVExportItem::setFcpXMLStatus,
                   &QVExportItem::fcpXMLAssetID,
                   &QVExportItem::setFcpXMLAssetID,
                   &QVExportItem::fcpXMLPath,
                   "fcpxml",
                   true};

// The file's asset was created and its ID saved, but the upload was not
// seen confirmed (the agent ended or the confirmation failed): creating it
// again would leave a second asset for the same file.
bool createdButUnconfirmed(const Side& side, const ItemPtr& item) {
    if (((*item).*side.assetID)().isEmpty()) return false;
    const qint64 status = ((*item).*side.status)();
    return status == QVExportStatusCreating || status == QVExportStatusUploading ||
           status == QVExportStatusUpdateFailed;
}

void confirm(const Side& side, const ItemPtr& item, const QString& assetID,
             const ItemBlock& updateBlock, const ItemBlock& completion) {
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, ((*item).*side.path)(), assetID,
        [side, item, updateBlock, completion](bool success, const QVErrorOpt&) {
            ((*item).*side.setStatus)(success ? QVExportStatusCompleted
                                              : QVExportStatusUpdateFailed);
            call(updateBlock, item);
            call(completion, item);
        });
}

void run(const Side& side, const ItemPtr& item, const ItemBlock& updateBlock,
         const ItemBlock& completion) {
    if (!item) {
        call(completion, item);
        return;
    }
    if (createdButUnconfirmed(side, item)) {
        const QString assetID = ((*item).*side.assetID)();
        ((*item).*side.setStatus)(QVExportStatusUploading);
        call(updateBlock, item);
        confirm(side, item, assetID, updateBlock, completion);
        return;
    }
    const QString path = ((*item).*side.path)();
    if (side.xml && (path.isEmpty() || !QFileInfo::exists(path))) {
        call(completion, item);
        return;
    }
    const auto metas = QVUploadManager::metaDataWithExportItem(item, QLatin1String(side.extension));
    if (!metas) {
        call(completion, item);
        return;
    }
    ((*item).*side.setStatus)(QVExportStatusCreating);
    call(updateBlock, item);
    QVUploadManager::sharedManager().createAssetWithLibrary(
        item->library(), item->project(), path, metas,
        [side, item, updateBlock, completion](bool success, const QString& assetID,
                                              const QVErrorOpt&) {
            if (!success) {
                ((*item).*side.setStatus)(QVExportStatusCreateFailed);
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
                ((*item).*side.setStatus)(QVExportStatusUploading);
            } else {
                ((*item).*side.setStatus)(QVExportStatusUploading);
                call(updateBlock, item);
            }
            // This answer runs on the main thread, where the update block
            // only queues its save. The confirmation leaves once the new
            // asset ID is on disk: an agent that dies after confirming must
            // find the ID at its next launch, or it registers the file twice.
            Dispatch::global([side, item, assetID, updateBlock, completion] {
                QVExportItemManager::sharedManager().save();
                confirm(side, item, assetID, updateBlock, completion);
            });
        });
}

}  // namespace

void QVTesselAdapter::updateWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                           ItemBlock updateBlock, ItemBlock completion) {
    Dispatch::global(
        [item, updateBlock = std::move(updateBlock), completion = std::move(completion)] {
            run(kMovie, item, updateBlock, completion);
        });
}

void QVTesselAdapter::updateFCPXMLWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                                 ItemBlock updateBlock, ItemBlock completion) {
    Dispatch::global(
        [item, updateBlock = std::move(updateBlock), completion = std::move(completion)] {
            run(kFcpXML, item, updateBlock, completion);
        });
}
