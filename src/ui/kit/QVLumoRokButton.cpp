#include "ui/kit/QVLumoRokButton.h"

#include <QPainter>

QVLumoRokButton::QVLumoRokButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void QVLumoRokButton::setImageWithDefault(const QVLumoImage& normal, const QVLumoImage& clicked,
                                          const QVLumoImage& disabled) {
    normal_ = normal;
    clicked_ = clicked;
    disabled_ = disabled;
    updateGeometry();
    update();
}

const QVLumoImage& QVLumoRokButton::currentImage() const {
    if (!isEnabled()) return disabled_.isNull() ? normal_ : disabled_;
    if (isDown() || isChecked()) return clicked_.isNull() ? normal_ : clicked_;
    return normal_;
}

QSize QVLumoRokButton::sizeHint() const {
    const QSizeF size = normal_.naturalSize();
    return size.isEmpty() ? QSize(16, 16) : size.toSize();
}

void QVLumoRokButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintImage(&p, currentImage());
}

void QVLumoRokButton::paintImage(QPainter* painter, const QVLumoImage& image) {
    image.paintCentered(painter, QRectF(rect()));
}
