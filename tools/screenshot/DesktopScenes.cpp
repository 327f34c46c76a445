// What the agent shows on the desktop besides its list: the status icon's
// menu, an exporting row with its byte count, and the window's application
// menu with the two desktop settings.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTemporaryDir>

#include "SceneHome.h"
#include "ScreenshotScene.h"
#include "app/AppDelegate.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/UserDefaults.h"
#include "service/QVConnection.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportActivity.h"
#include "ui/QVExportListView.h"
#include "ui/QVStatusIcon.h"

namespace {

// A window over a short list whose first row is being written.
std::shared_ptr<FCPXWindowController> makeWindow(SceneHome& home) {
    const QString package = home.dir.filePath(QStringLiteral("Documentary.tlibrary"));
    auto library = QVLibrary::libraryWithName(
        QStringLiteral("Documentary"), QString(), 0, false, package, package,
        QVConnection::connectionWithAddress(QStringLiteral("127.0.0.1"), 1, "u", "p"));
    auto film = QVProject::projectWithID("p1", "Harbour Film", library->dbName(), 0);
    struct Row {
        const char* name;
        qint64 status;
        qint64 bytes;
    };
    const Row rows[] = {{"Crane shot, take 3", QVExportStatusExporting, 734003200},
                        {"Harbour at dawn", QVExportStatusWaiting, -1},
                        {"Interview with the harbour master", QVExportStatusUploading, -1},
                        {"Night lights", QVExportStatusCreateFailed, -1},
                        {"Fish market", QVExportStatusCompleted, -1},
                        {"Ferry departure", QVExportStatusCanceled, -1},
                        {"Closing titles", QVExportStatusCompleted, -1}};
    QVExportItemList items;
    for (const Row& row : rows) {
        auto item = std::make_shared<QVExportItem>();
        item->setName(QString::fromUtf8(row.name));
        item->setLibrary(library);
        item->setProject(film);
        item->setExportStatus(row.status);
        item->setExportedBytes(row.bytes);
        items << item;
    }
    QVExportItemManager::sharedManager().setExportItems(items);
    QVShareEnvironment environment;
    environment.serviceCheck = [] { return true; };
    auto controller = std::make_shared<FCPXWindowController>(nullptr, environment);
    controller->setDefaultLibrary(library);
    controller->setDefaultProject(film);
    controller->displayDefaultLibraryInfo();
    controller->window()->resize(760, 560);
    controller->exportListView()->reloadExportList();
    controller->showWindow();
    QApplication::processEvents();
    return controller;
}

// A menu is a window of its own: it is opened, drawn, and closed again.
bool saveMenu(QMenu* menu, const QString& folder, const QString& file) {
    menu->popup(QPoint(40, 40));
    QApplication::processEvents();
    const bool ok = ScreenshotScene::saveWidget(menu, folder, file);
    menu->hide();
    return ok;
}

bool statusIconMenuScene(const QString& folder) {
    SceneHome home;
    auto controller = makeWindow(home);
    AppDelegate delegate;
    QVExportActivity activity(controller->exportListModel());
    QVStatusIcon icon(&activity, delegate.startAtLoginAction(), delegate.notificationsAction());
    return saveMenu(icon.menu(), folder, QStringLiteral("status-icon-menu"));
}

bool exportingRowScene(const QString& folder) {
    SceneHome home;
    auto controller = makeWindow(home);
    QVExportListView* list = controller->exportListView();
    const QRect row = list->visualRect(list->model()->index(0, 0));
    const QRect shown = row.translated(list->viewport()->mapTo(controller->window(), QPoint()));
    const QPixmap shot = controller->window()->grab(shown);
    const QString path = QDir(folder).filePath(QStringLiteral("window-exporting-row.png"));
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

bool applicationMenuScene(const QString& folder) {
    SceneHome home;
    auto controller = makeWindow(home);
    AppDelegate delegate;
    delegate.setWindow(controller->window());
    delegate.installMenus();
    delegate.startAtLoginAction()->setChecked(true);
    auto* main = qobject_cast<QMainWindow*>(controller->window());
    if (!main || main->menuBar()->actions().isEmpty()) return false;
    QMenu* application = main->menuBar()->actions().first()->menu();
    const bool ok = application && saveMenu(application, folder, QStringLiteral("window-app-menu"));
    delegate.startAtLoginAction()->setChecked(false);
    return ok;
}

const bool registered = [] {
    ScreenshotScene::add("status-icon-menu",
                         "Status icon menu: show, the last five exports, settings, quit",
                         [](const QString& folder) { return statusIconMenuScene(folder); });
    ScreenshotScene::add("window-exporting-row", "An exporting row with its byte count",
                         [](const QString& folder) { return exportingRowScene(folder); });
    ScreenshotScene::add("window-app-menu",
                         "The window's application menu with Start at Login and Notifications",
                         [](const QString& folder) { return applicationMenuScene(folder); });
    return true;
}();

}  // namespace
