#include "ui/QVSheetContentView.h"

#include <QPaintEvent>
#include <QPainter>

#include "ui/QVTesselDesign.h"

QVSheetContentView::QVSheetContentView(QWidget* parent) : QWidget(parent) {}

void QVSheetContentView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), QVTesselDesign::sheetBackgroundColor());
}
