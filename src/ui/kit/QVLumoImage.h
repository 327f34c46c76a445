#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

// An image handed to a kit control: either a named resource image (drawn
// from its vector, crisp at any size) or a bitmap or icon the caller made.
class QVLumoImage {
  public:
    QVLumoImage() = default;
    QVLumoImage(const QString& name);  // NOLINT: names convert like images
    QVLumoImage(const char* name);     // NOLINT
    QVLumoImage(const QPixmap& pixmap);
    QVLumoImage(const QImage& image);
    QVLumoImage(const QIcon& icon);

    bool isNull() const;
    QString name() const { return name_; }
    QSizeF naturalSize() const;
    // Draws the image stretched over target (an icon keeps its aspect).
    void paint(QPainter* painter, const QRectF& target) const;
    // Draws the image at its natural size centred in bounds, scaled down
    // with its aspect kept when it does not fit.
    void paintCentered(QPainter* painter, const QRectF& bounds) const;
    QIcon toIcon() const;

  private:
    QString name_;
    QPixmap pixmap_;
    QIcon icon_;
};
