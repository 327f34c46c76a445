#include "ui/kit/QVLumoTableRowView.h"

#include <QPainter>

QVLumoTableRowView::QVLumoTableRowView(QWidget* parent) : QWidget(parent) {}

void QVLumoTableRowView::setRow(int row) {
    row_ = row;
    update();
}

void QVLumoTableRowView::setDrawAlternate(bool on) {
    drawAlternate_ = on;
    update();
}

void QVLumoTableRowView::setSelected(bool on) {
    selected_ = on;
    update();
}

void QVLumoTableRowView::setCellView(QWidget* cell) {
    if (cell_ == cell) return;
    cell_ = cell;
    if (cell_) {
        cell_->setParent(this);
        cell_->setGeometry(rect());
        cell_->show();
    }
}

QColor QVLumoTableRowView::backgroundColorForRow(int row, bool drawAlternate, bool selected) {
    if (selected) return selectionColor();
    if (drawAlternate) return row % 2 == 0 ? QColor(51, 51, 51) : QColor(58, 58, 58);
    return QColor();
}

void QVLumoTableRowView::paintEvent(QPaintEvent*) {
    const QColor fill = backgroundColorForRow(row_, drawAlternate_, selected_);
    if (!fill.isValid()) return;
    QPainter p(this);
    p.fillRect(rect(), fill);
}

void QVLumoTableRowView::resizeEvent(QResizeEvent*) {
    if (cell_) cell_->setGeometry(rect());
}
