#include "ui/QVButtonPanelView.h"

#include <QPainter>

#include "ui/QVTesselDesign.h"

QVButtonPanelView::QVButtonPanelView(QWidget* parent) : QWidget(parent) {}

void QVButtonPanelView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QVTesselDesign::grey(43));
}
