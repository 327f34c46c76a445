#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPainter;

// The application's named images. Every image is an SVG compiled into the
// resources as ":/images/<name>.svg", so it stays crisp at any scale: a
// pixmap is rendered at the device pixel ratio it is asked for, and painting
// by name renders the vector directly into the target rectangle.
class QVImages {
  public:
    static QString pathForName(const QString& name);
    static bool exists(const QString& name);
    // Names of every image in the resources, sorted.
    static QStringList allNames();
    // The size the image is drawn at by default (its SVG width and height);
    // empty when there is no such image.
    static QSizeF naturalSize(const QString& name);
    // An icon that renders the SVG at whatever size and ratio it is asked
    // for; a null icon when there is no such image.
    static QIcon icon(const QString& name);
    // The image at a logical size (its natural size when empty) and device
    // pixel ratio (the application's when 0); a null pixmap when missing.
    static QPixmap pixmap(const QString& name, const QSizeF& logicalSize = QSizeF(),
                          qreal devicePixelRatio = 0);
    // Renders the image stretched into target; false when it is missing.
    static bool paint(QPainter* painter, const QString& name, const QRectF& target);
};
