// Opening and scrolling the main window's export list.
//
//   bench_window [--items 100000] [--thumbnails 500] [--jumps 400]
//
// Builds a list of items whose thumbnails are JPEG files on disk (not read
// until their rows are shown), then measures the time from handing the list
// to the window to the first painted list, and the resident memory before,
// after opening and after jumping through the whole list (each jump paints
// a screenful of rows and reads their thumbnails). The floor is a plain
// QListView (uniform rows) over the same names, opened and painted the same way in the
// same run.
#include <chrono>
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QTemporaryDir>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "service/QVConnection.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportListView.h"
#include "ui/QVTesselImportPanel.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Resident memory of this process in MiB, from /proc.
double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

int intArgument(const QStringList& args, const QString& name, int fallback) {
    const qsizetype i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const int count = intArgument(args, QStringLiteral("--items"), 100000);
    const int thumbnails = qMax(1, intArgument(args, QStringLiteral("--thumbnails"), 500));
    const int jumps = qMax(1, intArgument(args, QStringLiteral("--jumps"), 400));

    QTemporaryDir dir;
    QStringList thumbnailPaths;
    for (int i = 0; i < thumbnails; ++i) {
        QImage image(320, 180, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 37 % 360, 160, 200));
        const QString path = dir.filePath(QStringLiteral("thumb-%1.jpg").arg(i));
        image.save(path, "JPEG", 85);
        thumbnailPaths << path;
    }
    auto library = QVLibrary::libraryWithName(
        QStringLiteral("Bench Library"), QString(), 0, false, dir.filePath("lib"), QString(),
        QVConnection::connectionWithAddress(QStringLiteral("127.0.0.1"), 1, "u", "p"));
    auto project = QVProject::projectWithID("p1", "Film", library->dbName(), 0);
    QVExportItemList items;
    QStringList names;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto item = std::make_shared<QVExportItem>();
        item->setName(QStringLiteral("Clip %1").arg(i));
        item->setLibrary(library);
        item->setProject(project);
        item->setExportStatus(i % 8 == 0 ? QVExportStatusCreateFailed : QVExportStatusCompleted);
        item->setThumbnailPath(thumbnailPaths[i % thumbnails]);
        items << item;
        names << item->name();
    }

    // Floor: a plain list of the names, opened and painted.
    double floorMs = 0;
    {
        QListView plain;
        plain.setUniformItemSizes(true);
        QStringListModel model;
        plain.resize(720, 400);
        const auto start = Clock::now();
        model.setStringList(names);
        plain.setModel(&model);
        plain.show();
        plain.viewport()->repaint();
        QApplication::processEvents();
        floorMs = msSince(start);
    }

    const double rssBefore = residentMiB();
    auto controller = std::make_shared<FCPXWindowController>(nullptr);
    controller->window()->resize(720, 560);
    QVExportListView* list = controller->exportListView();
    const auto start = Clock::now();
    QVExportItemManager::sharedManager().setExportItems(items);
    list->reloadExportList();
    controller->showWindow();
    list->viewport()->repaint();
    QApplication::processEvents();
    const double openMs = msSince(start);
    const double rssOpen = residentMiB();

    const auto scrollStart = Clock::now();
    QScrollBar* bar = list->verticalScrollBar();
    for (int j = 1; j <= jumps; ++j) {
        bar->setValue(int(qint64(bar->maximum()) * j / jumps));
        list->viewport()->repaint();
    }
    QApplication::processEvents();
    const double scrollMs = msSince(scrollStart);
    const double rssScrolled = residentMiB();

    int loaded = 0;
    for (const auto& item : items)
        if (!item->thumbnailImage().isNull()) ++loaded;

    std::printf("items %d, thumbnail files %d, jumps %d\n", count, thumbnails, jumps);
    std::printf("open (list handed over to first paint): %.1f ms\n", openMs);
    std::printf("floor (QListView of the names, same steps): %.1f ms, ratio %.2f\n", floorMs,
                floorMs > 0 ? openMs / floorMs : 0.0);
    std::printf("scroll: %.2f ms per jump\n", scrollMs / jumps);
    std::printf(
        "resident memory: %.1f MiB with the items, %.1f MiB open (+%.1f), %.1f MiB "
        "after scrolling (+%.1f)\n",
        rssBefore, rssOpen, rssOpen - rssBefore, rssScrolled, rssScrolled - rssBefore);
    std::printf("thumbnails read: %d of %d items; cells held: %d\n", loaded, count,
                list->cellCount());
    QVExportItemManager::sharedManager().setExportItems({});
    return 0;
}
