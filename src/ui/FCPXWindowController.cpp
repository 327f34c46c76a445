#include "ui/FCPXWindowController.h"

#include <atomic>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "export/QVUploadLocation.h"
#include "export/Thumbnail.h"
#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"
#include "ui/QVAlertBox.h"
#include "ui/QVTesselImportPanel.h"
#include "upload/QVTesselAdapter.h"
#include "upload/QVUploadManager.h"

namespace {

// The editor gets this long to start writing before the wait is given up.
constexpr double kDetectWaitSeconds = 600;

std::atomic<int> launchDelayMs{1000};

std::function<void()>& terminateHandler() {
    static std::function<void()> handler;
    return handler;
}

void showAlert(const char* key) {
    QVAlertBox::showOKAlertBoxWithMessage(Localization::localized(key));
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

bool creatingWithoutID(qint64 status, const QString& assetID) {
    return status == QVExportStatusCreating && assetID.isEmpty();
}

// Row refresh through a controller that may be gone; the controller is only
// touched on the main thread, where it lives.
void refreshRow(const std::weak_ptr<FCPXWindowController>& controller,
                const std::shared_ptr<QVExportItem>& item) {
    if (!item || QVExportItemManager::sharedManager().indexOfItem(item) < 0) return;
    Dispatch::main([controller, item] {
        if (auto c = controller.lock()) c->updateCellWithItem(item);
    });
}

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

}  // namespace

FCPXWindowController::FCPXWindowController(const std::shared_ptr<FCPXDocument>& document)
    : fcpXDocument_(document) {
    buildWindow();
    awakeFromNib();
}

FCPXWindowController::~FCPXWindowController() {
    if (projectsLoadedToken_)
        NotificationCenter::defaultCenter().removeObserver(projectsLoadedToken_);
    if (resumeToken_) NotificationCenter::defaultCenter().removeObserver(resumeToken_);
    if (window_) delete window_.data();
}

int FCPXWindowController::launchDelay() {
    return launchDelayMs.load();
}

void FCPXWindowController::setLaunchDelay(int milliseconds) {
    launchDelayMs.store(std::max(0, milliseconds));
}

void FCPXWindowController::setTerminateHandler(std::function<void()> handler) {
    terminateHandler() = std::move(handler);
}

void FCPXWindowController::terminateApplication() {
    if (terminateHandler())
        terminateHandler()();
    else
        QCoreApplication::exit(0);
}

// ---- Choosing the destination ----

void FCPXWindowController::newAssetWithName(const QString& name,
                                            const std::optional<QVariantMap>& metaData,
                                            const std::optional<QVariantMap>& dataOptions,
                                            AssetCompletion completion) {
    if (!checkUseDefaultLibraryButton_ || !checkUseDefaultLibraryButton_->isChecked())
        return uploadForSelectLibraryWithName(name, metaData, dataOptions, std::move(completion));
    // The credentials of a record a registry reload replaced are not kept.
    refindDefaultLibrary();
    auto& preferences = QVPreferenceManager::sharedManager();
    // A share can come while the default library's tree is being reloaded
    // and the default node is not yet taken from the new tree.
    if (defaultLibrary_ && !defaultProject_)
        defaultProject_ = defaultLibrary_->projectWithID(preferences.defaultProjectID());
    const char* problem = nullptr;
    if (!defaultLibrary_ || !defaultProject_) {
        problem = "defaultlibrary.not.selected";
    } else if (preferences.storeTo()) {
        const QString storeToPath = preferences.storeToPath();
        if (storeToPath.isNull())
            problem = "defaultlibrary.not.select.external.location";
        else if (!QFileInfo::exists(storeToPath))
            problem = "defaultlibrary.not.select.external.location.not.exist";
    }
    if (problem) {
        // The alert does not end the share: the user picks the destination.
        showAlert(problem);
        return uploadForSelectLibraryWithName(name, metaData, dataOptions, std::move(completion));
    }
    useDefaultDestination(name, metaData, dataOptions, std::move(completion));
}

void FCPXWindowController::useDefaultDestination(const QString& name,
                                                 const std::optional<QVariantMap>& metaData,
                                                 const std::optional<QVariantMap>& dataOptions,
                                                 AssetCompletion completion) {
    // The destination asked about is the one the answer is used for, even if
    // the user picks another default meanwhile.
    const auto library = defaultLibrary_;
    const auto project = defaultProject_;
    auto weak = weakSelf();
    QVUploadManager::sharedManager().uploadLocationWithLibrary(
        library,
        [weak, library, project, name, metaData, dataOptions, completion = std::move(completion)](
            bool success, const std::shared_ptr<QVUploadLocation>& location,
            const QVErrorOpt& error) {
            Dispatch::main([weak, library, project, name, metaData, dataOptions, completion,
                            success, location, error] {
                auto self = weak.lock();
                if (!self) {
                    completion(nullptr);
                    return;
                }
                if (success && location) {
                    self->defaultUploadLocation_ = location;
                    auto& preferences = QVPreferenceManager::sharedManager();
                    const bool storeTo = preferences.storeTo();
                    self->createFCPXAssetWithName(
                        QVTesselUtil::sanitizeFileNameString(name), metaData, dataOptions, library,
                        project, storeTo ? QVImportTypeStoreToPath : QVImportTypeInsideLibrary,
                        storeTo ? preferences.storeToPath() : QString(), location,
                        preferences.exportFCPXMLOnly(), completion);
                } else {
                    self->defaultUploadLocation_.reset();
                    QVAlertBox::showOKAlertBoxWithMessage(Localization::localized(
                        "uploadlocation.cant.get",
                        {error ? error->localizedDescription() : QString()}));
                    completion(nullptr);
                }
            });
            if (error)
                QVLog::log(QStringLiteral("uploadLocationWithLibrary Error : %1")
                               .arg(error->localizedDescription()));
        });
}

void FCPXWindowController::uploadForSelectLibraryWithName(
    const QString& name, const std::optional<QVariantMap>& metaData,
    const std::optional<QVariantMap>& dataOptions, AssetCompletion completion) {
    if (importPanel_) {
        // One sheet at a time: a second share while the user is still
        // choosing cannot be asked about and is cancelled.
        completion(nullptr);
        return;
    }
    auto* panel = new QVTesselImportPanel(this);
    importPanel_ = panel;
    panel->setName(name);
    auto weak = weakSelf();
    QPointer<QVTesselImportPanel> guard(panel);
    auto ended = [weak, guard, metaData, dataOptions, completion](qint64 returnCode) {
        auto self = weak.lock();
        QVTesselImportPanel* p = guard.data();
        if (!self || !p || returnCode != 1) {
            completion(nullptr);
        } else {
            auto& preferences = QVPreferenceManager::sharedManager();
            self->createFCPXAssetWithName(
                QVTesselUtil::sanitizeFileNameString(p->name()), metaData, dataOptions,
                p->selectedLibrary(), p->selectedProject(),
                preferences.storeTo() ? QVImportTypeStoreToPath : QVImportTypeInsideLibrary,
                preferences.storeToPath(), p->folderLocation(), p->exportFCPXMLOnly(), completion);
        }
        if (p) p->deleteLater();
    };
    if (!panel->beginSheet(window(), ended)) {
        panel->deleteLater();
        completion(nullptr);
    }
}

// ---- Asset and export item ----

void FCPXWindowController::createFCPXAssetWithName(
    const QString& name, const std::optional<QVariantMap>& metaData,
    const std::optional<QVariantMap>& dataOptions, const std::shared_ptr<QVLibrary>& library,
    const std::shared_ptr<QVProject>& project, qint64 importType, const QString& storeToPath,
    const std::shared_ptr<QVUploadLocation>& locationInfo, bool exportFCPXMLOnly,
    AssetCompletion completion) {
    QString folder;
    if (importType == QVImportTypeInsideLibrary)
        folder = locationInfo ? locationInfo->uploadPathWithLibrary(library) : QString();
    else
        folder = storeToPath;
    if (!exists(folder)) {
        showAlert("defaultlibrary.not.exist.folder");
        completion(nullptr);
        return;
    }

    // The node chosen may belong to a tree a reload has replaced since.
    std::shared_ptr<QVProject> node = project;
    if (library && project)
        if (auto current = library->projectWithID(project->id())) node = current;

    auto asset = std::make_shared<FCPXAsset>(name, QUrl::fromLocalFile(folder));
    asset->setMetadata(metaData.value_or(QVariantMap()));
    asset->setWantFCPXMLOnly(exportFCPXMLOnly);
    const QString setsKey = QStringLiteral("availableMetadataSets");
    if (dataOptions && dataOptions->contains(setsKey)) {
        QVariantMap options = *dataOptions;
        options.insert(QStringLiteral("metadataSet"), dataOptions->value(setsKey));
        asset->setDataOptions(options);
    }

    const auto item = QVExportItem::exportItemWithName(name, metaData, library, node, importType,
                                                       locationInfo, storeToPath, exportFCPXMLOnly);
    // The item is on disk before the editor learns where to write: once
    // answered, the editor exports whether or not the agent is still there,
    // and the next launch can only resume a share the list remembers.
    if (item) {
        QVExportItemManager::sharedManager().addExportItem(item);
        reloadTable();
        selectRow(0);
    }
    completion(asset);
    waitForExport(item);
}

// ---- Waiting for the export ----

namespace {

using File = QVExportItem::File;

// The editor has not announced the file as finished: it has not appeared,
// or it is being written.
bool unannounced(qint64 status) {
    return status == QVExportStatusNone || status == QVExportStatusWaiting ||
           status == QVExportStatusExporting;
}

void saveAndRefresh(const std::weak_ptr<FCPXWindowController>& controller,
                    const std::shared_ptr<QVExportItem>& item) {
    QVExportItemManager::sharedManager().save();
    refreshRow(controller, item);
}

// A share resumed at launch whose announcement went to the agent that was
// told about it: the file is registered once it is complete, unless the
// editor announces it to us first.
void registerWhenComplete(const std::weak_ptr<FCPXWindowController>& controller,
                          const std::shared_ptr<QVExportItem>& item, File file) {
    const QString path = file == File::Movie ? item->originalPath() : item->fcpXMLPath();
    QVFileDetector::waitUntilComplete(
        path, [item, file] { return unannounced(item->statusOf(file)); },
        [controller, item, file](bool complete) {
            if (!complete) return;
            Dispatch::main([controller, item, file] {
                auto self = controller.lock();
                if (!self || !unannounced(item->statusOf(file))) return;
                QVLog::log(QStringLiteral("Export complete without its announcement: %1")
                               .arg(QFileInfo(file == File::Movie ? item->originalPath()
                                                                  : item->fcpXMLPath())
                                        .fileName()));
                if (file == File::Movie)
                    self->importMovieForExportItem(item);
                else
                    self->importFCPXMLForExportItem(item);
            });
        });
}

}  // namespace

void FCPXWindowController::waitForExport(const ItemPtr& item, bool resumed) {
    auto weak = weakSelf();
    QVFileDetector::detectWithExportItem(
        item, kDetectWaitSeconds, [weak, item, resumed](bool found) {
            if (!item) return;
            const File file = item->fcpXMLOnly() ? File::FCPXML : File::Movie;
            const qint64 seen = item->statusOf(file);
            if (!found) {
                // A new share keeps waiting for a launch to take it up; a
                // resumed one whose file never came was abandoned with the
                // agent that was told about it.
                if (resumed && unannounced(seen) &&
                    item->advanceStatus(file, seen, QVExportStatusCanceled))
                    saveAndRefresh(weak, item);
                return;
            }
            // The finish step may have come first (the editor is fast and the
            // detector polls): a status that has moved on is never set back.
            const bool moved = (seen == QVExportStatusNone || seen == QVExportStatusWaiting) &&
                               item->advanceStatus(file, seen, QVExportStatusExporting);
            if (!moved && !(resumed && seen == QVExportStatusExporting)) {
                QVLog::log(QStringLiteral("Export detected after its registration began: %1")
                               .arg(item->name()));
                return;
            }
            if (moved) saveAndRefresh(weak, item);
            if (file == File::Movie)
                QVFileDetector::watchExportingWithExportItem(item, [weak, item](bool vanished) {
                    if (vanished && item->advanceStatus(File::Movie, QVExportStatusExporting,
                                                        QVExportStatusCanceled))
                        saveAndRefresh(weak, item);
                });
            if (resumed) registerWhenComplete(weak, item, file);
        });
}

void FCPXWindowController::waitForDescription(const ItemPtr& item) {
    auto weak = weakSelf();
    QVFileDetector::detectAtPath(item->fcpXMLPath(), kDetectWaitSeconds, [weak, item](bool found) {
        // A movie may be shared without a description: nothing to register.
        if (found) registerWhenComplete(weak, item, File::FCPXML);
    });
}

// ---- Row refresh, uploads, thumbnails ----

void FCPXWindowController::updateCellWithItem(const ItemPtr& item) {
    if (!item || QVExportItemManager::sharedManager().indexOfItem(item) < 0) return;
    auto weak = weakSelf();
    Dispatch::main([weak, item] {
        if (auto self = weak.lock()) self->updateCellView(item);
    });
}

std::function<void(const FCPXWindowController::ItemPtr&)> FCPXWindowController::refreshAndSaveBlock(
    const std::weak_ptr<FCPXWindowController>& controller, const ItemPtr& uploading) {
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
    // always follows with a save, and a write now would only hold the disk
    // while the new asset ID waits for it. The adapter itself waits for
    // the write of a new asset ID.
    return [controller, tree](const ItemPtr& item) {
        refreshRow(controller, item);
        auto& list = QVExportItemManager::sharedManager();
        if (item && (creatingWithoutID(item->exportStatus(), item->movieAssetID()) ||
                     creatingWithoutID(item->fcpXMLStatus(), item->fcpXMLAssetID())))
            list.noteChange();
        else
            list.requestSave();
    };
}

void FCPXWindowController::makeThumbnailForItem(
    const ItemPtr& item, const std::weak_ptr<FCPXWindowController>& controller, bool logging) {
    if (!item) return;
    Thumbnail::thumbnailWithPath(
        item->originalPath(), [item, controller, logging](const QImage& image) {
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
            QVExportItemManager::sharedManager().save();
            refreshRow(controller, item);
        });
}

void FCPXWindowController::importMovieForExportItem(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    // An item resumed again and again keeps the picture it already has
    // instead of leaving one more file behind at every launch.
    if (!exists(item->thumbnailPath())) makeThumbnailForItem(item, weakSelf(), false);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateWithExportItem(item, block, block);
}

void FCPXWindowController::importFCPXMLForExportItem(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateFCPXMLWithExportItem(item, block, block);
}

// ---- Launch ----

void FCPXWindowController::checkExportItems() {
    checkExportItems(QVExportItemManager::sharedManager().exportItems());
}

void FCPXWindowController::checkExportItems(const QVExportItemList& items) {
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
        if (!item->project() && item->library()) {
            pendingResume_.append(item);
            continue;
        }
        resumeItem(item);
    }
    if (pendingResume_.isEmpty() || resumeToken_) return;
    QPointer<FCPXWindowController> guard(this);
    resumeToken_ = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("NOTI_LIBRARY_PROJECTS_LOADED"), [guard](const Notification&) {
            if (guard) guard->resumePendingItems();
        });
}

void FCPXWindowController::resumeItem(const ItemPtr& item) {
    // A file the editor had not finished when the agent ended goes back to
    // the wait a new share gets: registered now, it could be a truncated
    // movie or one that never comes. Registrations that had begun resume.
    if (!item->fcpXMLOnly()) {
        const qint64 movie = item->exportStatus();
        if (unannounced(movie))
            waitForExport(item, true);
        else if (movie != QVExportStatusCompleted)
            importMovieForExportItem(item);
    }
    // A description already registered is not registered a second time
    // because its movie still has to be.
    const qint64 description = item->fcpXMLStatus();
    if (description == QVExportStatusCompleted) return;
    if (!unannounced(description))
        importFCPXMLForExportItem(item);
    else if (item->fcpXMLOnly())
        waitForExport(item, true);
    else
        waitForDescription(item);
}

void FCPXWindowController::resumePendingItems() {
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
    if (pendingResume_.isEmpty() && resumeToken_) {
        NotificationCenter::defaultCenter().removeObserver(resumeToken_);
        resumeToken_ = 0;
    }
}

void FCPXWindowController::refreshProjectOfItem(const ItemPtr& item) {
    if (!item) return;
    const auto library = item->library();
    const QString projectID = item->projectID();
    if (!library || projectID.isEmpty()) return;
    if (auto current = library->projectWithID(projectID); current && current != item->project())
        item->setProject(current);
}

void FCPXWindowController::loadExportItems() {
    auto weak = weakSelf();
    Dispatch::after(launchDelay(), [weak] {
        if (!weak.lock()) return;
        // The list is read and its items are built off the main thread,
        // which keeps answering the editor, then taken in at once. The
        // default destination follows: its reload of the library's tree
        // must not empty the tree while the items look their nodes up.
        QVExportItemManager::sharedManager().loadExportItemsInBackground(
            [weak](bool ok, const QVExportItemList& storedItems) {
                if (!ok) {
                    showAlert("exportitems.cant.load");
                    terminateApplication();
                    return;
                }
                QVLog::log(QStringLiteral("Export list loaded: %1 items")
                               .arg(QVExportItemManager::sharedManager().count()));
                auto self = weak.lock();
                if (!self) return;
                // Shares taken meanwhile are under way already.
                self->checkExportItems(storedItems);
                self->loadDefaultLibraryInfo();
                self->displayDefaultLibraryInfo();
                self->reloadTable();
            });
    });
}

// ---- Retry ----

void FCPXWindowController::retryExportForCreating(const ItemPtr& item) {
    if (!item) return;
    refreshProjectOfItem(item);
    const auto block = refreshAndSaveBlock(weakSelf(), item);
    QVTesselAdapter::updateWithExportItem(item, block, block);
}

void FCPXWindowController::retryExportForUpdating(const ItemPtr& item) {
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
