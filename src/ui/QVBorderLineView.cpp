#include "ui/QVBorderLineView.h"

#include <QPainter>

#include "ui/kit/QVImages.h"

QVBorderLineView::QVBorderLineView(QWidget* parent) : QWidget(parent) {}

void QVBorderLineView::paintEvent(QPaintEvent*) {
    const QString name = QStringLiteral("divide.line");
    const QSizeF cap = QVImages::naturalSize(name);
    if (cap.isEmpty()) return;
    QPainter p(this);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRectF bounds(rect());
    const qreal capWidth = qMin(cap.width(), bounds.width() / 2);
    QVImages::paint(&p, name, QRectF(bounds.left(), bounds.top(), capWidth, bounds.height()));
    QVImages::paint(&p, name,
                    QRectF(bounds.left() + capWidth, bounds.top(), bounds.width() - 2 * capWidth,
                           bounds.height()));
    QVImages::paint(&p, name,
                    QRectF(bounds.right() - capWidth, bounds.top(), capWidth, bounds.height()));
    p.restore();
}
