// The window side of FCPXWindowController: the export list window, its
// bars and the default destination shown in it.

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "FCPX/FCPXDocument.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoTableView.h"

namespace {

const char* const kWindowTitle = "Relaydock for Corvane Pro";

QString localized(const char* key) {
    return Localization::localizedString(QString::fromUtf8(key));
}

QString statusText(qint64 status) {
    switch (status) {
        case QVExportStatusWaiting:
            return localized("exportstatus.waiting");
        case QVExportStatusExporting:
            return localized("exportstatus.exporting");
        case QVExportStatusCompleted:
            // Done needs no words; the row's icon says it.
            return QStringLiteral("");
        case QVExportStatusCanceled:
            return localized("exportstatus.canceled");
        case QVExportStatusCreateFailed:
            return localized("exportstatus.error.creating");
        case QVExportStatusUpdateFailed:
            return localized("exportstatus.error.updating");
        default:
            return QString();
    }
}

}  // namespace

void FCPXWindowController::buildWindow() {
    auto* window = new QMainWindow();
    window_ = window;
    window->resize(640, 480);
    window->installEventFilter(this);

    auto* central = new QWidget(window);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);

    topBarView_ = new QWidget(central);
    auto* top = new QHBoxLayout(topBarView_);
    defaultLibraryBackView_ = new QVLumoColorView(topBarView_);
    auto* details = new QHBoxLayout(defaultLibraryBackView_);
    libraryIconView_ = new QLabel(defaultLibraryBackView_);
    libraryTitleField_ = new QVLumoLabel(defaultLibraryBackView_);
    projectTitleField_ = new QVLumoLabel(defaultLibraryBackView_);
    details->addWidget(libraryIconView_);
    details->addWidget(libraryTitleField_);
    details->addWidget(projectTitleField_, 1);
    top->addWidget(defaultLibraryBackView_);
    column->addWidget(topBarView_);

    contentView_ = new QWidget(central);
    auto* content = new QVBoxLayout(contentView_);
    content->setContentsMargins(0, 0, 0, 0);
    exportTableView_ = new QVLumoTableView(contentView_);
    tableModel_ = new QStandardItemModel(0, 2, this);
    exportTableView_->setModel(tableModel_);
    exportTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    exportTableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    exportTableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    exportTableView_->horizontalHeader()->setStretchLastSection(true);
    exportTableView_->horizontalHeader()->hide();
    exportTableView_->verticalHeader()->hide();
    content->addWidget(exportTableView_);
    column->addWidget(contentView_, 1);

    bottomBarView_ = new QWidget(central);
    auto* bottom = new QHBoxLayout(bottomBarView_);
    checkUseDefaultLibraryButton_ =
        new QCheckBox(QStringLiteral("Use default library"), bottomBarView_);
    fcpXMLOnlyCheckButton_ = new QCheckBox(QStringLiteral("FCPXML only"), bottomBarView_);
    bottom->addWidget(checkUseDefaultLibraryButton_);
    bottom->addWidget(fcpXMLOnlyCheckButton_);
    bottom->addStretch(1);
    column->addWidget(bottomBarView_);

    window->setCentralWidget(central);

    connect(checkUseDefaultLibraryButton_, &QCheckBox::clicked, this,
            [this] { checkUseDefaultLibraryAction(); });
    connect(fcpXMLOnlyCheckButton_, &QCheckBox::clicked, this,
            [this](bool on) { QVPreferenceManager::sharedManager().setExportFCPXMLOnly(on); });
}

void FCPXWindowController::awakeFromNib() {
    if (loaded_) return;
    loaded_ = true;
    QPointer<FCPXWindowController> guard(this);
    projectsLoadedToken_ = NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("NOTI_LIBRARY_PROJECTS_LOADED"), [guard](const Notification& n) {
            if (guard) guard->libraryProjectsLoadedNotification(n);
        });
    const QString title = QString::fromUtf8(kWindowTitle);
    if (auto document = fcpXDocument()) document->setName(title);
    window_->setWindowTitle(title);
    auto& preferences = QVPreferenceManager::sharedManager();
    checkUseDefaultLibraryButton_->setChecked(preferences.useDefaultLibrary());
    topBarView_->setVisible(preferences.useDefaultLibrary());
    fcpXMLOnlyCheckButton_->setChecked(preferences.exportFCPXMLOnly());
    displayDefaultLibraryInfo();
}

QWidget* FCPXWindowController::window() const {
    return window_.data();
}

void FCPXWindowController::showWindow() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool FCPXWindowController::eventFilter(QObject* watched, QEvent* event) {
    // Closing the window only hides the program; the list stays.
    if (watched == window_.data() && event->type() == QEvent::Close) {
        event->ignore();
        window_->hide();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void FCPXWindowController::checkUseDefaultLibraryAction() {
    const bool show = checkUseDefaultLibraryButton_->isChecked();
    topBarView_->setVisible(show);
    QVPreferenceManager::sharedManager().setUseDefaultLibrary(show);
}

void FCPXWindowController::loadDefaultLibraryInfo() {
    auto& preferences = QVPreferenceManager::sharedManager();
    if (!preferences.useDefaultLibrary()) return;
    const QString libraryID = preferences.defaultLibraryID();
    const auto library = libraryID.isNull()
                             ? nullptr
                             : QVLibraryManager::sharedManager().libraryForDBName(libraryID);
    if (!library) {
        displayDefaultLibraryInfo();
        return;
    }
    defaultLibrary_ = library;
    loadDefaultProjectInfo(library);
}

void FCPXWindowController::loadDefaultProjectInfo(const std::shared_ptr<QVLibrary>& library) {
    const QString projectID = QVPreferenceManager::sharedManager().defaultProjectID();
    QPointer<FCPXWindowController> guard(this);
    library->loadProjectsWithCompletion(
        [guard, library, projectID](const QVProjectList&, const QVErrorOpt& error) {
            if (!guard) return;
            if (!error) guard->defaultProject_ = library->projectWithID(projectID);
            guard->displayDefaultLibraryInfo();
            guard->logDefaultDestination();
        });
}

void FCPXWindowController::logDefaultDestination() {
    // Scripts and the end-to-end tests wait for this line before sharing to
    // the default destination.
    if (!defaultLibrary_) return;
    QVLog::log(QStringLiteral("Default destination: %1 / %2")
                   .arg(defaultLibrary_->dbName(),
                        defaultProject_ ? defaultProject_->id() : QStringLiteral("(none)")));
}

void FCPXWindowController::displayDefaultLibraryInfo() {
    if (!defaultLibrary_) {
        libraryTitleField_->setText(localized("defaultlibrary.no.library"));
        projectTitleField_->setText(localized("defaultlibrary.no.project"));
        return;
    }
    libraryTitleField_->setText(defaultLibrary_->name());
    if (defaultProject_) projectTitleField_->setText(defaultProject_->pathString());
}

void FCPXWindowController::libraryProjectsLoadedNotification(const Notification& notification) {
    for (const auto& item : QVExportItemManager::sharedManager().exportItems()) {
        if (item->project() || !item->library()) continue;
        if (auto project = item->library()->projectWithID(item->projectID())) {
            item->setProject(project);
            item->setProjectName(project->name());
        }
    }
    // Another load of the default library may have replaced the tree the
    // default project was taken from (or emptied it just then): take the
    // node of the tree that is there now.
    const auto* library = std::any_cast<std::shared_ptr<QVLibrary>>(&notification.object);
    if (library && *library && *library == defaultLibrary_) {
        const QString projectID = QVPreferenceManager::sharedManager().defaultProjectID();
        if (auto project = defaultLibrary_->projectWithID(projectID)) {
            const bool changed = project != defaultProject_;
            defaultProject_ = project;
            if (changed) {
                displayDefaultLibraryInfo();
                logDefaultDestination();
            }
        }
    }
    reloadTable();
}

void FCPXWindowController::reloadTable() {
    if (!tableModel_) return;
    const auto items = QVExportItemManager::sharedManager().exportItems();
    tableModel_->setRowCount(int(items.size()));
    for (int row = 0; row < items.size(); ++row) {
        const auto& item = items[row];
        auto* name = new QStandardItem(item->name());
        name->setToolTip(item->name());
        tableModel_->setItem(row, 0, name);
        tableModel_->setItem(row, 1, new QStandardItem(statusText(item->status())));
    }
}

void FCPXWindowController::selectRow(int row) {
    if (!exportTableView_ || row < 0 || row >= tableModel_->rowCount()) return;
    exportTableView_->clearSelection();
    exportTableView_->selectRow(row, false);
}

void FCPXWindowController::updateCellView(const ItemPtr& item) {
    const qsizetype row = QVExportItemManager::sharedManager().indexOfItem(item);
    if (row < 0 || row >= tableModel_->rowCount()) return;
    const QString text = statusText(item->status());
    // Creating and uploading keep what the row showed before.
    if (text.isNull()) return;
    if (auto* cell = tableModel_->item(int(row), 1))
        cell->setText(text);
    else
        tableModel_->setItem(int(row), 1, new QStandardItem(text));
}
