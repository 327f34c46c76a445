// The registration side of the share pipeline: the editor's finish step,
// the thumbnail, the adapter's runs, resumption at launch and retries.

#include <atomic>

#include <QDir>
#include <QFileInfo>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/Thumbnail.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"
#include "share/QVExportProcessor.h"
#include "share/QVShareInteraction.h"
#include "upload/QVTesselAdapter.h"
#include "upload/QVUploadManager.h"

namespace {

using ItemPtr = QVExportProcessor::ItemPtr;
using Rows = std::weak_ptr<QVExportProcessor>;

constexpr int kPictureWaitMs = 2000;

bool creatingWithoutID(qint64 status, const QString& assetID) {
    return status == QVExportStatusCreating && assetID.isEmpty();
}

bool underway(qint64 status) {
    return status == QVExportStatusCreating || status == QVExportStatusUploading ||
           status == QVExportStatusCompleted;
}

// Saves from the main thread go to the background pool, so the window never
// waits for the disk; anywhere else the caller's thread writes.
void saveList() {
    auto& manager = QVExportItemManager::sharedManager();
    if (Dispatch::isMainThread())
        manager.requestSave();
    else
        manager.save();
}

ItemPtr itemForPath(const QString& path) {
    auto& manager = QVExportItemManager::sharedManager();
    if (QFileInfo(path).suffix().toLower() == QLatin1String("fcpxml"))
        return manager.exportItemWithFCPXMLPath(path);
    return manager.exportItemWithOriginalPath(path);
}

}  // namespace

// ---- The editor's finish step ----

void QVExportProcessor::finishExport(const QStringList& paths, const Rows& rows) {
    // The editor does not promise an order: when it names the description
    // before the movie, the description finds no movie item, and the movie
    // that follows must still finish the export.
    ItemPtr item;
    for (const QString& path : paths) {
        item = itemForPath(path);
        if (item) break;
    }
    if (!item) {
        QVLog::log(
            QStringLiteral("Unknown export item :(%1)").arg(paths.join(QStringLiteral(", "))));
        return;
    }
    // The same files announced again (or announced while the launch has
    // already taken the item up) must not make a second asset.
    const bool movie = !item->fcpXMLOnly() && !underway(item->exportStatus());
    const bool description = !underway(item->fcpXMLStatus());
    if (!movie && !description) {
        QVLog::log(QStringLiteral("Export item already registered :%1").arg(item->name()));
        return;
    }
    QVUploadManager::sharedManager().syncTessel();
    refreshProjectOfItem(item);
    const auto block = refreshAndSaveBlock(rows, item);
    if (!movie) {
        QVTesselAdapter::updateFCPXMLWithExportItem(item, block, block);
        return;
    }
    // The picture waits until the share's files are registered: decoding a
    // movie beside the registration slows the service's answers on a
    // machine with few cores, even at the lowest priority. A service slow
    // to answer keeps it waiting no longer than kPictureWaitMs.
    auto pending = std::make_shared<std::atomic<int>>(description ? 2 : 1);
    auto started = std::make_shared<std::atomic<bool>>(false);
    auto picture = [item, rows, started] {
        if (!started->exchange(true)) makeThumbnailForItem(item, rows, true);
    };
    const ItemBlock registered = [block, pending, picture](const ItemPtr& done) {
        if (block) block(done);
        if (pending->fetch_sub(1) == 1) picture();
    };
    Dispatch::after(kPictureWaitMs, picture, Dispatch::Queue::Global);
    QVTesselAdapter::updateWithExportItem(item, block, registered);
    if (description) QVTesselAdapter::updateFCPXMLWithExportItem(item, block, registered);
}

QVExportProcessor::ItemBlock QVExportProcessor::refreshAndSaveBlock(const Rows& rows,
                                                                    const ItemPtr& uploading) {
    // Groups reach the project above them only through weak references,
    // and a reload of the library replaces the whole tree: the blocks keep
    // the item's tree alive until the adapter lets go of them, so the asset
    // still names its project and group.
    std::shared_ptr<QVProject> tree;
    if (uploading) {
        for (auto node = uploading->project(); node; node = node->parent()) tree = node;
        if (auto project = uploading->project())
            if (auto root = project->rootProject()) tree = root;
    }
    // The statuses a registration moves through are derived again at
    // launch, so none needs a write of its own: they go with a background
    // save, shared with the other file of the share. A file still being
    // created without its asset ID is not even worth that one: the answer
    // always follows with a save, and a write now would only take a core
    // from the registration. The adapter itself puts a new asset ID on
    // disk before confirming it.
    return [rows, tree](const ItemPtr& item) {
        refreshRow(rows, item);
        auto& list = QVExportItemManager::sharedManager();
        if (item && (creatingWithoutID(item->exportStatus(), item->movieAssetID()) ||
                     creatingWithoutID(item->fcpXMLStatus(), item->fcpXMLAssetID())))
            list.noteChange();
        else
            list.requestSave();
    };
}

void QVExportProcessor::makeThumbnailForItem(const ItemPtr& item, const Rows& rows, bool logging) {
    if (!item) return;
    Thumbnail::thumbnailWithPath(item->originalPath(), [item, rows, logging](const QImage& image) {
        if (image.isNull()) {
            if (logging) QVLog::log(QStringLiteral("Can't extract thumbnail image."));
            return;
        }
        const QString folder = QVTesselUtil::relaydockThumbnailFolder();
        QDir().mkpath(folder);
        const QString path =
            QDir(folder).filePath(QStringLiteral("%1.jpg").arg(QVTesselUtil::UUIDString()));
        if (!Thumbnail::saveJPEGWithPath(image, path) && logging)
            QVLog::log(QStringLiteral("Can't write thumbnail file. : %1").arg(path));
        item->setThumbnailPath(path);
        // Thumbnails are made at a low priority, and a write of their own
        // here would take a core from a registration under way. A path
        // lost with the agent only means a new picture at the next resume.
        QVExportItemManager::sharedManager().requestSave();
        refreshRow(rows, item);
    });
}

void QVExportProcessor::refreshProjectOfItem(const ItemPtr& item) {
    if (!item) return;
    const auto library = item->library();
    const QString projectID = item->projectID();
    if (!library || projectID.isEmpty()) return;
    if (auto current = library->projectWithID(projectID); current && current != item->project())
        item->setProject(current);
}

void QVExportProcessor::importMovieForExportItem(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    // An item resumed again and again keeps the picture it already has
    // instead of leaving one more file behind at every launch.
    const QString thumbnail = item->thumbnailPath();
    if (thumbnail.isEmpty() || !QFileInfo::exists(thumbnail))
        makeThumbnailForItem(item, weakSelf(), false);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateWithExportItem(item, block, block);
}

void QVExportProcessor::importFCPXMLForExportItem(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateFCPXMLWithExportItem(item, block, block);
}

// ---- Launch ----

void QVExportProcessor::loadExportItems() {
    auto weak = weakSelf();
    environment_.after(environment_.launchDelayMs, [weak] {
        if (!weak.lock()) return;
        // The list is read and its items are built off the main thread,
        // which keeps answering the editor, then taken in at once. The
        // default destination follows: its reload of the library's tree
        // must not empty the tree while the items look their nodes up.
        QVExportItemManager::sharedManager().loadExportItemsInBackground(
            [weak](bool ok, const QVExportItemList& storedItems) {
                auto self = weak.lock();
                if (!ok) {
                    if (self) {
                        self->alert(Localization::localized("exportitems.cant.load"));
                        self->environment_.terminate();
                    }
                    return;
                }
                QVLog::log(QStringLiteral("Export list loaded: %1 items")
                               .arg(QVExportItemManager::sharedManager().count()));
                if (!self) return;
                // Shares taken meanwhile are under way already.
                self->checkExportItems(storedItems);
                self->destination_.load();
                emit self->listLoaded();
            });
    });
}

void QVExportProcessor::checkExportItems() {
    checkExportItems(QVExportItemManager::sharedManager().exportItems());
}

void QVExportProcessor::checkExportItems(const QVExportItemList& items) {
    for (const auto& item : items) {
        const qint64 status = item->status();
        // A movie registered before the agent ended can leave its
        // description half-way; only a cancelled export is left alone.
        const bool descriptionUnfinished = !item->fcpXMLOnly() &&
                                           status == QVExportStatusCompleted &&
                                           item->fcpXMLStatus() != QVExportStatusCompleted;
        if ((status == QVExportStatusCompleted && !descriptionUnfinished) ||
            status == QVExportStatusCanceled)
            continue;
        refreshProjectOfItem(item);
        // Items read before their library's projects arrived are resumed
        // when they do.
        if (!item->project() && item->library()) {
            pendingResume_.append(item);
            continue;
        }
        resumeItem(item);
    }
}

void QVExportProcessor::resumeItem(const ItemPtr& item) {
    // A file the editor had not finished when the agent ended goes back to
    // the wait a new share gets: registered now, it could be a truncated
    // movie or one that never comes. Registrations that had begun resume.
    if (!item->fcpXMLOnly()) {
        const qint64 movie = item->exportStatus();
        if (QVExportItem::unannounced(movie))
            waitForExport(item, true);
        else if (movie != QVExportStatusCompleted)
            importMovieForExportItem(item);
    }
    // A description already registered is not registered a second time
    // because its movie still has to be.
    const qint64 description = item->fcpXMLStatus();
    if (description == QVExportStatusCompleted) return;
    if (!QVExportItem::unannounced(description))
        importFCPXMLForExportItem(item);
    else if (item->fcpXMLOnly())
        waitForExport(item, true);
    else
        waitForDescription(item);
}

void QVExportProcessor::libraryProjectsLoaded(const Notification& notification) {
    for (const auto& item : QVExportItemManager::sharedManager().exportItems()) {
        if (item->project()) continue;
        const auto library = item->library();
        if (!library) continue;
        const auto project = library->projectWithID(item->projectID());
        item->setProject(project);
        if (project) item->setProjectName(project->name());
    }
    const auto* library = std::any_cast<std::shared_ptr<QVLibrary>>(&notification.object);
    destination_.projectsLoaded(library ? *library : nullptr);
    resumePendingItems();
    emit projectsLoaded();
}

void QVExportProcessor::resumePendingItems() {
    QList<ItemPtr> waiting;
    for (const auto& item : std::as_const(pendingResume_)) {
        refreshProjectOfItem(item);
        if (item->project()) {
            item->setProjectName(item->project()->name());
            resumeItem(item);
        } else {
            waiting.append(item);
        }
    }
    pendingResume_ = waiting;
}

void QVExportProcessor::reloadLibraries() {
    for (const auto& library : QVLibraryManager::sharedManager().libraries()) {
        QVLibraryManager::sharedManager().reloadLibrary(library, [library](bool,
                                                                           const QVErrorOpt&) {
            library->loadProjectsWithCompletion([library](const QVProjectList&, const QVErrorOpt&) {
                Dispatch::main([library] {
                    NotificationCenter::defaultCenter().post(
                        QStringLiteral("NOTI_LIBRARY_PROJECTS_LOADED"), library);
                });
            });
        });
    }
}

// ---- Retry ----

bool QVExportProcessor::retryExportItem(const ItemPtr& item) {
    if (!item) return false;
    // An FCPXML-only item has no movie: its row shows the description, and
    // the retry works on that.
    const bool description = item->fcpXMLOnly();
    switch (item->status()) {
        case QVExportStatusCreateFailed:
            if (description)
                retryFCPXMLExportForCreating(item);
            else
                retryExportForCreating(item);
            return true;
        case QVExportStatusUpdateFailed:
            if (description)
                retryFCPXMLExportForUpdating(item);
            else
                retryExportForUpdating(item);
            return true;
        default:
            return false;
    }
}

void QVExportProcessor::retryExportForCreating(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateWithExportItem(item, block, block);
}

void QVExportProcessor::retryExportForUpdating(const ItemPtr& item) {
    if (!item) return;
    // The retry confirms the movie; assetID names whichever file's asset was
    // created last, and confirming the description's asset in its place
    // would show the item done while the movie's asset stays unconfirmed.
    const QString assetID = item->movieAssetID().isEmpty() ? item->assetID() : item->movieAssetID();
    if (assetID.isEmpty()) return;
    auto weak = weakSelf();
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, item->originalPath(), assetID, [weak, item](bool success, const QVErrorOpt&) {
            item->setExportStatus(success ? QVExportStatusCompleted : QVExportStatusUpdateFailed);
            refreshRow(weak, item);
            saveList();
        });
}

void QVExportProcessor::retryFCPXMLExportForCreating(const ItemPtr& item) {
    importFCPXMLForExportItem(item);
}

void QVExportProcessor::retryFCPXMLExportForUpdating(const ItemPtr& item) {
    if (!item) return;
    // Lists written before each file kept its own asset hold the
    // description's asset in assetID, the only one such an item has.
    const QString assetID =
        item->fcpXMLAssetID().isEmpty() ? item->assetID() : item->fcpXMLAssetID();
    if (assetID.isEmpty()) return;
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, item->fcpXMLPath(), assetID, [item, block](bool success, const QVErrorOpt&) {
            item->setFcpXMLStatus(success ? QVExportStatusCompleted : QVExportStatusUpdateFailed);
            block(item);
        });
}
