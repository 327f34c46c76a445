#include "ui/kit/QVLumoTableView.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPainter>

#include "ui/kit/QVLumoTableRowView.h"
#include "ui/kit/QVLumoTableViewDelegate.h"

QVLumoTableView::QVLumoTableView(QWidget* parent) : QTableView(parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(51, 51, 51));
    pal.setColor(QPalette::Text, QColor(192, 192, 192));
    pal.setColor(QPalette::Highlight, QVLumoTableRowView::selectionColor());
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
    setRowHeight(24);
}

void QVLumoTableView::setRowHeight(int height) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
}

int QVLumoTableView::rowHeight() const {
    return verticalHeader()->defaultSectionSize();
}

void QVLumoTableView::setDrawsAlternateRows(bool on) {
    alternate_ = on;
    viewport()->update();
}

QList<int> QVLumoTableView::selectedRowIndexes() const {
    QList<int> rows;
    if (!selectionModel()) return rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    for (const QModelIndex& index : selected) rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

int QVLumoTableView::numberOfRows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

void QVLumoTableView::selectRow(int row, bool extendSelection) {
    if (!model() || !selectionModel() || row < 0 || row >= numberOfRows()) return;
    const QModelIndex index = model()->index(row, 0, rootIndex());
    auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    if (!extendSelection) flags |= QItemSelectionModel::Clear;
    selectionModel()->select(index, flags);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void QVLumoTableView::reloadData() {
    viewport()->update();
    if (model()) {
        // Views built from delegates must see new values at once.
        QTableView::reset();
    }
}

bool QVLumoTableView::showContextMenuAt(const QPoint& viewportPos) {
    const QModelIndex hit = indexAt(viewportPos);
    clickedRow_ = hit.isValid() ? hit.row() : -1;
    if (clickedRow_ >= 0 && !selectedRowIndexes().contains(clickedRow_))
        selectRow(clickedRow_, false);
    if (!menu_) return false;
    if (delegate_ && !delegate_->shouldDisplayTableMenu(this)) return false;
    menu_->popup(viewport()->mapToGlobal(viewportPos));
    return true;
}

void QVLumoTableView::contextMenuEvent(QContextMenuEvent* event) {
    showContextMenuAt(viewport()->mapFrom(this, event->pos()));
    event->accept();
}

void QVLumoTableView::paintEvent(QPaintEvent* event) {
    if (alternate_ && model()) {
        QPainter p(viewport());
        const int h = rowHeight();
        const int rows = numberOfRows();
        int r = rows > 0 ? qMax(0, rowAt(0)) : 0;
        int y = rows > 0 ? rowViewportPosition(r) : 0;
        // Rows are filled down to the bottom edge: an empty table shows stripes too.
        for (; y < viewport()->height(); ++r, y += h)
            p.fillRect(QRect(0, y, viewport()->width(), h),
                       QVLumoTableRowView::backgroundColorForRow(r, true, false));
    }
    QTableView::paintEvent(event);
}
