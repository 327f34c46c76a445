#include "ui/kit/QVLumoButton.h"

#include <QPainter>
#include <QPainterPath>

QVLumoButton::QVLumoButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void QVLumoButton::setImageWithStart(const QVLumoImage& start, const QVLumoImage& center,
                                     const QVLumoImage& end, const QVLumoImage& startClick,
                                     const QVLumoImage& centerClick, const QVLumoImage& endClick) {
    parts_[0] = start;
    parts_[1] = center;
    parts_[2] = end;
    pressedParts_[0] = startClick;
    pressedParts_[1] = centerClick;
    pressedParts_[2] = endClick;
    update();
}

QSize QVLumoButton::sizeHint() const {
    const int textWidth = fontMetrics().horizontalAdvance(text());
    return QSize(qMax(100, textWidth + 24), 25);
}

void QVLumoButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.5);
    const bool pressed = isDown();
    const QVLumoImage* set = pressed && !pressedParts_[1].isNull() ? pressedParts_ : parts_;
    const QRectF bounds(rect());
    if (!set[1].isNull()) {
        // Caps keep their natural width scaled to the button's height.
        auto capWidth = [&](const QVLumoImage& image) {
            const QSizeF n = image.naturalSize();
            if (n.isEmpty()) return 0.0;
            return qMin(n.width() * bounds.height() / n.height(), bounds.width() / 2);
        };
        const qreal left = capWidth(set[0]);
        const qreal right = capWidth(set[2]);
        set[0].paint(&p, QRectF(0, 0, left, bounds.height()));
        set[1].paint(&p, QRectF(left, 0, bounds.width() - left - right, bounds.height()));
        set[2].paint(&p, QRectF(bounds.width() - right, 0, right, bounds.height()));
    } else {
        // Without images the kit still draws a dark rounded button.
        QPainterPath path;
        path.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        p.fillPath(path, pressed ? QColor(38, 38, 38) : QColor(72, 72, 72));
        p.setPen(QPen(QColor(20, 20, 20), 1));
        p.drawPath(path);
    }
    if (hasFocus()) {
        p.setPen(QPen(QColor(110, 150, 210), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(bounds.adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
    }
    p.setPen(pressed ? QColor(210, 210, 210) : Qt::white);
    p.setFont(font());
    p.drawText(bounds, Qt::AlignCenter,
               fontMetrics().elidedText(text(), Qt::ElideRight, qMax(0, width() - 12)));
}
