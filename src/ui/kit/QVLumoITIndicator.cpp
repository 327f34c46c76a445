#include "ui/kit/QVLumoITIndicator.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QTimerEvent>

namespace {
constexpr int kSpokes = 12;
}

QVLumoITIndicator::QVLumoITIndicator(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void QVLumoITIndicator::startAnimation() {
    if (animating_) return;
    animating_ = true;
    if (indeterminate_) timer_.start(stepMs_, this);
    update();
}

void QVLumoITIndicator::stopAnimation() {
    animating_ = false;
    timer_.stop();
    update();
}

void QVLumoITIndicator::setColor(const QColor& color) {
    color_ = color;
    update();
}

void QVLumoITIndicator::setIndeterminate(bool on) {
    indeterminate_ = on;
    if (!on) timer_.stop();
    if (on && animating_) timer_.start(stepMs_, this);
    update();
}

void QVLumoITIndicator::setDoubleValue(double value) {
    value_ = std::clamp(value, 0.0, 100.0);
    update();
}

void QVLumoITIndicator::setDisplayedWhenStopped(bool on) {
    displayedWhenStopped_ = on;
    update();
}

void QVLumoITIndicator::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) return QWidget::timerEvent(event);
    phase_ = (phase_ + 1) % kSpokes;
    update();
}

void QVLumoITIndicator::paintEvent(QPaintEvent*) {
    if (!isDrawing()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const QPointF c = QRectF(rect()).center();
    if (!indeterminate_) {
        const QRectF ring(c.x() - side / 2 + 1, c.y() - side / 2 + 1, side - 2, side - 2);
        p.setPen(QPen(color_, 1));
        p.drawEllipse(ring);
        p.setPen(Qt::NoPen);
        p.setBrush(color_);
        p.drawPie(ring.adjusted(2, 2, -2, -2), 90 * 16, int(-360 * 16 * value_ / 100.0));
        return;
    }
    const qreal outer = side / 2 - 0.5, inner = side / 4;
    QPen pen(color_, qMax(1.0, side / 10), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke of the present phase is brightest; the others fade behind it.
        const int age = (phase_ - i + kSpokes) % kSpokes;
        QColor col = color_;
        col.setAlphaF(color_.alphaF() * (1.0 - 0.75 * age / (kSpokes - 1)));
        pen.setColor(col);
        p.setPen(pen);
        const qreal a = 2 * M_PI * i / kSpokes - M_PI / 2;
        p.drawLine(QPointF(c.x() + inner * std::cos(a), c.y() + inner * std::sin(a)),
                   QPointF(c.x() + outer * std::cos(a), c.y() + outer * std::sin(a)));
    }
}
