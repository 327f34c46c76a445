#include "app/AppDelegate.h"

#include <atomic>

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Autostart.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "platform/QVLog.h"
#include "platform/Workspace.h"
#include "share/QVExportProcessor.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAboutPanel.h"
#include "ui/QVAlertBox.h"
#include "ui/QVDesktopNotifier.h"
#include "ui/QVExportActivity.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"
#include "ui/QVStatusIcon.h"
#include "ui/QVTesselImportPanel.h"
#include "upload/QVUploadManager.h"

namespace {}  // namespace

AppDelegate::AppDelegate() {
    startAtLoginAction_ = new QAction(Localization::localized("menuitem.start.at.login"), this);
    startAtLoginAction_->setCheckable(true);
    startAtLoginAction_->setChecked(Autostart::isEnabled());
    connect(startAtLoginAction_, &QAction::toggled, this, [this](bool on) {
        // The entry is the setting: what could not be written stays off.
        if (!Autostart::setEnabled(on)) startAtLoginAction_->setChecked(Autostart::isEnabled());
    });
    notificationsAction_ = new QAction(Localization::localized("menuitem.notifications"), this);
    notificationsAction_->setCheckable(true);
    notificationsAction_->setChecked(QVPreferenceManager::sharedManager().notificationsEnabled());
    connect(notificationsAction_, &QAction::toggled, this, [this](bool on) {
        QVPreferenceManager::sharedManager().setNotificationsEnabled(on);
        if (notifier_) notifier_->setEnabled(on);
    });
    QPointer<AppDelegate> guard(this);
    QVTesselImportPanel::setLibraryLoadedProvider(
        [guard] { return guard && guard->libraryLoaded_; });
}

AppDelegate::~AppDelegate() {
    QVTesselImportPanel::setLibraryLoadedProvider(nullptr);
}

QVShareEnvironment AppDelegate::shareEnvironment() {
    const auto controller = currentWindowController();
    return controller ? controller->processor().environment() : QVShareEnvironment::standard();
}

std::shared_ptr<FCPXWindowController> AppDelegate::currentWindowController() {
    const auto document = FCPXDocumentController::sharedDocumentController()->currentDocument();
    if (!document) return nullptr;
    return std::dynamic_pointer_cast<FCPXWindowController>(document->windowController());
}

void AppDelegate::applicationDidFinishLaunching() {
    auto* documents = FCPXDocumentController::sharedDocumentController();
    if (!startInBackground_) {
        documents->newDocument();
    } else if (documents->documents().isEmpty()) {
        QString error;
        documents->openUntitledDocumentAndDisplay(false, &error);
        QVLog::log(QStringLiteral("Started in the background: window hidden"));
    }
    if (auto controller = currentWindowController()) setWindow(controller->window());
    installMenus();
    installDesktopIntegration();
    // Only the credentials matter here; the libraries' own loads report
    // what the service refuses.
    QVUploadManager::sharedManager().syncTessel();
    QPointer<AppDelegate> guard(this);
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [guard](const QVLibraryList& libraries) {
            Dispatch::main([guard, libraries] {
                if (guard) guard->librariesLoaded(libraries);
            });
        });
}

void AppDelegate::librariesLoaded(const QVLibraryList& libraries) {
    if (libraries.isEmpty()) {
        QVAlertBox::showOKAlertBoxWithMessage(
            Localization::localizedString(QStringLiteral("library.message.not.exist")));
        shareEnvironment().terminate();
        return;
    }
    Dispatch::after(shareEnvironment().launchDelayMs, [] {
        if (auto controller = currentWindowController()) controller->loadExportItems();
    });
    loadProjectsOfLibraries(libraries);
}

void AppDelegate::loadProjectsOfLibraries(const QVLibraryList& libraries) {
    // Completions come back on any thread in any order; the shared count
    // makes exactly one of them the last.
    auto loaded = std::make_shared<std::atomic<qsizetype>>(0);
    const qsizetype total = libraries.size();
    QPointer<AppDelegate> guard(this);
    for (const auto& library : libraries) {
        QVLibraryManager::sharedManager().reloadLibrary(
            library, [library, loaded, total, guard](bool, const QVErrorOpt&) {
                library->loadProjectsWithCompletion(
                    [library, loaded, total, guard](const QVProjectList&, const QVErrorOpt&) {
                        const qsizetype count = loaded->fetch_add(1) + 1;
                        Dispatch::main([library] {
                            NotificationCenter::defaultCenter().post(
                                QStringLiteral("NOTI_LIBRARY_PROJECTS_LOADED"), library);
                        });
                        if (count != total) return;
                        Dispatch::main([guard, total] {
                            if (guard) guard->setLibraryLoaded(true);
                            QVLog::log(QStringLiteral("Libraries loaded: %1").arg(total));
                            NotificationCenter::defaultCenter().post(
                                QStringLiteral("NOTI_RELOAD_LIBRARY_COMPLETED"));
                        });
                    });
            });
    }
}

void AppDelegate::openFiles(const QStringList& paths) {
    // The rows are refreshed through the current document's controller.
    const auto controller = currentWindowController();
    QVExportProcessor::finishExport(
        paths, controller ? controller->processorHandle() : std::weak_ptr<QVExportProcessor>());
}

bool AppDelegate::openFile(const QString& path) {
    QVLog::log(QStringLiteral("Refused to open %1").arg(path));
    return false;
}

bool AppDelegate::openTempFile(const QString& path) {
    return openFile(path);
}

bool AppDelegate::openFileWithoutUI(const QString& path) {
    return openFile(path);
}

bool AppDelegate::applicationShouldHandleReopen(bool) {
    const auto document = FCPXDocumentController::sharedDocumentController()->currentDocument();
    if (document && document->windowController()) document->windowController()->showWindow();
    return true;
}

void AppDelegate::reopen() {
    applicationShouldHandleReopen(window_ && window_->isVisible());
    QVLog::log(QStringLiteral("Reopen: main window shown"));
}

void AppDelegate::quit() {
    QCoreApplication::quit();
}

void AppDelegate::installMenus() {
    auto* main = qobject_cast<QMainWindow*>(window_.data());
    if (!main || main->menuBar()->actions().size() > 0) return;
    QMenu* application = main->menuBar()->addMenu(QStringLiteral("&Relaydock"));
    application->addAction(QStringLiteral("About Relaydock"), this, [this] { aboutAction(); });
    application->addSeparator();
    application->addAction(startAtLoginAction_);
    application->addAction(notificationsAction_);
    application->addSeparator();
    connect(application, &QMenu::aboutToShow, this, [this] { syncDesktopActions(); });
    application->addAction(QStringLiteral("Quit Relaydock"), QKeySequence::Quit, this,
                           [this] { quit(); });
    QMenu* help = main->menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Relaydock Help"), QKeySequence::HelpContents, this,
                    [this] { helpAction(); });
}

void AppDelegate::installDesktopIntegration() {
    const auto controller = currentWindowController();
    if (activity_ || !controller || !controller->exportListModel()) return;
    activity_ = new QVExportActivity(controller->exportListModel(), this);
    const std::weak_ptr<FCPXWindowController> weak = controller;
    activity_->setProgressRefresh(
        [weak](const std::shared_ptr<QVExportItem>& item) {
            if (auto c = weak.lock()) c->updateCellWithItem(item);
        },
        QVFileDetector::pollInterval());

    notifier_ = new QVDesktopNotifier(QDBusConnection::sessionBus(), this);
    notifier_->setEnabled(QVPreferenceManager::sharedManager().notificationsEnabled());
    QPointer<AppDelegate> guard(this);
    notifier_->setWindowActiveCheck([guard] {
        return guard && guard->window_ && guard->window_->isVisible() &&
               guard->window_->isActiveWindow();
    });
    connect(activity_, &QVExportActivity::stateChanged, notifier_,
            &QVDesktopNotifier::exportStateChanged);
    connect(notifier_, &QVDesktopNotifier::activated, this,
            [this](const QVExportItemList& items) { showItems(items); });

    statusIcon_ = new QVStatusIcon(activity_, startAtLoginAction_, notificationsAction_, this);
    connect(statusIcon_, &QVStatusIcon::showWindowRequested, this, [this] { showItems({}); });
    connect(statusIcon_, &QVStatusIcon::itemChosen, this,
            [this](const std::shared_ptr<QVExportItem>& item) { showItems({item}); });
    connect(statusIcon_, &QVStatusIcon::quitRequested, this, [this] { quit(); });
    connect(statusIcon_->menu(), &QMenu::aboutToShow, this, [this] { syncDesktopActions(); });
    if (statusIcon_->show())
        QVLog::log(QStringLiteral("Status icon shown"));
    else
        QVLog::log(QStringLiteral("No status area: the window is the way back"));
}

void AppDelegate::syncDesktopActions() {
    // The desktop's own settings may have removed or disabled the entry.
    const QSignalBlocker blocker(startAtLoginAction_);
    startAtLoginAction_->setChecked(Autostart::isEnabled());
}

void AppDelegate::showItems(const QVExportItemList& items) {
    const auto controller = currentWindowController();
    if (!controller) return;
    controller->showWindow();
    QVExportListView* list = controller->exportListView();
    QVExportListModel* model = controller->exportListModel();
    if (!list || !model || items.isEmpty()) return;
    int selected = 0;
    for (const auto& item : items) {
        const int row = model->rowOfItem(item);
        if (row < 0) continue;
        list->selectRow(row, selected > 0);
        if (selected++ == 0) list->scrollTo(model->index(row, 0));
    }
    QVLog::log(QStringLiteral("Window shown with %1 row(s) selected").arg(selected));
}

void AppDelegate::aboutAction() {
    QVAboutPanel::showAboutPanel(shareEnvironment().workspace);
}

QString AppDelegate::helpPageURL() {
    return QStringLiteral("https://www.corvane.com/relaydock/help");
}

bool AppDelegate::helpAction() {
    return Workspace::openUrl(helpPageURL());
}
