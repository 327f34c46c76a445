#include "share/QVDefaultDestination.h"

#include <QPointer>

#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"
#include "upload/QVUploadManager.h"

QVDefaultDestination::QVDefaultDestination(std::function<bool()> serviceCheck)
    : serviceCheck_(std::move(serviceCheck)) {}

void QVDefaultDestination::load() {
    auto& preferences = QVPreferenceManager::sharedManager();
    if (!preferences.useDefaultLibrary()) return;
    const QString libraryID = preferences.defaultLibraryID();
    const auto library = libraryID.isNull()
                             ? nullptr
                             : QVLibraryManager::sharedManager().libraryForDBName(libraryID);
    if (!library) {
        emit changed();
        return;
    }
    library_ = library;
    loadProject(library);
}

void QVDefaultDestination::loadProject(const std::shared_ptr<QVLibrary>& library) {
    if (!library) return;
    const QString projectID = QVPreferenceManager::sharedManager().defaultProjectID();
    QPointer<QVDefaultDestination> guard(this);
    // A load refused before it was sent (no credentials yet) completes at
    // once, on this thread; the others on the loading thread.
    library->loadProjectsWithCompletion(
        [guard, library, projectID](const QVProjectList&, const QVErrorOpt& error) {
            auto taken = [guard, library, projectID, failed = bool(error)] {
                if (!guard) return;
                if (!failed) guard->project_ = library->projectWithID(projectID);
                emit guard->changed();
                guard->log();
            };
            if (Dispatch::isMainThread())
                taken();
            else
                Dispatch::main(taken);
        });
}

void QVDefaultDestination::refind() {
    if (!library_) return;
    // A library missing from this reload keeps the record it had.
    const auto current = QVLibraryManager::sharedManager().libraryForDBName(library_->dbName());
    if (!current || current == library_) return;
    library_ = current;
    // The new record may have no tree yet; the old node stands in for the
    // default project until it arrives.
    if (project_)
        if (auto project = current->projectWithID(project_->id())) project_ = project;
}

void QVDefaultDestination::choose(const std::shared_ptr<QVLibrary>& library,
                                  const std::shared_ptr<QVProject>& project) {
    library_ = library;
    project_ = project;
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setDefaultLibraryID(library ? library->dbName() : QString());
    preferences.setDefaultProjectID(project ? project->id() : QString());
    if (!library) {
        emit changed();
        return;
    }
    QPointer<QVDefaultDestination> guard(this);
    QVUploadManager::sharedManager().uploadLocationWithLibrary(
        library, [guard, library](bool success, const std::shared_ptr<QVUploadLocation>& location,
                                  const QVErrorOpt& error) {
            if (error)
                QVLog::log(QStringLiteral("uploadLocationWithLibrary Error : %1")
                               .arg(error->localizedDescription()));
            // The location is kept on the main thread, where shares read it.
            Dispatch::main([guard, library, location = success ? location : nullptr] {
                if (!guard || guard->library_ != library) return;
                guard->uploadLocation_ = location;
                emit guard->changed();
            });
        });
}

void QVDefaultDestination::projectsLoaded(const std::shared_ptr<QVLibrary>& library) {
    // Another load of the default library may have replaced the tree the
    // default project was taken from (or emptied it just then), or the
    // registry its record.
    if (!library || !library_ || library->dbName() != library_->dbName()) return;
    const auto shown = library_;
    refind();
    bool moved = shown != library_;
    const QString projectID = QVPreferenceManager::sharedManager().defaultProjectID();
    if (auto project = library_->projectWithID(projectID)) {
        moved = moved || project != project_;
        project_ = project;
    }
    if (!moved) return;
    emit changed();
    log();
}

bool QVDefaultDestination::available() const {
    if (!library_ || !library_->isWritableLibrary()) return false;
    return library_->libraryType() != 0 || !serviceCheck_ || serviceCheck_();
}

void QVDefaultDestination::log() const {
    if (!library_) return;
    QVLog::log(QStringLiteral("Default destination: %1 / %2")
                   .arg(library_->dbName(), project_ ? project_->id() : QStringLiteral("(none)")));
}
