#include <QMenu>  // before QVLumoTableView.h, whose QPointer<QMenu> needs it

#include "PanelFixture.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "support/Wait.h"
#include "ui/QVLibraryListCellView.h"
#include "ui/QVLibraryListModel.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSelectLibraryPanel.h"
#include "ui/QVSheetPresenter.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoTableView.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

QVPreferenceManager& prefs() {
    return QVPreferenceManager::sharedManager();
}

class SelectPanelTest : public PanelFixture {
  protected:
    void open(const std::shared_ptr<QVLibrary>& library = nullptr,
              const std::shared_ptr<QVProject>& project = nullptr) {
        panel_ = std::make_unique<QVSelectLibraryPanel>();
        panel_->setSelectedLibrary(library);
        panel_->setSelectedProject(project);
        ASSERT_TRUE(panel_->beginSheet(mainWindow_.get(), [this](qint64 code) { codes_ << code; }));
    }
    void openList() {
        panel_->selectLibraryAction();
        ASSERT_TRUE(waitUntil([&] { return panel_->libraryList()->isShown(); }));
    }
    int rowOf(const QString& dbName) {
        const QVLibraryList rows = panel_->libraryList()->model()->libraries();
        for (int row = 0; row < rows.size(); ++row)
            if (rows.at(row)->dbName() == dbName) return row;
        return -1;
    }
    // The loaded tree of a library, so a test can hold one of its nodes.
    std::shared_ptr<QVProject> loadedNode(const QString& dbName, const QString& id) {
        bool done = false;
        library(dbName)->loadProjectsWithCompletion(
            [&](const QVProjectList&, const QVErrorOpt&) { done = true; });
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return library(dbName)->projectWithID(id);
    }
    bool outlineLoaded() {
        return waitUntil([&] { return panel_->projectOutlineView()->numberOfRows() > 0; });
    }

    std::unique_ptr<QVSelectLibraryPanel> panel_;
    QList<qint64> codes_;
};

TEST_F(SelectPanelTest, WithoutADefaultLibraryTheHeaderSaysSoAndOKIsOff) {
    ASSERT_TRUE(startService());
    open();
    EXPECT_EQ(panel_->libraryTitleField()->stringValue(), text("library.no.library"));
    EXPECT_EQ(panel_->libraryIconView()->imageName(), "menu.icon.library");
    EXPECT_EQ(panel_->projectOutlineView()->numberOfRows(), 0);
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
    panel_->okAction();
    EXPECT_TRUE(codes_.isEmpty());
    panel_->cancelAction();
    EXPECT_EQ(codes_, QList<qint64>({0}));
    EXPECT_FALSE(QVSheetPresenter::isSheetShown(panel_->window()));
}

TEST_F(SelectPanelTest, TheDefaultNodeIsFoundAgainByIDWithEveryNodeExpanded) {
    ASSERT_TRUE(startService());
    const auto night = loadedNode("loc", "g11");
    ASSERT_TRUE(night);
    open(library("loc"), night);
    EXPECT_TRUE(panel_->syncTessel());
    EXPECT_EQ(panel_->libraryTitleField()->stringValue(), "Local One");
    EXPECT_DOUBLE_EQ(panel_->libraryIconView()->alphaValue(), 1.0);
    QVLumoOutlineView* outline = panel_->projectOutlineView();
    ASSERT_TRUE(waitUntil([&] { return outline->selectedRow() >= 0; }));
    // Every node shows: Film, Scenes, Night, Day, Music, Trailer.
    EXPECT_EQ(outline->numberOfRows(), 6);
    EXPECT_EQ(nodeIDAtRow(outline, outline->selectedRow()), "g11");
    // The tree was loaded anew: the choice is the new tree's node.
    ASSERT_TRUE(panel_->selectedProject());
    EXPECT_EQ(panel_->selectedProject()->id(), "g11");
    EXPECT_NE(panel_->selectedProject(), night);
    EXPECT_TRUE(panel_->OKButton()->isEnabled());
    panel_->okAction();
    EXPECT_EQ(codes_, QList<qint64>({1}));
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "loc");
}

TEST_F(SelectPanelTest, ADefaultNodeNoLongerInTheTreeLeavesNothingChosen) {
    ASSERT_TRUE(startService());
    auto gone = QVProject::projectWithID("vanished", "Vanished", "loc", 0);
    open(library("loc"), gone);
    ASSERT_TRUE(outlineLoaded());
    ASSERT_TRUE(waitUntil([&] { return !panel_->selectedProject(); }));
    EXPECT_EQ(panel_->projectOutlineView()->selectedRow(), -1);
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
}

TEST_F(SelectPanelTest, ChoosingALibraryClearsTheNodeAndIsRememberedAtOnce) {
    ASSERT_TRUE(startService());
    const auto film = loadedNode("loc", "p1");
    open(library("loc"), film);
    ASSERT_TRUE(waitUntil([&] { return panel_->OKButton()->isEnabled(); }));
    openList();
    EXPECT_EQ(panel_->librarySelectView()->size(), QSize(350, 126));
    QVLibraryListCellView* chosen = panel_->libraryCellViewAtRow(rowOf("loc"));
    EXPECT_EQ(chosen->checkIcon()->imageName(), "icon.confirm.check");
    ASSERT_TRUE(waitUntil([&] {
        QVLibraryListCellView* cell = panel_->libraryCellViewAtRow(rowOf("net"));
        return cell && cell->writableIcon()->imageName() == "librarybar.connected";
    }));
    clickRow(panel_->libraryTableView(), rowOf("net"));
    EXPECT_FALSE(panel_->libraryList()->isShown());
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "net");
    EXPECT_FALSE(panel_->selectedProject());
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
    EXPECT_EQ(prefs().lastSelectedLibraryID(), "net");
    EXPECT_EQ(panel_->libraryIconView()->imageName(), "librarybar.network");

    QVLumoOutlineView* outline = panel_->projectOutlineView();
    ASSERT_TRUE(waitUntil([&] { return outline->numberOfRows() == 2; }));
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
    outline->selectRow(rowOfNode(outline, "ng"), false);
    ASSERT_TRUE(panel_->selectedProject());
    EXPECT_EQ(panel_->selectedProject()->id(), "ng");
    EXPECT_TRUE(panel_->OKButton()->isEnabled());
    outline->clearSelection();
    EXPECT_FALSE(panel_->selectedProject());
    EXPECT_FALSE(panel_->OKButton()->isEnabled());

    // Cancelled: the last library stays stored all the same.
    panel_->cancelAction();
    EXPECT_EQ(codes_, QList<qint64>({0}));
    EXPECT_EQ(prefs().lastSelectedLibraryID(), "net");
}

TEST_F(SelectPanelTest, OfflineLocalLibrariesAreDimmedAndRefuseSelection) {
    ASSERT_TRUE(startService(25, /*asCompanion=*/false));
    open(library("loc"));
    EXPECT_FALSE(panel_->syncTessel());
    EXPECT_DOUBLE_EQ(panel_->libraryTitleField()->alphaValue(), 0.5);
    openList();
    EXPECT_EQ(panel_->librarySelectView()->size(), QSize(350, 840));
    const int row = rowOf("loc2");
    QVLibraryListCellView* cell = panel_->libraryCellViewAtRow(row);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->libraryInfoField()->stringValue(), text("librarybar.offline"));
    EXPECT_EQ(cell->writableIcon()->imageName(), "librarybar.disconnected");
    EXPECT_DOUBLE_EQ(cell->libraryIcon()->alphaValue(), 0.5);
    // Refused by click and by a selection made in code alike.
    clickRow(panel_->libraryTableView(), row);
    panel_->libraryTableView()->selectRow(row, false);
    EXPECT_TRUE(panel_->libraryList()->isShown());
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "loc");
    EXPECT_TRUE(panel_->libraryTableView()->selectedRowIndexes().isEmpty());

    // The list button closes the list it opened.
    panel_->selectLibraryAction();
    ASSERT_TRUE(waitUntil([&] { return !panel_->libraryList()->isShown(); }));
}

TEST_F(SelectPanelTest, LoadLibraryWithIDAndTheProjectsLoadedNotification) {
    ASSERT_TRUE(startService());
    open();
    panel_->loadLibraryWithID("loc2");
    ASSERT_TRUE(waitUntil([&] { return panel_->selectedLibrary() != nullptr; }));
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "loc2");
    EXPECT_TRUE(panel_->libraryListButton()->isEnabled());
    ASSERT_TRUE(outlineLoaded());
    QVLumoOutlineView* outline = panel_->projectOutlineView();
    outline->selectRow(rowOfNode(outline, "q1"), false);
    const auto before = panel_->selectedProject();
    ASSERT_TRUE(before);
    // An unknown name keeps the choice.
    panel_->loadLibraryWithID("nothing-like-it");
    Dispatch::waitForGlobal();
    ASSERT_TRUE(waitUntil([&] { return panel_->selectedLibrary()->dbName() == "loc2"; }));

    // The chosen library's tree reloaded elsewhere: reloaded here, node kept.
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", library("loc2"));
    ASSERT_TRUE(waitUntil(
        [&] { return panel_->selectedProject() && panel_->selectedProject() != before; }));
    EXPECT_EQ(panel_->selectedProject()->id(), "q1");
    EXPECT_TRUE(panel_->OKButton()->isEnabled());
}

}  // namespace
