#include <gtest/gtest.h>

#include <QImage>
#include <QStandardItemModel>

#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoOutlineView.h"

namespace {

// Library > Project A (> Group 1 > Group 2), Project B
void fillTree(QStandardItemModel& model) {
    auto* a = new QStandardItem("Project A");
    auto* g1 = new QStandardItem("Group 1");
    g1->appendRow(new QStandardItem("Group 2"));
    a->appendRow(g1);
    model.appendRow(a);
    model.appendRow(new QStandardItem("Project B"));
}

}  // namespace

TEST(QVLumoOutlineView, RowsFollowWhatIsExpanded) {
    QStandardItemModel model;
    fillTree(model);
    QVLumoOutlineView outline;
    outline.setModel(&model);
    outline.resize(200, 200);
    const QModelIndex a = model.index(0, 0);
    const QModelIndex g1 = model.index(0, 0, a);
    const QModelIndex g2 = model.index(0, 0, g1);
    EXPECT_EQ(outline.numberOfRows(), 2);
    EXPECT_EQ(outline.rowForItem(g2), -1);  // hidden under a collapsed parent
    outline.expandItem(a, true);
    EXPECT_EQ(outline.numberOfRows(), 4);
    EXPECT_EQ(outline.rowForItem(g2), 2);
    EXPECT_EQ(outline.itemAtRow(3).data().toString(), "Project B");
    EXPECT_FALSE(outline.itemAtRow(4).isValid());
    outline.selectRow(2, false);
    outline.selectRow(0, true);
    EXPECT_EQ(outline.selectedRow(), 0);
    outline.collapse(a);
    outline.expandRootLevel();
    EXPECT_EQ(outline.numberOfRows(), 4);  // Group 1 stayed expanded inside
    outline.setRowHeight(23);
    EXPECT_EQ(outline.visualRect(a).height(), 23);
}

TEST(QVLumoColorView, FillsAndFramesWithOnePointBorder) {
    QVLumoColorView view;
    view.resize(20, 10);
    view.setColor(QColor(36, 36, 36));
    QImage img = view.grab().toImage();
    EXPECT_EQ(QColor(img.pixel(0, 0)), QColor(36, 36, 36));
    view.setDrawBroder(true);
    view.setBorderColor(Qt::black);
    img = view.grab().toImage();
    EXPECT_EQ(QColor(img.pixel(0, 5)), QColor(Qt::black));
    EXPECT_EQ(QColor(img.pixel(19, 9)), QColor(Qt::black));
    EXPECT_EQ(QColor(img.pixel(10, 5)), QColor(36, 36, 36));
}

TEST(QVLumoLabel, TruncatesAtTheTail) {
    QVLumoLabel label("A very long project name that does not fit");
    label.resize(80, 20);
    EXPECT_TRUE(label.displayedText().endsWith(QChar(0x2026)));
    EXPECT_LT(label.displayedText().size(), label.stringValue().size());
    label.setLineBreakMode(Qt::ElideNone);
    EXPECT_EQ(label.displayedText(), label.stringValue());
}
