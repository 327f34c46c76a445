#include "ui/kit/QVLumoOutlineView.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QStyledItemDelegate>

#include "ui/kit/QVLumoTableRowView.h"

namespace {

// Gives every row the outline's height whatever its content asks for.
class FixedHeightDelegate : public QStyledItemDelegate {
  public:
    FixedHeightDelegate(const QVLumoOutlineView* view, QObject* parent)
        : QStyledItemDelegate(parent), view_(view) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(view_->rowHeight());
        return size;
    }

  private:
    const QVLumoOutlineView* view_;
};

}  // namespace

QVLumoOutlineView::QVLumoOutlineView(QWidget* parent) : QTreeView(parent) {
    header()->hide();
    setUniformRowHeights(true);
    setItemDelegate(new FixedHeightDelegate(this, this));
    setFrameShape(QFrame::NoFrame);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIndentation(16);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(36, 36, 36));
    pal.setColor(QPalette::Text, QColor(192, 192, 192));
    pal.setColor(QPalette::Highlight, QVLumoTableRowView::selectionColor());
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
}

void QVLumoOutlineView::setRowHeight(int height) {
    rowHeight_ = qMax(1, height);
    doItemsLayout();
}

void QVLumoOutlineView::setDrawsAlternateRows(bool on) {
    alternate_ = on;
    viewport()->update();
}

int QVLumoOutlineView::numberOfRows() const {
    int rows = 0;
    if (!model()) return 0;
    for (QModelIndex i = model()->index(0, 0, rootIndex()); i.isValid(); i = indexBelow(i)) ++rows;
    return rows;
}

QModelIndex QVLumoOutlineView::itemAtRow(int row) const {
    if (!model() || row < 0) return QModelIndex();
    QModelIndex i = model()->index(0, 0, rootIndex());
    for (int r = 0; i.isValid() && r < row; ++r) i = indexBelow(i);
    return i;
}

int QVLumoOutlineView::rowForItem(const QModelIndex& item) const {
    if (!model() || !item.isValid()) return -1;
    const QModelIndex target = item.siblingAtColumn(0);
    int row = 0;
    for (QModelIndex i = model()->index(0, 0, rootIndex()); i.isValid(); i = indexBelow(i), ++row)
        if (i == target) return row;
    return -1;
}

int QVLumoOutlineView::selectedRow() const {
    if (!selectionModel()) return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    int best = -1;
    for (const QModelIndex& index : rows) {
        const int r = rowForItem(index);
        if (r >= 0 && (best < 0 || r < best)) best = r;
    }
    return best;
}

void QVLumoOutlineView::selectRow(int row, bool extendSelection) {
    const QModelIndex item = itemAtRow(row);
    if (!item.isValid() || !selectionModel()) return;
    auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    if (!extendSelection) flags |= QItemSelectionModel::Clear;
    selectionModel()->select(item, flags);
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
}

void QVLumoOutlineView::scrollRowToVisible(int row) {
    const QModelIndex item = itemAtRow(row);
    if (item.isValid()) scrollTo(item, QAbstractItemView::EnsureVisible);
}

void QVLumoOutlineView::expandItem(const QModelIndex& item, bool expandChildren) {
    if (!item.isValid()) return;
    if (expandChildren) {
        expandRecursively(item);
    } else {
        expand(item);
    }
}

void QVLumoOutlineView::expandRootLevel() {
    if (!model()) return;
    const int count = model()->rowCount(rootIndex());
    for (int r = 0; r < count; ++r) expand(model()->index(r, 0, rootIndex()));
}

void QVLumoOutlineView::reloadData() {
    reset();
    viewport()->update();
}

void QVLumoOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const bool selected = selectionModel() && selectionModel()->isSelected(index);
    // Rows are uniform, so the visible row follows from the position.
    const int row = (option.rect.y() + verticalOffset()) / rowHeight_;
    const QColor fill = QVLumoTableRowView::backgroundColorForRow(row, alternate_, selected);
    if (fill.isValid())
        painter->fillRect(QRect(0, option.rect.y(), viewport()->width(), option.rect.height()),
                          fill);
    QTreeView::drawRow(painter, option, index);
}
