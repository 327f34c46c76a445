#include <QJsonObject>

#include "LiveFixture.h"

// The journeys of a person at the agent's windows, on a real X display with
// a window manager. Each asserts what the user gets (the editor's answer,
// the stored asset, the list file) and what the user sees (every window
// painted, each where it belongs).

using Live = LiveFixture;

TEST_F(Live, TheDestinationSheetIsCancelledThenUsedToChooseAGroupAndAName) {
    startSession({});

    // Cancelled: the editor hears "user cancelled" and nothing is listed.
    startShare("Cancelled Clip");
    Spot cancel = waitFor("QVTesselImportPanel/cancelButton");
    ASSERT_TRUE(cancel.found()) << "no destination sheet";
    click("QVTesselImportPanel/cancelButton");
    EXPECT_EQ(finishShare().value("error").toInt(), -128);
    EXPECT_TRUE(storedItems().isEmpty());

    startShare("Sheet Clip");
    const Spot sheet = waitFor("QVTesselImportPanel/OKButton");
    ASSERT_TRUE(sheet.found()) << "no destination sheet";
    const Spot main = locate("mainWindow");
    // Painted, and hanging from the main window's top edge, centred.
    EXPECT_LT(paintedShare(sheet.window, kMaxBlack), kMaxBlack);
    const QRect sheetFrame = frameOf(sheet.window), mainFrame = frameOf(main.window);
    EXPECT_LE(qAbs(sheetFrame.center().x() - mainFrame.center().x()), 1);
    EXPECT_EQ(sheetFrame.top(), mainFrame.top() + 22);
    saveShot("live-sheet.png");

    click("QVTesselImportPanel/libraryListButton");
    click("libraryTableView#Demo Library");
    click("projectOutlineView#B-Roll");
    click("QVTesselImportPanel/titleField");
    display.key("ctrl+a");
    display.type("Edited Clip");
    click("QVTesselImportPanel/OKButton");

    const QJsonObject done = finishShare();
    EXPECT_EQ(done.value("status").toString(), "ok");
    EXPECT_EQ(done.value("basename").toString(), "Edited Clip");
    ASSERT_TRUE(waitForStoredStatus("Edited Clip", 2));
    const auto assets = assetsNamed("Edited Clip");
    ASSERT_FALSE(assets.isEmpty());
    for (const QJsonObject& asset : assets) {
        EXPECT_EQ(asset.value("project").toString(), "documentary");
        EXPECT_EQ(asset.value("group").toString(), "documentary-broll");
    }
    EXPECT_EQ(storedItems().size(), 1);
}

// With the window manager, and on a bare X server.
class LiveAlert : public LiveFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(LiveAlert, WithoutADefaultLibraryTheAlertIsReadAndTheSheetFollows) {
    startSession({.useDefault = true}, GetParam());
    startShare("No Default");
    const Spot ok = waitFor("AlertBox/OKButton");
    ASSERT_TRUE(ok.found()) << "no alert";
    EXPECT_LT(paintedShare(ok.window, kMaxBlack), kMaxBlack);
    // Centred on the screen; the window manager's title bar above it moves
    // it down by its height at most.
    const QRect alert = frameOf(ok.window);
    EXPECT_LE(qAbs(alert.center().x() - LiveDisplay::kWidth / 2), 1);
    EXPECT_GE(alert.center().y(), LiveDisplay::kHeight / 2 - 1);
    EXPECT_LE(alert.center().y(), LiveDisplay::kHeight / 2 + 30);
    if (GetParam()) saveShot("live-alert.png");
    click("AlertBox/OKButton");
    EXPECT_TRUE(waitUntilGone("AlertBox/OKButton"));
    // The user picks the destination instead, or not.
    click("QVTesselImportPanel/cancelButton");
    EXPECT_EQ(finishShare().value("error").toInt(), -128);
}

INSTANTIATE_TEST_SUITE_P(WindowManager, LiveAlert, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "openbox" : "bare"; });

TEST_F(Live, ARefusedShareIsReportedThenAFinishedRowIsDeletedFromItsContextMenu) {
    startSession(
        {.defaultLibrary = "demo", .defaultProject = "documentary-interviews", .useDefault = true});
    // The service's refusal reaches the user as an alert opened from the
    // main queue, while the editor's command waits.
    ASSERT_TRUE(service->setFault("upload-location", "error", "9", 1));
    startShare("Refused");
    const Spot refused = waitFor("AlertBox/OKButton");
    ASSERT_TRUE(refused.found()) << "no alert";
    EXPECT_LT(paintedShare(refused.window, kMaxBlack), kMaxBlack);
    click("AlertBox/OKButton");
    EXPECT_EQ(finishShare().value("error").toInt(), -128);
    EXPECT_EQ(storedStatus("Refused"), -2);

    startShare("Delete Me");
    EXPECT_EQ(finishShare().value("status").toString(), "ok");
    ASSERT_TRUE(waitForStoredStatus("Delete Me", 2));
    const Spot row = waitFor("#Delete Me");
    ASSERT_TRUE(row.found());
    EXPECT_LT(paintedShare(row.window, kMaxBlack), kMaxBlack);
    saveShot("live-main.png");

    click("#Delete Me", 3);
    click("@deleteItemAction:");
    const Spot confirm = waitFor("AlertBox/OKButton");
    ASSERT_TRUE(confirm.found()) << "no confirmation";
    EXPECT_LT(paintedShare(confirm.window, kMaxBlack), kMaxBlack);
    click("AlertBox/OKButton");
    EXPECT_TRUE(waitUntilGone("#Delete Me"));
    EXPECT_EQ(storedStatus("Delete Me"), -2);
    EXPECT_FALSE(assetsNamed("Delete Me").isEmpty());  // only the list forgets it
}

TEST_F(Live, TheAboutPanelOpensCentredOverTheMainWindow) {
    startSession({});
    click("@Relaydock");
    click("@About Relaydock");
    const Spot about = waitFor("About");
    ASSERT_TRUE(about.found()) << "no About panel";
    const Spot main = locate("mainWindow");
    const QRect panel = frameOf(about.window), window = frameOf(main.window);
    EXPECT_LE((panel.center() - window.center()).manhattanLength(), 2)
        << "About at " << panel.x() << "," << panel.y() << ", main window at " << window.x() << ","
        << window.y();
    EXPECT_LT(paintedShare(about.window, kMaxBlack), kMaxBlack);
    saveShot("live-about.png");
    click("About/closeButton");
    EXPECT_TRUE(waitUntilGone("About"));
}
