#include "ui/kit/QVLumoImage.h"

#include <QImage>
#include <QPainter>

#include "ui/kit/QVImages.h"

QVLumoImage::QVLumoImage(const QString& name) : name_(name) {}
QVLumoImage::QVLumoImage(const char* name) : name_(QString::fromUtf8(name)) {}
QVLumoImage::QVLumoImage(const QPixmap& pixmap) : pixmap_(pixmap) {}
QVLumoImage::QVLumoImage(const QImage& image) : pixmap_(QPixmap::fromImage(image)) {}
QVLumoImage::QVLumoImage(const QIcon& icon) : icon_(icon) {}

bool QVLumoImage::isNull() const {
    if (!name_.isEmpty()) return !QVImages::exists(name_);
    return pixmap_.isNull() && icon_.isNull();
}

QSizeF QVLumoImage::naturalSize() const {
    if (!name_.isEmpty()) return QVImages::naturalSize(name_);
    if (!pixmap_.isNull()) return pixmap_.deviceIndependentSize();
    if (!icon_.isNull()) {
        const QList<QSize> sizes = icon_.availableSizes();
        return sizes.isEmpty() ? QSizeF(16, 16) : QSizeF(sizes.first());
    }
    return QSizeF();
}

void QVLumoImage::paint(QPainter* painter, const QRectF& target) const {
    if (!painter || target.isEmpty()) return;
    if (!name_.isEmpty()) {
        QVImages::paint(painter, name_, target);
    } else if (!pixmap_.isNull()) {
        painter->drawPixmap(target, pixmap_, QRectF(pixmap_.rect()));
    } else if (!icon_.isNull()) {
        icon_.paint(painter, target.toAlignedRect());
    }
}

void QVLumoImage::paintCentered(QPainter* painter, const QRectF& bounds) const {
    QSizeF size = naturalSize();
    if (size.isEmpty()) return;
    if (size.width() > bounds.width() || size.height() > bounds.height())
        size.scale(bounds.size(), Qt::KeepAspectRatio);
    QRectF target(QPointF(0, 0), size);
    target.moveCenter(bounds.center());
    paint(painter, target);
}

QIcon QVLumoImage::toIcon() const {
    if (!name_.isEmpty()) return QVImages::icon(name_);
    if (!pixmap_.isNull()) return QIcon(pixmap_);
    return icon_;
}
