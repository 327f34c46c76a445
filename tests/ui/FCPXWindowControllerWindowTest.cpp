#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>

#include "WindowControllerFixture.h"
#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/NotificationCenter.h"
#include "platform/QVLog.h"
#include "support/Wait.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportListView.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoPopUpButton.h"

TEST_F(WindowControllerTest, SetUpFollowsThePreferencesAndRunsOnce) {
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setUseDefaultLibrary(false);
    preferences.setExportFCPXMLOnly(true);
    preferences.setStoreToPath(home_->path());
    preferences.setStoreTo(true);
    FCPXWindowController& c = controller();
    EXPECT_TRUE(c.loaded());
    EXPECT_EQ(c.window()->windowTitle(), "Relaydock for Corvane Pro");
    EXPECT_FALSE(c.checkUseDefaultLibraryButton()->isChecked());
    EXPECT_TRUE(c.fcpXMLOnlyCheckButton()->isChecked());
    EXPECT_EQ(c.topBarView()->height(), FCPXWindowController::kTopBarHiddenHeight);
    // The popup shows the folder; the choice in force stays the library
    // until the user picks an entry.
    ASSERT_NE(c.storeToPathMenuItem(), nullptr);
    EXPECT_EQ(c.storeToPopupButton()->selectedItem(), c.storeToPathMenuItem());
    EXPECT_EQ(c.selectedStoreToMenuItem(), c.selectedLibraryMenuItem());
    EXPECT_EQ(c.libraryIconName(), "menu.icon.library");
    EXPECT_EQ(c.libraryTitleField()->text(), text("defaultlibrary.no.library"));

    // A second set-up changes nothing: the box keeps what the user set.
    c.fcpXMLOnlyCheckButton()->setChecked(false);
    c.awakeFromNib();
    EXPECT_FALSE(c.fcpXMLOnlyCheckButton()->isChecked());

    // Closing hides the window and keeps it.
    EXPECT_FALSE(c.window()->close());
    EXPECT_FALSE(c.window()->isVisible());
    EXPECT_EQ(c.willPositionSheet(QRect(10, 30, 200, 100)), QRect(10, 52, 200, 100));
}

TEST_F(WindowControllerTest, TopBarIs160Or40AndTheListTakesTheRest) {
    QVPreferenceManager::sharedManager().setUseDefaultLibrary(true);
    FCPXWindowController& c = controller();
    const int h = c.contentView()->parentWidget()->height();
    const int b = c.bottomBarView()->height();
    EXPECT_EQ(c.topBarView()->geometry(), QRect(0, 0, c.topBarView()->width(), 160));
    EXPECT_EQ(c.contentView()->height(), h - b - 160);
    EXPECT_DOUBLE_EQ(c.defaultLibraryBackAlpha(), 1.0);

    c.showUseDefaultLibraryView(false, false);
    EXPECT_EQ(c.topBarView()->height(), 40);
    EXPECT_EQ(c.contentView()->height(), h - b - 40);
    EXPECT_EQ(c.contentView()->y(), 40);
    EXPECT_DOUBLE_EQ(c.defaultLibraryBackAlpha(), 0.0);

    // The check box animates back and stores the preference.
    c.checkUseDefaultLibraryButton()->setChecked(false);
    c.checkUseDefaultLibraryButton()->click();
    EXPECT_TRUE(QVPreferenceManager::sharedManager().useDefaultLibrary());
    EXPECT_TRUE(c.isLayoutAnimating());
    ASSERT_TRUE(waitUntil([&] { return !c.isLayoutAnimating(); }));
    EXPECT_EQ(c.exportListView()->geometry(), c.contentView()->rect());
    EXPECT_EQ(c.topBarView()->height(), 160);
    EXPECT_EQ(c.contentView()->height(), h - b - 160);
    EXPECT_DOUBLE_EQ(c.defaultLibraryBackAlpha(), 1.0);
    // A resized window keeps the layout.
    c.window()->resize(800, 700);
    QApplication::processEvents();
    EXPECT_EQ(c.contentView()->height(), c.contentView()->parentWidget()->height() - b - 160);
}

TEST_F(WindowControllerTest, DefaultLibraryShowsItsStateAndGatesTheStoreToEntries) {
    QVPreferenceManager::sharedManager().setStoreToPath(home_->path());
    FCPXWindowController& c = controller();
    QAction* inside = c.selectedLibraryMenuItem();
    QAction* path = c.storeToPathMenuItem();
    QAction* other = c.storeToPopupButton()->lastItem();
    ASSERT_TRUE(inside && path && other);
    EXPECT_FALSE(c.validateMenuItem(path));  // no default library

    auto network = library("Remote", 1);
    c.setDefaultLibrary(network);
    c.displayDefaultLibraryInfo();
    EXPECT_EQ(c.libraryIconName(), "librarybar.network");
    EXPECT_DOUBLE_EQ(c.libraryIconAlpha(), 1.0);
    EXPECT_FALSE(c.validateMenuItem(path));
    EXPECT_FALSE(c.validateMenuItem(other));
    EXPECT_TRUE(c.validateMenuItem(inside));
    c.storeToPopupButton()->menu()->validateItems();
    EXPECT_FALSE(path->isEnabled());

    auto local = library("Local", 0);
    auto project = QVProject::projectWithID("p1", "Film", local->dbName(), 0);
    c.setDefaultLibrary(local);
    c.setDefaultProject(project);
    serviceUp_ = false;
    c.displayDefaultLibraryInfo();
    EXPECT_EQ(c.libraryIconName(), "librarybar.local");
    EXPECT_DOUBLE_EQ(c.libraryIconAlpha(), 0.5);
    EXPECT_DOUBLE_EQ(c.libraryTitleField()->alphaValue(), 0.5);
    EXPECT_EQ(c.libraryTitleField()->text(), "Local");
    EXPECT_EQ(c.projectTitleField()->text(), "Film");
    EXPECT_TRUE(c.validateMenuItem(path));
    EXPECT_TRUE(c.validateMenuItem(other));
    serviceUp_ = true;
    c.displayDefaultLibraryInfo();
    EXPECT_DOUBLE_EQ(c.libraryIconAlpha(), 1.0);
    // The folder header is never enabled.
    EXPECT_FALSE(c.validateMenuItem(c.storeToPopupButton()->itemAtIndex(2)));
}

TEST_F(WindowControllerTest, OtherFolderStoresTheChoiceAndCancelRestoresThePopup) {
    FCPXWindowController& c = controller();
    ASSERT_EQ(c.storeToPathMenuItem(), nullptr);
    QString answer;
    QVSheetFolderChooser::setProvider([&](QWidget*, const QVSheetFolderChooser::Options&,
                                          QVSheetFolderChooser::Completion done) { done(answer); });
    // Cancelled: the popup goes back to the choice in force.
    c.storeToPopupButton()->selectItem(c.storeToPopupButton()->lastItem());
    c.popupStoreToOtherAction(c.storeToPopupButton()->lastItem());
    QApplication::processEvents();
    EXPECT_EQ(c.storeToPopupButton()->selectedItem(), c.selectedLibraryMenuItem());
    EXPECT_TRUE(QVPreferenceManager::sharedManager().storeToPath().isNull());

    answer = home_->path() + "/Media Out";
    QDir().mkpath(answer);
    c.popupStoreToOtherAction(nullptr);
    QApplication::processEvents();
    auto& preferences = QVPreferenceManager::sharedManager();
    EXPECT_EQ(preferences.storeToPath(), answer);
    EXPECT_TRUE(preferences.storeTo());
    ASSERT_NE(c.storeToPathMenuItem(), nullptr);
    EXPECT_EQ(c.storeToPathMenuItem()->text(), "Media Out");
    EXPECT_EQ(c.selectedStoreToMenuItem(), c.storeToPathMenuItem());
    EXPECT_EQ(c.storeToPopupButton()->selectedItem(), c.storeToPathMenuItem());

    c.popupInsideLibraryAction(c.selectedLibraryMenuItem());
    EXPECT_FALSE(preferences.storeTo());
}

TEST_F(WindowControllerTest, ProjectsArrivingFillInItemsAndTheRowsShowThem) {
    auto lib = library("Studio", 0);
    auto film = QVProject::projectWithID("p1", "Film", lib->dbName(), 0);
    auto waiting = item("clip", QVExportStatusWaiting);
    waiting->setLibrary(lib);
    waiting->setProjectID("p1");
    setItems({waiting});
    FCPXWindowController& c = controller();
    QVExportCellView* cell = c.exportListView()->cellViewForRow(0);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->subTitleField.stringValue,
              "Studio (" + text("exportitem.unknown.project") + ")");

    lib->setProjects({film});
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", lib);
    EXPECT_EQ(waiting->project(), film);
    EXPECT_EQ(waiting->projectName(), "Film");
    cell = c.exportListView()->cellViewForRow(0);
    EXPECT_EQ(cell->subTitleField.stringValue, "Studio (Film)");

    // A status change reaches the row through the one refresh entry point.
    waiting->setExportStatus(QVExportStatusCreateFailed);
    c.updateCellWithItem(waiting);
    ASSERT_TRUE(waitUntil([&] {
        return c.exportListView()->cellViewForRow(0)->imageView.imageName == "workflow.icon.fail";
    }));
}

TEST_F(WindowControllerTest, ChosenDefaultsAreStoredAndAnUnreachableServiceClearsTheLocation) {
    FCPXWindowController& c = controller();
    auto lib = library("Offline", 0);  // its service port answers nothing
    auto project = QVProject::projectWithID("p9", "Reel", lib->dbName(), 0);
    QVLog::Capture log;
    c.setDefaultUploadLocation(std::make_shared<QVUploadLocation>());
    c.defaultLibraryChosen(lib, project);
    auto& preferences = QVPreferenceManager::sharedManager();
    EXPECT_EQ(preferences.defaultLibraryID(), lib->dbName());
    EXPECT_EQ(preferences.defaultProjectID(), "p9");
    EXPECT_EQ(c.defaultLibrary(), lib);
    EXPECT_EQ(c.defaultProject(), project);
    ASSERT_TRUE(waitUntil([&] { return c.defaultUploadLocation() == nullptr; }));
    EXPECT_TRUE(log.contains("uploadLocationWithLibrary Error : "));
    EXPECT_EQ(c.libraryTitleField()->text(), "Offline");
    EXPECT_EQ(c.projectTitleField()->text(), "Reel");
}

// A pop-over of either panel reloads the registry, which makes new library
// records; the reload button then refreshes those. The window shows the
// registry's record of its default, not the one it held before.
TEST_F(WindowControllerTest, ReloadAfterARegistryReloadShowsTheRegistrysDefaultRecord) {
    auto before = library("Unreached", 0);  // its service answers nothing
    auto project = QVProject::projectWithID("p1", "Film", before->dbName(), 0);
    auto after = QVLibrary::libraryWithDictionary(*before->libDictionary());
    ASSERT_TRUE(after);
    after->setName("Renamed");
    auto& manager = QVLibraryManager::sharedManager();
    const QVLibraryList saved = manager.libraries();
    manager.setLibraries({after});
    FCPXWindowController& c = controller();
    c.setDefaultLibrary(before);
    c.setDefaultProject(project);
    QVLibraryList posted;
    auto& center = NotificationCenter::defaultCenter();
    const auto token =
        center.addObserver("NOTI_LIBRARY_PROJECTS_LOADED", [&](const Notification& n) {
            if (const auto* l = std::any_cast<std::shared_ptr<QVLibrary>>(&n.object)) posted << *l;
        });
    c.reloadAction();
    const bool arrived = waitUntil([&] { return !posted.isEmpty(); });
    center.removeObserver(token);
    manager.setLibraries(saved);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(posted, QVLibraryList{after});
    EXPECT_EQ(c.defaultLibrary(), after);
    EXPECT_EQ(c.libraryTitleField()->text(), "Renamed");
    // The new record has no tree yet: the old node still names the project.
    EXPECT_EQ(c.defaultProject(), project);
    EXPECT_EQ(c.projectTitleField()->text(), "Film");
}
