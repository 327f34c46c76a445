#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/Localization.h"
#include "service/QVConnection.h"
#include "ui/QVExportCellView.h"
#include "ui/QVExportListDelegate.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"

namespace {

QString text(const char* key) {
    return Localization::localizedString(QString::fromLatin1(key));
}

std::shared_ptr<QVLibrary> makeLibrary(const QString& name, qint64 type = 0) {
    return QVLibrary::libraryWithName(
        name, QString(), type, false, "/tmp/" + name + ".tlibrary", QString(),
        QVConnection::connectionWithAddress("127.0.0.1", 9000, "u", "p"));
}

std::shared_ptr<QVExportItem> makeItem(const QString& name, qint64 status,
                                       const std::shared_ptr<QVLibrary>& library = nullptr) {
    auto item = std::make_shared<QVExportItem>();
    item->setName(name);
    item->setExportStatus(status);
    item->setLibrary(library);
    return item;
}

// The table in a window of its own, over a private export list.
struct ListHarness {
    explicit ListHarness(const QVExportItemList& items, int height = 400)
        : manager(dir.path()), model(&manager) {
        manager.setExportItems(items);
        model.reload();
        view.setExportModel(&model);
        view.resize(640, height);
        view.show();
        QApplication::processEvents();
    }
    QTemporaryDir dir;
    QVExportItemManager manager;
    QVExportListModel model;
    QVExportListView view;
};

QString writeThumbnail(const QString& folder, const QString& name) {
    QImage image(160, 90, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = folder + "/" + name + ".jpg";
    EXPECT_TRUE(image.save(path, "JPEG"));
    return path;
}

}  // namespace

TEST(ExportCellViewTest, StatusTextAndIconFollowTheStatusAndKeepThemForCreatingAndUploading) {
    struct Case {
        qint64 status;
        const char* key;  // nullptr: field hidden
        const char* icon;
    };
    const Case cases[] = {
        {QVExportStatusWaiting, "exportstatus.waiting", "workflow.icon.ready"},
        {QVExportStatusExporting, "exportstatus.exporting", "workflow.icon.work"},
        {QVExportStatusCompleted, nullptr, "workflow.icon.success"},
        {QVExportStatusCanceled, "exportstatus.canceled", ""},
        {QVExportStatusCreateFailed, "exportstatus.error.creating", "workflow.icon.fail"},
        {QVExportStatusUpdateFailed, "exportstatus.error.updating", "workflow.icon.fail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        QVExportCellView cell;
        // A row that showed a failure before must lose its icon when cancelled.
        cell.imageView.imageName = "workflow.icon.fail";
        auto item = makeItem("clip", c.status);
        QVExportCellView::fillWithItem(cell, item);
        EXPECT_EQ(cell.imageView.imageName, QString::fromLatin1(c.icon));
        if (c.key) {
            EXPECT_FALSE(cell.statusField.hidden);
            EXPECT_EQ(cell.statusField.stringValue, text(c.key));
            EXPECT_EQ(cell.statusField.toolTip, text(c.key));
        } else {
            EXPECT_TRUE(cell.statusField.hidden);
        }

        // Creating, uploading and none leave the status part as it was.
        for (qint64 passing : {qint64(QVExportStatusCreating), qint64(QVExportStatusUploading),
                               qint64(QVExportStatusNone)}) {
            const QVExportCellView before = cell;
            item->setExportStatus(passing);
            QVExportCellView::updateCellViewWithItem(cell, item);
            EXPECT_EQ(cell.statusField, before.statusField);
            EXPECT_EQ(cell.imageView, before.imageView);
        }
    }

    // A cell made for a row already creating shows no status at all.
    QVExportCellView fresh;
    QVExportCellView::fillWithItem(fresh, makeItem("busy", QVExportStatusCreating));
    EXPECT_TRUE(fresh.statusField.hidden);
    EXPECT_TRUE(fresh.imageView.imageName.isEmpty());

    // An FCPXML-only item shows its description's status.
    auto xmlOnly = makeItem("xml", QVExportStatusWaiting);
    xmlOnly->setFcpXMLOnly(true);
    xmlOnly->setFcpXMLStatus(QVExportStatusUpdateFailed);
    QVExportCellView::fillWithItem(fresh, xmlOnly);
    EXPECT_EQ(fresh.statusField.stringValue, text("exportstatus.error.updating"));
}

TEST(ExportCellViewTest, NameSubtitleAndDestinationLines) {
    auto library = makeLibrary("Studio");
    auto film = QVProject::projectWithID("p1", "Film", library->dbName(), 0);
    auto scenes = QVProject::projectWithID("g1", "Scenes", library->dbName(), 1);
    scenes->setParent(film);

    auto item = makeItem("Night shot", QVExportStatusWaiting, library);
    item->setProject(scenes);
    item->setProjectName("Stale name");
    item->setImportType(QVImportTypeStoreToPath);
    item->setStoreToPath("/media/clips");
    QVExportCellView cell;
    QVExportCellView::fillWithItem(cell, item);
    EXPECT_EQ(cell.textField.stringValue, "Night shot");
    EXPECT_EQ(cell.textField.toolTip, "Night shot");
    EXPECT_EQ(cell.subTitleField.stringValue, "Studio (Film/Scenes)");
    EXPECT_EQ(cell.storeToField.stringValue,
              text("exportstatus.info.storeto").replace("%@", "/media/clips"));
    EXPECT_EQ(cell.lineColor, QColor::fromRgbF(53 / 255.0f, 53 / 255.0f, 53 / 255.0f));

    // Without the node, the kept name; without both, the unknown-project text.
    item->setProject(nullptr);
    item->setImportType(QVImportTypeInsideLibrary);
    QVExportCellView::fillWithItem(cell, item);
    EXPECT_EQ(cell.subTitleField.stringValue, "Studio (Stale name)");
    EXPECT_EQ(cell.storeToField.stringValue, text("exportstatus.info.inside"));
    item->setProjectName(QString());
    QVExportCellView::fillWithItem(cell, item);
    EXPECT_EQ(cell.subTitleField.stringValue,
              "Studio (" + text("exportitem.unknown.project") + ")");
    ASSERT_NE(text("exportitem.unknown.project"), "exportitem.unknown.project");
}

TEST(ExportCellViewTest, ThumbnailIsLoadedOnceFromDiskOrFallsBackToTheFileTypeIcon) {
    QTemporaryDir dir;
    auto item = makeItem("clip", QVExportStatusCompleted);
    QVExportCellView cell;
    QVExportCellView::fillWithItem(cell, item);
    EXPECT_TRUE(cell.thumbnailView.image.isNull());
    EXPECT_FALSE(cell.thumbnailView.drawBorder);

    // A path to nothing, then to an unreadable file: still the icon.
    item->setThumbnailPath(dir.path() + "/missing.jpg");
    QVExportCellView::updateCellViewWithItem(cell, item);
    EXPECT_TRUE(cell.thumbnailView.image.isNull());
    QFile broken(dir.path() + "/broken.jpg");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a picture");
    broken.close();
    item->setThumbnailPath(broken.fileName());
    QVExportCellView::updateCellViewWithItem(cell, item);
    EXPECT_TRUE(cell.thumbnailView.image.isNull());
    EXPECT_FALSE(cell.thumbnailView.drawBorder);

    // The finish step sets only the path; the row reads it and keeps it.
    const QString path = writeThumbnail(dir.path(), "thumb");
    item->setThumbnailPath(path);
    QVExportCellView::updateCellViewWithItem(cell, item);
    EXPECT_EQ(cell.thumbnailView.image.size(), QSize(160, 90));
    EXPECT_TRUE(cell.thumbnailView.drawBorder);
    EXPECT_TRUE(cell.thumbnailView.icon.isNull());
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(item->thumbnailImage().size(), QSize(160, 90));
    QVExportCellView::updateCellViewWithItem(cell, item);
    EXPECT_TRUE(cell.thumbnailView.drawBorder);
}

TEST(ExportCellViewTest, ActionButtonImagesFollowTheActionAndHoverShowsIt) {
    QVExportCellView cell;
    EXPECT_EQ(cell.exportAction(), 0);
    EXPECT_TRUE(cell.actionButton.hidden);
    EXPECT_EQ(cell.actionButton.defaultImage, "icon.close.nor");
    EXPECT_EQ(cell.actionButton.clickedImage, "icon.close.pre");
    EXPECT_EQ(cell.actionButton.disabledImage, "icon.close.nor");
    cell.setExportAction(1);
    EXPECT_EQ(cell.actionButton.defaultImage, "list.reveal.nor");
    EXPECT_EQ(cell.actionButton.clickedImage, "list.reveal.pre");
    cell.setExportAction(7);
    EXPECT_EQ(cell.exportAction(), 7);
    EXPECT_EQ(cell.actionButton.defaultImage, "list.reveal.nor");
    cell.mouseEntered();
    EXPECT_FALSE(cell.actionButton.hidden);
    cell.mouseExited();
    EXPECT_TRUE(cell.actionButton.hidden);
}

TEST(ExportListViewTest, RowsOnScreenOnlyGetCellsAndThumbnails) {
    QTemporaryDir pictures;
    const QString path = writeThumbnail(pictures.path(), "shared");
    QVExportItemList items;
    for (int i = 0; i < 2000; ++i) {
        auto item = makeItem(QString("clip %1").arg(i), QVExportStatusCompleted);
        item->setThumbnailPath(path);  // a new item: not read until shown
        items << item;
    }
    QImage drawn(16, 9, QImage::Format_RGB32);
    drawn.fill(Qt::red);
    items[2]->setThumbnailPath(QString());
    items[2]->setThumbnailImage(drawn);
    ListHarness list(items, 65 * 6);
    ASSERT_EQ(list.view.rowHeight(), 65);
    ASSERT_EQ(list.view.numberOfRows(), 2000);
    const auto [first, last] = list.view.visibleRowRange();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 5);
    list.view.viewport()->repaint();
    EXPECT_FALSE(items[0]->thumbnailImage().isNull());
    EXPECT_FALSE(items[5]->thumbnailImage().isNull());
    EXPECT_TRUE(items[100]->thumbnailImage().isNull());
    EXPECT_NE(list.view.cellViewForRow(3), nullptr);
    EXPECT_EQ(list.view.cellViewForRow(1500), nullptr);

    // Scrolling through the whole list keeps only a bounded set of cells.
    for (int row = 0; row < 2000; row += 20) {
        list.view.scrollTo(list.model.index(row, 0), QAbstractItemView::PositionAtTop);
        list.view.viewport()->repaint();
    }
    list.view.scrollToBottom();
    list.view.viewport()->repaint();
    EXPECT_LE(list.view.cellCount(), 6 + 64 + 1);
    // Pictures read from disk left memory with their rows; one that exists
    // only in memory stays.
    int inMemory = 0;
    for (const auto& item : items)
        if (!item->thumbnailImage().isNull()) ++inMemory;
    EXPECT_LE(inMemory, list.view.cellCount() + 1);
    EXPECT_TRUE(items[0]->thumbnailImage().isNull());
    EXPECT_TRUE(items[1000]->thumbnailImage().isNull());
    EXPECT_NE(list.view.cellViewForRow(1999), nullptr);
    EXPECT_EQ(list.view.cellViewForRow(0), nullptr);
    EXPECT_NE(list.view.cellViewForRow(0, true), nullptr);
    EXPECT_EQ(items[2]->thumbnailImage(), drawn);
    // Back on screen, a row reads its picture again.
    list.view.scrollToTop();
    list.view.viewport()->repaint();
    EXPECT_FALSE(items[0]->thumbnailImage().isNull());
}

TEST(ExportListViewTest, RowsKeepTheirStatusAcrossReloadAndSelectionSurvives) {
    auto busy = makeItem("busy", QVExportStatusExporting);
    auto other = makeItem("other", QVExportStatusWaiting);
    ListHarness list({busy, other});
    ASSERT_EQ(list.view.cellViewForRow(0)->statusField.stringValue, text("exportstatus.exporting"));
    list.view.selectRow(1, false);

    busy->setExportStatus(QVExportStatusCreating);
    list.manager.setExportItems({makeItem("new", QVExportStatusWaiting), busy, other});
    list.view.reloadExportList();
    EXPECT_EQ(list.view.selectedRowIndexes(), QList<int>{1});
    const QVExportCellView* cell = list.view.cellViewForRow(1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->textField.stringValue, "busy");
    EXPECT_EQ(cell->statusField.stringValue, text("exportstatus.exporting"));
    EXPECT_EQ(cell->imageView.imageName, "workflow.icon.work");

    // Fewer rows than the selection reached: what is left stays selected.
    list.manager.setExportItems({busy});
    list.view.reloadExportList();
    EXPECT_TRUE(list.view.selectedRowIndexes().isEmpty());
}

TEST(ExportListViewTest, PointerOverARowShowsItsActionButtonAndClickingItReports) {
    ListHarness list({makeItem("a", 0), makeItem("b", 0), makeItem("c", 0)});
    QSignalSpy clicked(&list.view, &QVExportListView::actionButtonClicked);
    QWidget* viewport = list.view.viewport();
    const QRect row1 = list.view.visualRect(list.model.index(1, 0));

    QTest::mouseMove(viewport, row1.center());
    ASSERT_EQ(list.view.hoveredRow(), 1);
    EXPECT_FALSE(list.view.cellViewForRow(1)->actionButton.hidden);
    EXPECT_TRUE(list.view.cellViewForRow(0)->actionButton.hidden);

    const QPoint button =
        QVExportListDelegate::partRect(QVExportListDelegate::Part::ActionButton, row1).center();
    QTest::mouseMove(viewport, button);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, button);
    EXPECT_EQ(list.view.pressedButtonRow(), 1);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, button);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toInt(), 1);
    EXPECT_EQ(clicked.at(0).at(1).toLongLong(), 0);
    // The button does not select its row.
    EXPECT_TRUE(list.view.selectedRowIndexes().isEmpty());

    // Moving to another row moves the button; leaving the list hides it.
    const QRect row2 = list.view.visualRect(list.model.index(2, 0));
    QTest::mouseMove(viewport, row2.center());
    EXPECT_TRUE(list.view.cellViewForRow(1)->actionButton.hidden);
    EXPECT_FALSE(list.view.cellViewForRow(2)->actionButton.hidden);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(viewport, &leave);
    EXPECT_EQ(list.view.hoveredRow(), -1);
    EXPECT_TRUE(list.view.cellViewForRow(2)->actionButton.hidden);

    // Tool tips: the name over the name, the status over the status.
    auto tipAt = [&](const QPoint& at) {
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        return QToolTip::text();
    };
    EXPECT_EQ(
        tipAt(QVExportListDelegate::partRect(QVExportListDelegate::Part::Name, row1).center()),
        "b");
    EXPECT_EQ(
        tipAt(
            QVExportListDelegate::partRect(QVExportListDelegate::Part::Status, row1).bottomRight() -
            QPoint(2, 2)),
        text("exportstatus.waiting"));

    // A click outside the button selects as usual and reports nothing.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, row1.center());
    EXPECT_EQ(list.view.selectedRowIndexes(), QList<int>{1});
    EXPECT_EQ(clicked.count(), 1);
}

TEST(ExportListViewTest, DeleteAndReturnKeysAskForTheirCommands) {
    ListHarness list({makeItem("a", 0)});
    QSignalSpy deletes(&list.view, &QVExportListView::deleteRequested);
    QSignalSpy opens(&list.view, &QVExportListView::openRequested);
    list.view.setFocus();
    QTest::keyClick(&list.view, Qt::Key_Delete);
    QTest::keyClick(&list.view, Qt::Key_Backspace);
    QTest::keyClick(&list.view, Qt::Key_Return);
    QTest::keyClick(&list.view, Qt::Key_Enter);
    QTest::keyClick(&list.view, Qt::Key_Down);
    EXPECT_EQ(deletes.count(), 2);
    EXPECT_EQ(opens.count(), 2);
}

TEST(ExportListViewTest, ARowIsPaintedInsideItsOwnRectangle) {
    ListHarness list({makeItem("a", QVExportStatusCompleted)});
    QVExportCellView cell;
    QImage picture(160, 90, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    cell.thumbnailView.image = picture;
    cell.thumbnailView.drawBorder = true;
    cell.imageView.imageName = "workflow.icon.success";

    QImage canvas(640, 260, QImage::Format_ARGB32);
    canvas.fill(Qt::black);
    const QRect row(0, 130, 640, 65);
    {
        QPainter painter(&canvas);
        painter.translate(0, 10);  // as a scrolled viewport's painter may be
        list.view.exportDelegate()->paintCell(&painter, row, cell, 2, false, false);
    }
    const QPoint thumb =
        QVExportListDelegate::partRect(QVExportListDelegate::Part::Thumbnail, row).center() +
        QPoint(0, 10);
    EXPECT_EQ(QColor(canvas.pixel(thumb)).green(), 200);
    // Nothing above or below the row's rectangle was touched.
    for (int y : {0, 60, 120, 139, 206, 259})
        EXPECT_EQ(canvas.pixel(thumb.x(), y), QColor(Qt::black).rgb()) << y;
}
