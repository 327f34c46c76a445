#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTest>

#include "WindowControllerFixture.h"
#include "export/QVExportItem.h"
#include "library/QVProject.h"
#include "platform/Localization.h"
#include "service/QVTesselUtil.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportListView.h"
#include "ui/kit/QVLumoMenu.h"

namespace {

QString format(const QString& f, const QStringList& args) {
    return Localization::format(f, args);
}

}  // namespace

TEST_F(WindowControllerTest, ContextMenuFollowsTheSelection) {
    const QString file = touch(home_->path() + "/out/done.mov");
    auto done = item("Done clip", QVExportStatusCompleted, file);
    auto failed = item("Failed clip", QVExportStatusCreateFailed);
    failed->setProject(QVProject::projectWithID("p1", "Film", "db", 0));
    setItems({done, failed, item("Orphan", QVExportStatusUpdateFailed)});
    FCPXWindowController& c = controller();

    select({});
    EXPECT_FALSE(c.shouldDisplayTableMenu(nullptr));
    EXPECT_FALSE(c.exportListView()->showContextMenuAt(QPoint(5, 5 + 65 * 5)));

    select({0});
    ASSERT_TRUE(c.shouldDisplayTableMenu(nullptr));
    EXPECT_EQ(c.revealMenuItem()->text(), format(text("menuitem.reveal"), {"Done clip"}));
    EXPECT_EQ(c.deleteMenuItem()->text(), format(text("menuitem.delete.one"), {"Done clip"}));
    EXPECT_NE(c.openWithMenuItem()->menu(), nullptr);  // the file is there
    EXPECT_FALSE(c.retryMenuItem()->isVisible());
    EXPECT_FALSE(c.retrySepMenuItem()->isVisible());
    EXPECT_TRUE(c.validateMenuItem(c.openMenuItem()));
    EXPECT_TRUE(c.validateMenuItem(c.openWithMenuItem()));
    EXPECT_TRUE(c.validateMenuItem(c.revealMenuItem()));

    // A failed row with a project offers retry; the file is missing, so
    // there is nothing to open.
    select({1});
    ASSERT_TRUE(c.shouldDisplayTableMenu(nullptr));
    EXPECT_EQ(c.openWithMenuItem()->menu(), nullptr);
    EXPECT_TRUE(c.retryMenuItem()->isVisible());
    EXPECT_TRUE(c.retrySepMenuItem()->isVisible());
    EXPECT_FALSE(c.validateMenuItem(c.openMenuItem()));
    select({2});  // failed without a project
    ASSERT_TRUE(c.shouldDisplayTableMenu(nullptr));
    EXPECT_FALSE(c.retryMenuItem()->isVisible());

    select({0, 1});
    ASSERT_TRUE(c.shouldDisplayTableMenu(nullptr));
    EXPECT_EQ(c.deleteMenuItem()->text(), text("menuitem.delete.multi"));
    EXPECT_EQ(c.revealMenuItem()->text(), text("menuitem.reveal.normal"));
    EXPECT_EQ(c.openWithMenuItem()->menu(), nullptr);
    EXPECT_FALSE(c.retryMenuItem()->isVisible());
    EXPECT_FALSE(c.validateMenuItem(c.openMenuItem()));
    EXPECT_FALSE(c.validateMenuItem(c.openWithMenuItem()));
    EXPECT_FALSE(c.validateMenuItem(c.revealMenuItem()));
    EXPECT_TRUE(c.validateMenuItem(c.deleteMenuItem()));
    select({});
    EXPECT_FALSE(c.validateMenuItem(c.deleteMenuItem()));

    // A right click on a row selects it and opens the menu.
    const QRect row2 = c.exportListView()->visualRect(c.exportListView()->model()->index(2, 0));
    EXPECT_TRUE(c.exportListView()->showContextMenuAt(row2.center()));
    EXPECT_EQ(c.exportListView()->selectedRowIndexes(), QList<int>{2});
    c.exportListView()->contextMenu()->hide();
}

TEST_F(WindowControllerTest, RowsNotFinishedCannotBeOpenedOrRevealedEvenWithAFile) {
    const QString file = touch(home_->path() + "/out/clip.mov");
    for (qint64 status : {QVExportStatusNone, QVExportStatusWaiting, QVExportStatusExporting,
                          QVExportStatusCanceled})
        EXPECT_FALSE(FCPXWindowController::fileExistWithExportItem(item("c", status, file)))
            << status;
    for (qint64 status : {QVExportStatusCompleted, QVExportStatusCreating,
                          QVExportStatusCreateFailed, QVExportStatusUpdateFailed})
        EXPECT_TRUE(FCPXWindowController::fileExistWithExportItem(item("c", status, file)))
            << status;
    EXPECT_FALSE(FCPXWindowController::fileExistWithExportItem(
        item("c", QVExportStatusCompleted, file + ".gone")));

    // An FCPXML-only row is judged by its description's status and path.
    auto xml = item("x", QVExportStatusCompleted, file);
    xml->setFcpXMLOnly(true);
    xml->setFcpXMLPath(file);
    xml->setFcpXMLStatus(QVExportStatusWaiting);
    EXPECT_FALSE(FCPXWindowController::fileExistWithExportItem(xml));

    // Retry is decided by the first failed item.
    auto withProject = item("p", QVExportStatusUpdateFailed);
    withProject->setProject(QVProject::projectWithID("p1", "Film", "db", 0));
    auto without = item("n", QVExportStatusCreateFailed);
    EXPECT_TRUE(FCPXWindowController::hasRetryItems({item("ok", 2), withProject, without}));
    EXPECT_FALSE(FCPXWindowController::hasRetryItems({without, withProject}));
    EXPECT_FALSE(FCPXWindowController::hasRetryItems({item("ok", 2)}));
}

TEST_F(WindowControllerTest, OpenAndRevealUseTheFileOrSayItIsGone) {
    const QString file = touch(home_->path() + "/out/clip.mov");
    QStringList& calls = workspaceCalls_;
    auto present = item("Here", QVExportStatusCompleted, file);
    auto gone = item("Gone", QVExportStatusCompleted, home_->path() + "/out/gone.mov");
    setItems({present, gone});
    FCPXWindowController& c = controller();
    select({0});
    c.openAction();
    c.revealInFinderAction();
    EXPECT_EQ(calls, (QStringList{"open " + file, "reveal " + file}));
    EXPECT_TRUE(alerts_.isEmpty());

    select({1});
    c.revealInFinderAction();
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_EQ(alerts_[0], format(text("exportitem.file.not.exist"), {"Gone", gone->filePath()}));

    // Return opens the selected row.
    select({0});
    c.exportListView()->setFocus();
    QTest::keyClick(c.exportListView(), Qt::Key_Return);
    EXPECT_EQ(calls.size(), 3);
    EXPECT_EQ(calls.last(), "open " + file);
}

TEST_F(WindowControllerTest, DeleteRemovesTheSelectedRowsAfterConfirmationAndKeepsFiles) {
    const QString thumbs = QVTesselUtil::relaydockThumbnailFolder();
    const QString thumb = touch(thumbs + "/one.jpg");
    auto a = item("A", QVExportStatusCompleted);
    a->setThumbnailPath(thumb);
    auto b = item("B", QVExportStatusCompleted);
    auto d = item("C", QVExportStatusCompleted);
    setItems({a, b, d});
    FCPXWindowController& c = controller();

    select({0, 2});
    answer_ = 0;  // Cancel changes nothing
    c.deleteItemAction();
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 3);
    answer_ = 1;
    c.deleteItemAction();
    ASSERT_EQ(alerts_.size(), 2);
    EXPECT_EQ(alerts_[1], text("exportitems.want.delete"));
    EXPECT_EQ(alertButtons_[1], text("button.delete"));
    EXPECT_EQ(QVExportItemManager::sharedManager().exportItems(), QVExportItemList{b});
    EXPECT_EQ(c.exportListView()->numberOfRows(), 1);
    EXPECT_TRUE(QFile::exists(thumb));

    // The Delete key asks too; nothing selected, nothing asked.
    select({});
    QTest::keyClick(c.exportListView(), Qt::Key_Delete);
    EXPECT_EQ(alerts_.size(), 2);
    select({0});
    QTest::keyClick(c.exportListView(), Qt::Key_Delete);
    EXPECT_EQ(alerts_.size(), 3);
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
}

TEST_F(WindowControllerTest, ClearEmptiesTheListAndTheThumbnailFolder) {
    const QString thumbs = QVTesselUtil::relaydockThumbnailFolder();
    touch(thumbs + "/one.jpg");
    touch(thumbs + "/stray/two.jpg");
    setItems({item("A", 2), item("B", 0)});
    FCPXWindowController& c = controller();
    answer_ = 0;
    c.clearAction();
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 2);
    EXPECT_TRUE(QFile::exists(thumbs + "/one.jpg"));

    answer_ = 1;
    c.clearAction();
    EXPECT_EQ(alerts_.last(), text("exportitems.want.clear"));
    EXPECT_EQ(alertButtons_.last(), text("button.clear"));
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
    EXPECT_EQ(c.exportListView()->numberOfRows(), 0);
    EXPECT_TRUE(QDir(thumbs).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    // An empty list asks nothing.
    c.clearAction();
    EXPECT_EQ(alerts_.size(), 2);
}

TEST_F(WindowControllerTest, RowCloseButtonRemovesItsOwnRowAfterConfirmation) {
    auto a = item("A", QVExportStatusCompleted);
    auto b = item("B", QVExportStatusCompleted);
    setItems({a, b});
    FCPXWindowController& c = controller();
    select({0});
    emit c.exportListView()->actionButtonClicked(1, 0);
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_EQ(QVExportItemManager::sharedManager().exportItems(), QVExportItemList{a});
}
