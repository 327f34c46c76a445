#include "share/QVExportProcessor.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "export/QVUploadLocation.h"
#include "export/Thumbnail.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"
#include "share/QVShareInteraction.h"
#include "upload/QVTesselAdapter.h"
#include "upload/QVUploadManager.h"

namespace {

using ItemPtr = QVExportProcessor::ItemPtr;
using Rows = std::weak_ptr<QVExportProcessor>;
using File = QVExportItem::File;

// The editor gets this long to start writing before the wait is given up.
constexpr double kDetectWaitSeconds = 600;

void saveAndRefresh(const Rows& rows, const ItemPtr& item) {
    QVExportItemManager::sharedManager().save();
    QVExportProcessor::refreshRow(rows, item);
}

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

}  // namespace

QVExportProcessor::QVExportProcessor(QVShareInteraction* interaction,
                                     QVShareEnvironment environment)
    : interaction_(interaction),
      environment_(QVShareEnvironment::standard(std::move(environment))),
      destination_(environment_.serviceCheck) {
    projectsToken_ = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("NOTI_LIBRARY_PROJECTS_LOADED"),
        [this](const Notification& notification) { libraryProjectsLoaded(notification); });
}

QVExportProcessor::~QVExportProcessor() {
    NotificationCenter::defaultCenter().removeObserver(projectsToken_);
}

void QVExportProcessor::alert(const QString& message) {
    if (interaction_) interaction_->showAlert(message);
}

void QVExportProcessor::refreshRow(const Rows& rows, const ItemPtr& item) {
    // The processor is only touched on the main thread, where it lives.
    if (!item || QVExportItemManager::sharedManager().indexOfItem(item) < 0) return;
    Dispatch::main([rows, item] {
        if (auto processor = rows.lock()) emit processor->itemChanged(item);
    });
}

// ---- Choosing the destination ----

void QVExportProcessor::newAssetWithName(const QString& name,
                                         const std::optional<QVariantMap>& metaData,
                                         const std::optional<QVariantMap>& dataOptions,
                                         AssetCompletion completion) {
    if (!interaction_ || !interaction_->useDefaultLibrary())
        return uploadForSelectLibraryWithName(name, metaData, dataOptions, std::move(completion));
    // The credentials of a record a registry reload replaced are not kept.
    destination_.refind();
    auto& preferences = QVPreferenceManager::sharedManager();
    // A share can come while the default library's tree is being reloaded
    // and the default node is not yet taken from the new tree.
    if (destination_.library() && !destination_.project())
        destination_.setProject(
            destination_.library()->projectWithID(preferences.defaultProjectID()));
    const char* problem = nullptr;
    if (!destination_.library() || !destination_.project()) {
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
        alert(Localization::localized(problem));
        return uploadForSelectLibraryWithName(name, metaData, dataOptions, std::move(completion));
    }
    useDefaultDestination(name, metaData, dataOptions, std::move(completion));
}

void QVExportProcessor::useDefaultDestination(const QString& name,
                                              const std::optional<QVariantMap>& metaData,
                                              const std::optional<QVariantMap>& dataOptions,
                                              AssetCompletion completion) {
    // The destination asked about is the one the answer is used for, even if
    // the user picks another default meanwhile.
    const auto library = destination_.library();
    const auto project = destination_.project();
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
                    self->destination_.setUploadLocation(location);
                    auto& preferences = QVPreferenceManager::sharedManager();
                    const bool storeTo = preferences.storeTo();
                    self->createFCPXAssetWithName(
                        QVTesselUtil::sanitizeFileNameString(name), metaData, dataOptions, library,
                        project, storeTo ? QVImportTypeStoreToPath : QVImportTypeInsideLibrary,
                        storeTo ? preferences.storeToPath() : QString(), location,
                        preferences.exportFCPXMLOnly(), completion);
                } else {
                    self->destination_.setUploadLocation(nullptr);
                    self->alert(Localization::localized(
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

void QVExportProcessor::uploadForSelectLibraryWithName(
    const QString& name, const std::optional<QVariantMap>& metaData,
    const std::optional<QVariantMap>& dataOptions, AssetCompletion completion) {
    // One sheet at a time: a second share while the user is still choosing
    // cannot be asked about and is cancelled.
    if (choosing_ || !interaction_) {
        completion(nullptr);
        return;
    }
    choosing_ = true;
    auto weak = weakSelf();
    auto ended = [weak, metaData, dataOptions,
                  completion](const std::optional<QVChosenDestination>& chosen) {
        auto self = weak.lock();
        if (self) self->choosing_ = false;
        if (!self || !chosen) {
            completion(nullptr);
            return;
        }
        auto& preferences = QVPreferenceManager::sharedManager();
        self->createFCPXAssetWithName(
            QVTesselUtil::sanitizeFileNameString(chosen->name), metaData, dataOptions,
            chosen->library, chosen->project,
            preferences.storeTo() ? QVImportTypeStoreToPath : QVImportTypeInsideLibrary,
            preferences.storeToPath(), chosen->location, chosen->fcpXMLOnly, completion);
    };
    if (!interaction_->chooseDestination(name, ended)) {
        choosing_ = false;
        completion(nullptr);
    }
}

// ---- Asset and export item ----

void QVExportProcessor::createFCPXAssetWithName(
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
        alert(Localization::localized("defaultlibrary.not.exist.folder"));
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
    if (!item) {
        completion(asset);
        waitForExport(item);
        return;
    }
    // The write goes to the pool: the window keeps painting and answering
    // while the disk works, and the editor is answered once it is done.
    auto weak = weakSelf();
    QVExportItemManager::sharedManager().addExportItem(item, [weak, item, asset, completion](bool) {
        completion(asset);
        if (auto self = weak.lock()) self->waitForExport(item);
    });
    emit itemAdded(item);
}

// ---- Waiting for the export ----

namespace {

// A share resumed at launch whose announcement went to the agent that was
// told about it: the file is registered once it is complete, unless the
// editor announces it to us first.
void registerWhenComplete(const Rows& rows, const ItemPtr& item, File file) {
    const QString path = file == File::Movie ? item->originalPath() : item->fcpXMLPath();
    QVFileDetector::waitUntilComplete(
        path, [item, file] { return QVExportItem::unannounced(item->statusOf(file)); },
        [rows, item, file, path](bool complete) {
            if (!complete) return;
            Dispatch::main([rows, item, file, path] {
                auto self = rows.lock();
                if (!self || !QVExportItem::unannounced(item->statusOf(file))) return;
                QVLog::log(QStringLiteral("Export complete without its announcement: %1")
                               .arg(QFileInfo(path).fileName()));
                if (file == File::Movie)
                    self->importMovieForExportItem(item);
                else
                    self->importFCPXMLForExportItem(item);
            });
        });
}

}  // namespace

void QVExportProcessor::waitForExport(const ItemPtr& item, bool resumed) {
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
                if (resumed && QVExportItem::unannounced(seen) &&
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

void QVExportProcessor::waitForDescription(const ItemPtr& item) {
    auto weak = weakSelf();
    QVFileDetector::detectAtPath(item->fcpXMLPath(), kDetectWaitSeconds, [weak, item](bool found) {
        // A movie may be shared without a description: nothing to register.
        if (found) registerWhenComplete(weak, item, File::FCPXML);
    });
}
