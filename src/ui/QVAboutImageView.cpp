#include "ui/QVAboutImageView.h"

#include <QPainter>

#include "ui/kit/QVLumoWindowMover.h"

QVAboutImageView::QVAboutImageView(QWidget* parent) : QWidget(parent) {
    new QVLumoWindowMover(this);
}

void QVAboutImageView::setImage(const QVLumoImage& image) {
    image_ = image;
    update();
}

void QVAboutImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    image_.paintCentered(&p, QRectF(rect()));
}
