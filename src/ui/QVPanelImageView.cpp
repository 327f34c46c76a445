#include "ui/QVPanelImageView.h"

#include <QPainter>

QVPanelImageView::QVPanelImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void QVPanelImageView::setImage(const QVLumoImage& image) {
    image_ = image;
    update();
}

void QVPanelImageView::setAlphaValue(qreal alpha) {
    alpha_ = qBound<qreal>(0.0, alpha, 1.0);
    update();
}

void QVPanelImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(alpha_);
    image_.paintCentered(&p, QRectF(rect()));
}
