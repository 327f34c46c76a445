#include "ui/kit/QVLumoColorView.h"

#include <QPainter>

QVLumoColorView::QVLumoColorView(QWidget* parent) : QWidget(parent) {}

void QVLumoColorView::setColor(const QColor& color) {
    color_ = color;
    update();
}

void QVLumoColorView::setDrawBroder(bool draw) {
    drawBorder_ = draw;
    update();
}

void QVLumoColorView::setBorderColor(const QColor& color) {
    borderColor_ = color;
    update();
}

void QVLumoColorView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), color_);
    if (drawBorder_ && width() > 0 && height() > 0) {
        p.setPen(QPen(borderColor_, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}
