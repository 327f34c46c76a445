#include <gtest/gtest.h>

#include <QWidget>

#include "support/Wait.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/QVSheetPresenter.h"

namespace {

TEST(QVSheetPresenter, HangsBelowTheTopBarCentredAndFollowsItsParent) {
    QWidget parent;
    parent.setGeometry(200, 150, 800, 600);
    parent.show();
    auto* sheet = new QWidget;
    sheet->resize(400, 300);
    QList<qint64> codes;
    ASSERT_TRUE(QVSheetPresenter::beginSheet(sheet, &parent, [&](qint64 code) { codes << code; }));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->isWindow());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    const QPoint origin = parent.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(sheet->pos(), origin + QPoint(200, 22));
    // A second begin on a shown sheet is refused; its completion never runs.
    EXPECT_FALSE(QVSheetPresenter::beginSheet(sheet, &parent, [&](qint64) { codes << 99; }));

    parent.move(260, 170);
    const QPoint moved = parent.mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(sheet->pos(), moved + QPoint(200, 22));

    EXPECT_TRUE(QVSheetPresenter::endSheet(sheet, 7));
    EXPECT_EQ(codes, QList<qint64>({7}));
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(QVSheetPresenter::isSheetShown(sheet));
    EXPECT_FALSE(QVSheetPresenter::endSheet(sheet, 1));
    EXPECT_EQ(codes, QList<qint64>({7}));
    // No longer owned by the parent.
    EXPECT_EQ(sheet->parentWidget(), nullptr);
    delete sheet;
}

TEST(QVSheetPresenter, TheCompletionMayDestroyTheSheet) {
    QWidget parent;
    parent.resize(500, 400);
    parent.show();
    auto* sheet = new QWidget;
    sheet->resize(100, 100);
    bool ended = false;
    ASSERT_TRUE(QVSheetPresenter::beginSheet(sheet, &parent, [&](qint64) {
        delete sheet;
        ended = true;
    }));
    EXPECT_TRUE(QVSheetPresenter::endSheet(sheet, 0));
    EXPECT_TRUE(ended);
}

TEST(QVSheetPresenter, WithoutAParentTheSheetIsApplicationModal) {
    QWidget sheet;
    sheet.resize(100, 100);
    ASSERT_TRUE(QVSheetPresenter::beginSheet(&sheet, nullptr, nullptr));
    EXPECT_EQ(sheet.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(QVSheetPresenter::sheetParent(&sheet), nullptr);
    EXPECT_TRUE(QVSheetPresenter::endSheet(&sheet, 1));
}

TEST(QVSheetFolderChooser, StartsOnlyInAnExistingFolder) {
    EXPECT_TRUE(QVSheetFolderChooser::startDirectory(QString()).isNull());
    EXPECT_TRUE(QVSheetFolderChooser::startDirectory("/no/such/folder/here").isNull());
    EXPECT_TRUE(QVSheetFolderChooser::startDirectory("/etc/hostname").isNull());
    EXPECT_EQ(QVSheetFolderChooser::startDirectory("/tmp"), "/tmp");
}

}  // namespace
