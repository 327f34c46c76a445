#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>

#include "platform/Localization.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoITIndicator.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoMenuDelegate.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoTableRowView.h"
#include "ui/kit/QVLumoTableView.h"
#include "ui/kit/QVLumoTableViewDelegate.h"
#include "ui/kit/QVLumoWindow.h"

TEST(LocalizationFormat, FillsPlaceholdersInOrderAndByPosition) {
    EXPECT_EQ(Localization::format("Version %@ (%@)", {"1.0.0", "42"}), "Version 1.0.0 (42)");
    EXPECT_EQ(Localization::format("%2$@ then %1$@", {"a", "b"}), "b then a");
    EXPECT_EQ(Localization::format("%d%% of %ld", {"50", "7"}), "50% of 7");
    // Too few arguments leave the placeholder empty; a stray % stays.
    EXPECT_EQ(Localization::format("[%@] [%@] 5%x", {"one"}), "[one] [] 5%x");
}

TEST(QVImages, RendersNamedImagesAtTheDevicePixelRatio) {
    ASSERT_TRUE(QVImages::exists("btn.close.nor"));
    const QSizeF natural = QVImages::naturalSize("btn.close.nor");
    EXPECT_EQ(natural, QSizeF(16, 16));
    const QPixmap twice = QVImages::pixmap("btn.close.nor", QSizeF(), 2.0);
    EXPECT_EQ(twice.size(), QSize(32, 32));
    EXPECT_EQ(twice.deviceIndependentSize(), QSizeF(16, 16));
    const QImage img = twice.toImage();
    EXPECT_GT(qAlpha(img.pixel(16, 16)), 200);  // the button body is opaque in the middle
    EXPECT_FALSE(QVImages::exists("no.such.image"));
    EXPECT_TRUE(QVImages::pixmap("no.such.image").isNull());
    EXPECT_TRUE(QVImages::icon("no.such.image").isNull());
}

TEST(QVLumoRokButton, ShowsTheImageOfItsState) {
    QVLumoRokButton button;
    button.setImageWithDefault(QVLumoImage("icon.reveal.nor"), QVLumoImage("icon.reveal.pre"),
                               QVLumoImage("icon.reveal.dim"));
    EXPECT_EQ(button.currentImage().name(), "icon.reveal.nor");
    button.setDown(true);
    EXPECT_EQ(button.currentImage().name(), "icon.reveal.pre");
    button.setDown(false);
    button.setEnabled(false);
    EXPECT_EQ(button.currentImage().name(), "icon.reveal.dim");
    // Without a disabled image the normal one stands in.
    button.setImageWithDefault(QVLumoImage("icon.close.nor"), QVLumoImage("icon.close.pre"),
                               QVLumoImage());
    EXPECT_EQ(button.currentImage().name(), "icon.close.nor");
    EXPECT_EQ(button.sizeHint(), QSize(16, 16));
}

namespace {
class RefusingDelegate : public QVLumoMenuDelegate {
  public:
    bool validateMenuItem(QAction* item) override {
        asked << QVLumoMenu::actionName(item);
        return QVLumoMenu::actionName(item) != "externalLocationAction:";
    }
    void menuNeedsUpdate(QVLumoMenu*) override { ++updates; }
    QStringList asked;
    int updates = 0;
};
}  // namespace

TEST(QVLumoMenu, DelegateValidatesEveryItemBeforeOpening) {
    QVLumoMenu menu;
    RefusingDelegate delegate;
    menu.setDelegate(&delegate);
    QAction* inside = menu.addItem("Inside", "popupInsideLibraryAction:");
    menu.addSeparator();
    QAction* caption = menu.addItem("Folder", "externalLocationAction:");
    QVLumoMenu::setRepresentedObject(inside, QVariant(QStringLiteral("/media")));
    menu.validateItems();
    EXPECT_EQ(delegate.updates, 1);
    EXPECT_EQ(delegate.asked,
              QStringList({"popupInsideLibraryAction:", "externalLocationAction:"}));
    EXPECT_TRUE(inside->isEnabled());
    EXPECT_FALSE(caption->isEnabled());
    EXPECT_EQ(QVLumoMenu::representedObject(inside).toString(), "/media");
    EXPECT_EQ(menu.itemWithActionName("externalLocationAction:"), caption);
    EXPECT_EQ(menu.itemWithActionName("nothing:"), nullptr);
    // Opening the menu runs the same validation.
    caption->setEnabled(true);
    menu.popup(QPoint(0, 0));
    EXPECT_FALSE(caption->isEnabled());
    menu.hide();
}

TEST(QVLumoPopUpButton, ChosenItemIsSelectedBeforeItsActionRuns) {
    QVLumoPopUpButton popup;
    QAction* first = popup.addItemWithTitle("Inside the Library");
    popup.menu()->addSeparator();
    QAction* other = popup.addItemWithTitle("Other Folder…");
    EXPECT_EQ(popup.selectedItem(), first);
    EXPECT_EQ(popup.indexOfItem(other), 2);
    QAction* selectedWhenTriggered = nullptr;
    QObject::connect(other, &QAction::triggered,
                     [&] { selectedWhenTriggered = popup.selectedItem(); });
    popup.resize(200, 22);
    popup.show();
    popup.showPopup();
    QMenu* menu = popup.menu();
    ASSERT_TRUE(menu->isVisible());
    const QPoint at = menu->actionGeometry(other).center();
    QTest::mouseMove(menu, at);
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(selectedWhenTriggered, other);
    EXPECT_EQ(popup.titleOfSelectedItem(), "Other Folder…");
    popup.selectItemAtIndex(0);
    EXPECT_EQ(popup.indexOfSelectedItem(), 0);
    popup.removeAllItems();
    EXPECT_EQ(popup.numberOfItems(), 0);
    EXPECT_EQ(popup.selectedItem(), nullptr);
}

namespace {
class MenuGate : public QVLumoTableViewDelegate {
  public:
    bool shouldDisplayTableMenu(QVLumoTableView* sender) override {
        seenSelection = sender->selectedRowIndexes();
        return answer;
    }
    bool answer = false;
    QList<int> seenSelection;
};
}  // namespace

TEST(QVLumoTableView, ContextMenuOnlyWhenTheDelegateAgrees) {
    QStandardItemModel model(5, 1);
    QVLumoTableView table;
    table.setModel(&model);
    table.setRowHeight(20);
    table.resize(200, 200);
    table.show();
    QMenu menu;
    menu.addAction("Open");
    table.setContextMenu(&menu);
    MenuGate gate;
    table.setTableDelegate(&gate);
    table.selectRow(0, false);
    table.selectRow(3, true);
    EXPECT_EQ(table.selectedRowIndexes(), QList<int>({0, 3}));

    // A right click inside the selection keeps it; the delegate says no.
    EXPECT_FALSE(table.showContextMenuAt(QPoint(10, 3 * 20 + 5)));
    EXPECT_FALSE(menu.isVisible());
    EXPECT_EQ(gate.seenSelection, QList<int>({0, 3}));
    EXPECT_EQ(table.clickedRow(), 3);

    // A right click outside it selects the clicked row first.
    gate.answer = true;
    EXPECT_TRUE(table.showContextMenuAt(QPoint(10, 1 * 20 + 5)));
    EXPECT_EQ(gate.seenSelection, QList<int>({1}));
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

TEST(QVLumoTableRowView, AlternatesByRowIndex) {
    const QColor even = QVLumoTableRowView::backgroundColorForRow(0, true, false);
    const QColor odd = QVLumoTableRowView::backgroundColorForRow(1, true, false);
    EXPECT_NE(even, odd);
    EXPECT_EQ(QVLumoTableRowView::backgroundColorForRow(2, true, false), even);
    EXPECT_EQ(QVLumoTableRowView::backgroundColorForRow(7, true, false), odd);
    EXPECT_FALSE(QVLumoTableRowView::backgroundColorForRow(1, false, false).isValid());
    EXPECT_EQ(QVLumoTableRowView::backgroundColorForRow(1, false, true),
              QVLumoTableRowView::selectionColor());

    QVLumoTableRowView row;
    row.resize(40, 10);
    row.setRow(1);
    row.setDrawAlternate(true);
    const QImage drawn = row.grab().toImage();
    EXPECT_EQ(QColor(drawn.pixel(5, 5)), odd);
}

TEST(QVLumoWindow, KeyEquivalentsPressOnlyVisibleEnabledButtons) {
    QVLumoWindow window;
    auto* ok = new QVLumoButton(&window);
    auto* cancel = new QVLumoButton(&window);
    ok->setKeyEquivalent("\r");
    cancel->setKeyEquivalent("\x1b");
    int okPresses = 0, cancelPresses = 0;
    QObject::connect(ok, &QAbstractButton::clicked, [&] { ++okPresses; });
    QObject::connect(cancel, &QAbstractButton::clicked, [&] { ++cancelPresses; });
    window.show();
    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Enter);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(okPresses, 2);
    EXPECT_EQ(cancelPresses, 1);
    ok->hide();
    QTest::keyClick(&window, Qt::Key_Return);
    cancel->setEnabled(false);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(okPresses, 2);
    EXPECT_EQ(cancelPresses, 1);

    EXPECT_FALSE(window.isToolButtonHidden());
    window.setHiddenToolButton(true);
    EXPECT_TRUE(window.isToolButtonHidden());
}

TEST(QVLumoITIndicator, DrawsNothingWhileStoppedUnlessAsked) {
    QVLumoITIndicator indicator;
    indicator.resize(16, 16);
    indicator.setColor(QColor(200, 200, 200));
    auto opaquePixels = [&] {
        QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        indicator.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
        int n = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) n += qAlpha(img.pixel(x, y)) > 0;
        return n;
    };
    EXPECT_TRUE(indicator.isIndeterminate());
    EXPECT_EQ(opaquePixels(), 0);
    indicator.startAnimation();
    EXPECT_TRUE(indicator.isAnimating());
    EXPECT_GT(opaquePixels(), 10);
    indicator.stopAnimation();
    EXPECT_EQ(opaquePixels(), 0);
    indicator.setDisplayedWhenStopped(true);
    EXPECT_GT(opaquePixels(), 10);
}
