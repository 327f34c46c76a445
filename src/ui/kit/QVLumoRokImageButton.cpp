#include "ui/kit/QVLumoRokImageButton.h"

#include <QPainter>

QVLumoRokImageButton::QVLumoRokImageButton(QWidget* parent) : QVLumoRokButton(parent) {}

QSize QVLumoRokImageButton::sizeHint() const {
    QSize size = QVLumoRokButton::sizeHint();
    if (!text().isEmpty()) size.rwidth() += 4 + fontMetrics().horizontalAdvance(text());
    return size;
}

void QVLumoRokImageButton::paintImage(QPainter* painter, const QVLumoImage& image) {
    QRectF imageBox(rect());
    if (!text().isEmpty()) imageBox.setWidth(height());
    QSizeF size = image.naturalSize();
    if (!size.isEmpty()) {
        size.scale(imageBox.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(0, 0), size);
        target.moveCenter(imageBox.center());
        image.paint(painter, target);
    }
    if (!text().isEmpty()) {
        painter->setOpacity(isEnabled() ? 1.0 : 0.5);
        painter->setPen(palette().color(QPalette::ButtonText));
        const QRectF textBox = QRectF(rect()).adjusted(imageBox.width() + 4, 0, 0, 0);
        painter->drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft,
                          fontMetrics().elidedText(text(), Qt::ElideRight, int(textBox.width())));
    }
}
