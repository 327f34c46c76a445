#include "ui/QVMetaGroupView.h"

#include <QPainter>

#include "ui/kit/QVImages.h"

QVMetaGroupView::QVMetaGroupView(QWidget* parent) : QWidget(parent) {}

QStringList QVMetaGroupView::partNames() {
    return {QStringLiteral("meta_top_left"),    QStringLiteral("meta_top_mid"),
            QStringLiteral("meta_top_right"),   QStringLiteral("meta_mid_left"),
            QStringLiteral("meta_mid_mid"),     QStringLiteral("meta_mid_right"),
            QStringLiteral("meta_bottom_left"), QStringLiteral("meta_bottom_mid"),
            QStringLiteral("meta_bottom_right")};
}

void QVMetaGroupView::drawNinePart(QPainter* painter, const QRectF& rect,
                                   const QStringList& names) {
    if (names.size() != 9 || rect.isEmpty()) return;
    const QSizeF tl = QVImages::naturalSize(names[0]);
    const QSizeF br = QVImages::naturalSize(names[8]);
    // Corners keep their size unless the rectangle is smaller than two of them.
    const qreal left = qMin(tl.width(), rect.width() / 2);
    const qreal top = qMin(tl.height(), rect.height() / 2);
    const qreal right = qMin(br.width(), rect.width() / 2);
    const qreal bottom = qMin(br.height(), rect.height() / 2);
    const qreal xs[4] = {rect.left(), rect.left() + left, rect.right() - right, rect.right()};
    const qreal ys[4] = {rect.top(), rect.top() + top, rect.bottom() - bottom, rect.bottom()};
    painter->save();
    painter->setOpacity(1.0);
    painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QRectF part(QPointF(xs[c], ys[r]), QPointF(xs[c + 1], ys[r + 1]));
            if (!part.isEmpty()) QVImages::paint(painter, names[r * 3 + c], part);
        }
    }
    painter->restore();
}

void QVMetaGroupView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    drawNinePart(&p, QRectF(rect()), partNames());
}
