#include "ui/kit/QVLumoLabel.h"

#include <QPainter>

QVLumoLabel::QVLumoLabel(QWidget* parent) : QVLumoLabel(QString(), parent) {}

QVLumoLabel::QVLumoLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setTextColor(QColor(192, 192, 192));
}

QColor QVLumoLabel::textColor() const {
    return palette().color(QPalette::WindowText);
}

void QVLumoLabel::setTextColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    setPalette(pal);
}

void QVLumoLabel::setAlphaValue(qreal alpha) {
    alpha_ = qBound(0.0, alpha, 1.0);
    update();
}

void QVLumoLabel::setLineBreakMode(Qt::TextElideMode mode) {
    elide_ = mode;
    update();
}

QString QVLumoLabel::displayedText() const {
    if (wordWrap() || elide_ == Qt::ElideNone) return text();
    return fontMetrics().elidedText(text(), elide_, contentsRect().width());
}

void QVLumoLabel::paintEvent(QPaintEvent* event) {
    if (textFormat() == Qt::RichText || !pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setOpacity(alpha_ * (isEnabled() ? 1.0 : 0.5));
    p.setPen(textColor());
    p.setFont(font());
    int flags = int(alignment());
    if (wordWrap()) flags |= Qt::TextWordWrap;
    p.drawText(contentsRect(), flags, displayedText());
}
