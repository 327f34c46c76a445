#include <QTemporaryDir>

#include <QMenu>  // before QVLumoTableView.h, whose QPointer<QMenu> needs it

#include "PanelFixture.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/NotificationCenter.h"
#include "support/Wait.h"
#include "ui/QVLibraryListCellView.h"
#include "ui/QVLibraryListModel.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoITIndicator.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoTableView.h"
#include "ui/kit/QVLumoWindow.h"

// The import panel's library pop-over, storage menu and indicator.
namespace {

QVPreferenceManager& prefs() {
    return QVPreferenceManager::sharedManager();
}

class ImportPanelListTest : public PanelFixture {
  protected:
    void open() {
        panel_ = std::make_unique<QVTesselImportPanel>();
        panel_->setName("Clip");
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
    // Waits until the reload of a row's library has been drawn.
    bool rowDrawnAs(const QString& dbName, const char* writableImage) {
        return waitUntil([&] {
            QVLibraryListCellView* cell = panel_->libraryCellViewAtRow(rowOf(dbName));
            return cell && cell->writableIcon()->imageName() == writableImage;
        });
    }

    std::unique_ptr<QVTesselImportPanel> panel_;
    QList<qint64> codes_;
};

TEST_F(ImportPanelListTest, PopoverSizesForThreeLibrariesAndTheButtonTogglesIt) {
    ASSERT_TRUE(startService(3));
    open();
    openList();
    QWidget* list = panel_->librarySelectView();
    EXPECT_EQ(list->size(), QSize(350, 126));
    QVLumoPopover* popover = panel_->popOverLibraryList();
    ASSERT_TRUE(popover);
    EXPECT_EQ(popover->contentView(), list);
    EXPECT_DOUBLE_EQ(popover->arrowWidth(), 30);
    EXPECT_EQ(popover->backgroundColor(), QColor(35, 35, 35));
    EXPECT_EQ(popover->borderColor(), QColor::fromRgbF(0.5, 0.5, 0.5));
    EXPECT_TRUE(popover->closesWhenApplicationBecomesInactive());
    EXPECT_TRUE(popover->closesWhenPopoverResignsKey());
    EXPECT_EQ(panel_->libraryTableView()->numberOfRows(), 3);
    EXPECT_EQ(panel_->libraryTableView()->rowHeight(), 40);

    // Pressed again while shown: the registry reloads, then the list closes.
    panel_->selectLibraryAction();
    ASSERT_TRUE(waitUntil([&] { return !panel_->libraryList()->isShown(); }));
    EXPECT_FALSE(panel_->popOverLibraryList());
    EXPECT_FALSE(panel_->libraryList()->isShown());
}

TEST_F(ImportPanelListTest, PopoverStopsGrowingAtTwentyRows) {
    ASSERT_TRUE(startService(25));
    open();
    openList();
    EXPECT_EQ(panel_->librarySelectView()->size(), QSize(350, 840));
    EXPECT_EQ(panel_->libraryTableView()->numberOfRows(), 25);
    EXPECT_EQ(QVLibraryListPopover::listHeightForCount(20), 840);
    EXPECT_EQ(QVLibraryListPopover::listHeightForCount(19), 798);
}

TEST_F(ImportPanelListTest, LocalLibrariesCannotBeChosenWhileTheCompanionIsAbsent) {
    ASSERT_TRUE(startService(3, /*asCompanion=*/false));
    prefs().setLastSelectedLibraryID("loc");
    open();
    EXPECT_FALSE(panel_->syncTessel());
    // The chosen local library is writable, yet shown dimmed.
    ASSERT_TRUE(panel_->selectedLibrary());
    EXPECT_TRUE(panel_->selectedLibrary()->isWritableLibrary());
    EXPECT_DOUBLE_EQ(panel_->libraryTitleField()->alphaValue(), 0.5);

    openList();
    ASSERT_TRUE(rowDrawnAs("net", "librarybar.connected"));
    const int local = rowOf("loc");
    QVLibraryListCellView* cell = panel_->libraryCellViewAtRow(local);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->libraryInfoField()->stringValue(), text("librarybar.offline"));
    EXPECT_EQ(cell->writableIcon()->imageName(), "librarybar.disconnected");
    EXPECT_DOUBLE_EQ(cell->libraryNameField()->alphaValue(), 0.5);
    EXPECT_DOUBLE_EQ(cell->libraryIcon()->alphaValue(), 0.5);
    EXPECT_EQ(cell->checkIcon()->imageName(), "icon.confirm.check");
    EXPECT_EQ(cell->libraryIcon()->imageName(), "librarybar.local");
    EXPECT_FALSE(panel_->libraryList()->model()->isRowSelectable(local));

    // A click on the local row does nothing; one on the network row chooses it.
    clickRow(panel_->libraryTableView(), local);
    EXPECT_TRUE(panel_->libraryList()->isShown());
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "loc");
    QVLibraryListCellView* net = panel_->libraryCellViewAtRow(rowOf("net"));
    EXPECT_EQ(net->libraryInfoField()->stringValue(), "across the network");
    EXPECT_EQ(net->libraryIcon()->imageName(), "librarybar.network");
    EXPECT_TRUE(net->checkIcon()->imageName().isEmpty());
    clickRow(panel_->libraryTableView(), rowOf("net"));
    EXPECT_FALSE(panel_->libraryList()->isShown());
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "net");
    EXPECT_EQ(prefs().lastSelectedLibraryID(), "net");
    EXPECT_EQ(panel_->libraryTitleField()->stringValue(), "Remote Net");
    EXPECT_DOUBLE_EQ(panel_->libraryTitleField()->alphaValue(), 1.0);
    ASSERT_TRUE(waitUntil([&] { return rowOfNode(panel_->projectOutlineView(), "np") == 0; }));
}

TEST_F(ImportPanelListTest, WithTheCompanionRunningLocalRowsCanBeChosen) {
    ASSERT_TRUE(startService(3));
    open();
    openList();
    ASSERT_TRUE(rowDrawnAs("loc2", "librarybar.connected"));
    QVLibraryListCellView* cell = panel_->libraryCellViewAtRow(rowOf("loc2"));
    EXPECT_TRUE(panel_->libraryList()->model()->libraryAtRow(rowOf("loc2"))->onlineStatus());
    EXPECT_DOUBLE_EQ(cell->libraryNameField()->alphaValue(), 1.0);
    clickRow(panel_->libraryTableView(), rowOf("loc2"));
    ASSERT_TRUE(panel_->selectedLibrary());
    EXPECT_EQ(panel_->selectedLibrary()->dbName(), "loc2");
    ASSERT_TRUE(waitUntil([&] { return rowOfNode(panel_->projectOutlineView(), "q1") == 0; }));
}

TEST_F(ImportPanelListTest, StorageMenuFollowsThePreferencesAndValidatesItems) {
    QTemporaryDir folder;
    prefs().setStoreTo(true);
    prefs().setStoreToPath(folder.path());
    QVLibraryManager::sharedManager().setLibraries({});
    open();
    QVLumoPopUpButton* popup = panel_->storeToPopupButton();
    QAction* inside = panel_->selectedLibraryMenuItem();
    QAction* path = panel_->storeToPathMenuItem();
    ASSERT_TRUE(inside && path);
    EXPECT_EQ(inside->text(), text("defaultlibrary.storeto.inside.library"));
    EXPECT_EQ(path->text(), QFileInfo(folder.path()).fileName());
    EXPECT_EQ(popup->selectedItem(), path);
    QVLumoMenu* menu = popup->menu();
    QAction* caption = menu->itemWithActionName("externalLocationAction:");
    QAction* other = menu->itemWithActionName("popupStoreToOtherAction:");
    ASSERT_TRUE(caption && other);
    // No library: only the inside item can be chosen.
    menu->validateItems();
    EXPECT_TRUE(inside->isEnabled());
    EXPECT_FALSE(caption->isEnabled());
    EXPECT_FALSE(path->isEnabled());
    EXPECT_FALSE(other->isEnabled());
    panel_->setSelectedLibrary(QVLibrary::libraryWithDictionary(QVariantMap{
        {"dbname", "x"}, {"name", "X"}, {"packagefolder", "/x"}, {"address", "127.0.0.1"}}));
    menu->validateItems();
    EXPECT_FALSE(caption->isEnabled());
    EXPECT_TRUE(path->isEnabled());
    EXPECT_TRUE(other->isEnabled());

    inside->trigger();
    EXPECT_FALSE(prefs().storeTo());
    path->trigger();
    EXPECT_TRUE(prefs().storeTo());
    EXPECT_EQ(panel_->selectedStoreToMenuItem(), path);
}

TEST_F(ImportPanelListTest, FolderChooserAnswersOrCancels) {
    QTemporaryDir base;
    const QString chosen = base.path() + "/Exports Here";
    ASSERT_TRUE(QDir().mkpath(chosen));
    QVLibraryManager::sharedManager().setLibraries({});
    prefs().setStoreToPath(QString());
    open();
    QVLumoPopUpButton* popup = panel_->storeToPopupButton();
    EXPECT_FALSE(panel_->storeToPathMenuItem());
    QAction* other = popup->menu()->itemWithActionName("popupStoreToOtherAction:");

    QString answer;
    QVSheetFolderChooser::Options asked;
    QWidget* askedOn = nullptr;
    QVSheetFolderChooser::setProvider([&](QWidget* parent,
                                          const QVSheetFolderChooser::Options& options,
                                          QVSheetFolderChooser::Completion done) {
        asked = options;
        askedOn = parent;
        done(answer);
    });
    // Cancelled: back to the remembered item, nothing stored.
    popup->selectItem(other);
    other->trigger();
    ASSERT_TRUE(waitUntil([&] { return askedOn != nullptr; }));
    EXPECT_EQ(askedOn, panel_->window());
    EXPECT_EQ(asked.title, text("defaultlibrary.storeto.openpanel.title"));
    EXPECT_EQ(asked.prompt, text("defaultlibrary.storeto.openpanel.select"));
    EXPECT_EQ(popup->selectedItem(), panel_->selectedLibraryMenuItem());
    EXPECT_FALSE(prefs().storeTo());

    // Chosen: stored, and the menu gains the folder item, selected.
    answer = chosen;
    askedOn = nullptr;
    other->trigger();
    ASSERT_TRUE(waitUntil([&] { return askedOn != nullptr; }));
    EXPECT_TRUE(prefs().storeTo());
    EXPECT_EQ(prefs().storeToPath(), chosen);
    QAction* folder = panel_->storeToPathMenuItem();
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->text(), "Exports Here");
    EXPECT_EQ(popup->selectedItem(), folder);
    EXPECT_EQ(panel_->selectedStoreToMenuItem(), folder);

    // The chooser starts in the stored folder; a cancel returns to it.
    answer = QString();
    askedOn = nullptr;
    other = popup->menu()->itemWithActionName("popupStoreToOtherAction:");
    popup->selectItem(other);
    other->trigger();
    ASSERT_TRUE(waitUntil([&] { return askedOn != nullptr; }));
    EXPECT_EQ(asked.directory, chosen);
    EXPECT_EQ(popup->selectedItem(), folder);
    EXPECT_EQ(prefs().storeToPath(), chosen);
}

TEST_F(ImportPanelListTest, IndicatorSpinsUntilTheLibrariesHaveLoaded) {
    QVLibraryManager::sharedManager().setLibraries({});
    QVTesselImportPanel::setLibraryLoadedProvider([] { return false; });
    open();
    QVTesselImportPanel::setLibraryLoadedProvider(nullptr);
    QVLumoITIndicator* indicator = panel_->indicator();
    EXPECT_TRUE(indicator->isAnimating());
    EXPECT_FALSE(indicator->isHidden());
    NotificationCenter::defaultCenter().post("NOTI_RELOAD_LIBRARY_COMPLETED");
    EXPECT_FALSE(indicator->isAnimating());
    EXPECT_TRUE(indicator->isHidden());
}

TEST_F(ImportPanelListTest, ProjectsLoadedNotificationRebuildsTheOutlineKeepingTheChoice) {
    ASSERT_TRUE(startService(3));
    prefs().setLastSelectedLibraryID("loc");
    prefs().setLastSelectedProjectID("g2");
    open();
    QVLumoOutlineView* outline = panel_->projectOutlineView();
    ASSERT_TRUE(waitUntil([&] { return outline->selectedRow() >= 0; }));
    const auto chosen = panel_->selectedLibrary();
    // Another library's notification changes nothing.
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", library("loc2"));
    EXPECT_EQ(nodeIDAtRow(outline, outline->selectedRow()), "g2");
    bool loaded = false;
    chosen->loadProjectsWithCompletion(
        [&](const QVProjectList&, const QVErrorOpt&) { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", chosen);
    ASSERT_GE(outline->selectedRow(), 0);
    EXPECT_EQ(nodeIDAtRow(outline, outline->selectedRow()), "g2");
    EXPECT_EQ(prefs().lastSelectedProjectID(), "g2");
}

}  // namespace
