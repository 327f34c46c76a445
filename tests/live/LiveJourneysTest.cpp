#include <QJsonObject>

#include "LiveFixture.h"

// The journeys of a person at the agent's windows, on a real X display with
// a window manager. Each asserts what the user gets (the editor's answer,
// the stored asset, the list file) and what the user sees (every window
// painted, each where it belongs).

using Live = LiveFixture;

namespace {
// Above this share of black pixels a window counts as unpainted: the
// agent's darkest colours are well above black.
constexpr double kMaxBlack = 0.2;
}  // namespace

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
    EXPECT_LT(blackShare(sheet.window), kMaxBlack);
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
