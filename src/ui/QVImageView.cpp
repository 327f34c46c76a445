#include "ui/QVImageView.h"

#include <cmath>

#include <QPainter>

namespace {

// Rounds to the nearest integer, halves away from zero.
double roundHalfAway(double x) {
    return std::round(x);
}

// Two passes of a box blur over the alpha of a premultiplied image come
// close to the soft edge of a shadow.
void boxBlur(QImage& img, int radius) {
    if (radius < 1) return;
    const int w = img.width(), h = img.height();
    QImage tmp(img.size(), img.format());
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            QRgb* dst = reinterpret_cast<QRgb*>(tmp.scanLine(y));
            for (int x = 0; x < w; ++x) {
                int a = 0, n = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const int xx = x + k;
                    if (xx < 0 || xx >= w) continue;
                    a += qAlpha(src[xx]);
                    ++n;
                }
                const int alpha = a / n;
                const QRgb s = src[x];
                dst[x] = qRgba(qRed(s) * alpha / 255, qGreen(s) * alpha / 255,
                               qBlue(s) * alpha / 255, alpha);
            }
        }
        for (int y = 0; y < h; ++y) {
            QRgb* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x) {
                int a = 0, n = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const int yy = y + k;
                    if (yy < 0 || yy >= h) continue;
                    a += qAlpha(reinterpret_cast<const QRgb*>(tmp.constScanLine(yy))[x]);
                    ++n;
                }
                dst[x] = qRgba(0, 0, 0, a / n);
            }
        }
    }
}

}  // namespace

QVImageView::QVImageView(QWidget* parent) : QWidget(parent) {}

void QVImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void QVImageView::setDrawBorder(bool draw) {
    drawBorder_ = draw;
    update();
}

void QVImageView::setInterpolation(unsigned interpolation) {
    interpolation_ = interpolation;
    update();
}

QRectF QVImageView::imageRectInBounds(const QSizeF& imageSize, const QSizeF& viewSize) {
    const double iw = imageSize.width(), ih = imageSize.height();
    if (iw <= 0 || ih <= 0) return QRectF();
    const double bw = viewSize.width() - 6, bh = viewSize.height() - 6;
    if (bw <= 0 || bh <= 0) return QRectF();
    double dw = 0, dh = 0;
    if (float(iw / ih) >= float(bw / bh)) {
        dw = bw;
        dh = roundHalfAway(ih * bw / iw + 0.5);
    } else {
        dh = bh;
        dw = roundHalfAway(iw * bh / ih + 0.5);
    }
    const double x = roundHalfAway((bw - dw) * 0.5) + 2.5;
    const double y = roundHalfAway((bh - dh) * 0.5) + 4.5;
    return QRectF(x, y, dw, dh);
}

QRectF QVImageView::paintRectInBounds(const QSizeF& imageSize, const QSizeF& viewSize) {
    QRectF r = imageRectInBounds(imageSize, viewSize);
    if (r.isEmpty()) return r;
    r.moveTop(viewSize.height() - r.y() - r.height());
    return r;
}

QRectF QVImageView::paintRect() const {
    return paintRectInBounds(image_.size(), size());
}

void QVImageView::paintShadow(QPainter* painter, const QRectF& target) {
    // Grey 0.1 at alpha 0.2, two points right and two down, blur radius 2.
    const qreal dpr = devicePixelRatioF();
    const int pad = 4;
    const QSize pixels = ((target.size() + QSizeF(2 * pad, 2 * pad)) * dpr).toSize();
    QImage shadow(pixels, QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter sp(&shadow);
        sp.scale(dpr, dpr);
        sp.fillRect(QRectF(pad, pad, target.width(), target.height()), Qt::black);
    }
    boxBlur(shadow, qMax(1, qRound(dpr)));
    shadow.setDevicePixelRatio(dpr);
    painter->save();
    painter->setOpacity(0.2);
    const QPointF origin = target.topLeft() + QPointF(2 - pad, 2 - pad);
    QImage tinted = shadow;
    {
        QPainter tp(&tinted);
        tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tp.fillRect(tinted.rect(), QColor::fromRgbF(0.1f, 0.1f, 0.1f));
    }
    painter->drawImage(origin, tinted);
    painter->restore();
}

void QVImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    const QRectF target = paintRect();
    if (target.isEmpty()) return;
    QPainter p(this);
    if (drawBorder_) {
        paintShadow(&p, target);
        p.fillRect(target, Qt::black);
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, interpolation_ != None);
    p.drawImage(target, image_);
    if (drawBorder_) {
        // Half-point coordinates put one-point lines exactly on pixels.
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(target);
        p.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.2f), 1));
        p.drawRect(target.adjusted(1, 1, -1, -1));
    }
}
