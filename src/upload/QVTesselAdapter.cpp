#include "upload/QVTesselAdapter.h"

#include <QFileInfo>

#include "export/QVExportItem.h"
#include "platform/Dispatch.h"
#include "upload/QVUploadManager.h"

namespace {

using ItemBlock = QVTesselAdapter::ItemBlock;
using ItemPtr = std::shared_ptr<QVExportItem>;

void call(const ItemBlock& block, const ItemPtr& item) {
    if (block) block(item);
}

// The status field one operation moves along.
struct Side {
    void (QVExportItem::*setStatus)(qint64);
    QString (QVExportItem::*path)() const;
    const char* extension;
    bool xml;
};

const Side kMovie{&QVExportItem::setExportStatus, &QVExportItem::originalPath, "mov", false};
const Side kFcpXML{&QVExportItem::setFcpXMLStatus, &QVExportItem::fcpXMLPath, "fcpxml", true};

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
            if (side.xml) {
                // The FCPXML side reports the new asset ID while its status
                // still says "creating".
                call(updateBlock, item);
                ((*item).*side.setStatus)(QVExportStatusUploading);
            } else {
                ((*item).*side.setStatus)(QVExportStatusUploading);
                call(updateBlock, item);
            }
            confirm(side, item, assetID, updateBlock, completion);
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
