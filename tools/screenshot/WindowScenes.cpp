// The main window: the export list with rows in every state, with and
// without the default destination, and with its context menu open.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QTemporaryDir>

#include "SceneHome.h"
#include "ScreenshotScene.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/UserDefaults.h"
#include "service/QVConnection.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportListView.h"
#include "ui/QVTesselImportPanel.h"

namespace {

QImage picture(int hue, const QString& caption) {
    QImage image(320, 180, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, 320, 180);
    gradient.setColorAt(0, QColor::fromHsv(hue, 120, 230));
    gradient.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 90));
    p.fillRect(image.rect(), gradient);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(36);
    font.setBold(true);
    p.setFont(font);
    p.drawText(image.rect(), Qt::AlignCenter, caption);
    return image;
}

std::shared_ptr<FCPXWindowController> makeWindow(SceneHome& home, bool useDefault) {
    const QString package = home.dir.filePath(QStringLiteral("Documentary.tlibrary"));
    auto library = QVLibrary::libraryWithName(
        QStringLiteral("Documentary"), QString(), 0, false, package, package,
        QVConnection::connectionWithAddress(QStringLiteral("127.0.0.1"), 1, "u", "p"));
    QDir().mkpath(package + "/Database/" + library->dbName());
    library->setOnlineStatus(true);
    auto film = QVProject::projectWithID("p1", "Harbour Film", library->dbName(), 0);
    auto scenes = QVProject::projectWithID("g1", "Night Scenes", library->dbName(), 1);
    scenes->setParent(film);

    struct Row {
        const char* name;
        qint64 status;
        int hue;  // -1: no thumbnail yet
        bool project;
    };
    const Row rows[] = {
        {"Harbour at dawn", QVExportStatusWaiting, -1, true},
        {"Crane shot, take 3", QVExportStatusExporting, -1, true},
        {"Interview with the harbour master", QVExportStatusCreating, 200, true},
        {"Fish market", QVExportStatusCompleted, 20, true},
        {"Ferry departure", QVExportStatusCanceled, -1, true},
        {"Night lights", QVExportStatusCreateFailed, 250, true},
        {"Storm footage", QVExportStatusUpdateFailed, 120, false},
        {"Closing titles", QVExportStatusCompleted, 300, true},
    };
    QVExportItemList items;
    int i = 0;
    for (const Row& row : rows) {
        auto item = std::make_shared<QVExportItem>();
        item->setName(QString::fromUtf8(row.name));
        item->setLibrary(library);
        if (row.project) item->setProject(i % 2 ? scenes : film);
        item->setExportStatus(row.status);
        if (i % 3 == 1) {
            item->setImportType(QVImportTypeStoreToPath);
            item->setStoreToPath(QStringLiteral("/media/exports/harbour"));
        }
        if (row.hue >= 0) item->setThumbnailImage(picture(row.hue, QString::number(i + 1)));
        items << item;
        ++i;
    }
    QVExportItemManager::sharedManager().setExportItems(items);

    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setUseDefaultLibrary(useDefault);
    preferences.setStoreToPath(QStringLiteral("/media/exports/harbour"));
    preferences.setStoreTo(false);
    QVShareEnvironment environment;
    environment.serviceCheck = [] { return true; };
    auto controller = std::make_shared<FCPXWindowController>(nullptr, environment);
    controller->setDefaultLibrary(library);
    controller->setDefaultProject(scenes);
    controller->displayDefaultLibraryInfo();
    controller->window()->resize(760, 700);
    controller->exportListView()->reloadExportList();
    controller->showWindow();
    QApplication::processEvents();
    return controller;
}

bool listScene(const QString& folder, const QString& file, bool useDefault) {
    SceneHome home;
    auto controller = makeWindow(home, useDefault);
    QVExportListView* list = controller->exportListView();
    list->selectRow(3, false);
    list->setHoveredRow(5);
    QApplication::processEvents();
    return ScreenshotScene::saveWidget(controller->window(), folder, file);
}

bool contextMenuScene(const QString& folder) {
    SceneHome home;
    auto controller = makeWindow(home, true);
    QVExportListView* list = controller->exportListView();
    const QRect row = list->visualRect(list->model()->index(5, 0));
    const QPoint at = row.center() - QPoint(row.width() / 4, 0);
    if (!list->showContextMenuAt(at)) return false;
    QMenu* menu = list->contextMenu();
    QApplication::processEvents();
    // The menu is a window of its own: drawn onto the window where it opened.
    QPixmap shot = controller->window()->grab();
    {
        QPainter p(&shot);
        const QPoint origin =
            controller->window()->mapFromGlobal(list->viewport()->mapToGlobal(at));
        p.drawPixmap(origin, menu->grab());
    }
    menu->hide();
    const QString path = QDir(folder).filePath(QStringLiteral("window-context-menu.png"));
    const bool ok = shot.save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

const bool registered = [] {
    ScreenshotScene::add(
        "window-list", "Main window: every row state, default destination shown",
        [](const QString& folder) { return listScene(folder, "window-list", true); });
    ScreenshotScene::add(
        "window-list-no-default", "Main window without the default destination",
        [](const QString& folder) { return listScene(folder, "window-list-no-default", false); });
    ScreenshotScene::add("window-context-menu", "Main window with a row's context menu open",
                         [](const QString& folder) { return contextMenuScene(folder); });
    return true;
}();

}  // namespace
