#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>

// A framed thumbnail: the image aspect-fitted into the view inset by 3
// points, nudged up and left to leave room for a soft shadow below right,
// drawn with a black frame and a faint inner highlight. Without a border
// only the image is drawn.
class QVImageView : public QWidget {
    Q_OBJECT
  public:
    // The platform's interpolation values: 0 default, 1 none, 2 low, 3 high,
    // 4 medium.
    enum Interpolation : unsigned { Default = 0, None = 1, Low = 2, High = 3, Medium = 4 };

    explicit QVImageView(QWidget* parent = nullptr);

    QImage image() const { return image_; }
    void setImage(const QImage& image);
    bool drawBorder() const { return drawBorder_; }
    void setDrawBorder(bool draw);
    unsigned interpolation() const { return interpolation_; }
    void setInterpolation(unsigned interpolation);

    // Where an image of imageSize is drawn in a view of viewSize, in the
    // view's own coordinates with the origin at the bottom left (as the
    // drawing rules are written); empty for an empty image.
    static QRectF imageRectInBounds(const QSizeF& imageSize, const QSizeF& viewSize);
    // The same rectangle in widget coordinates (origin top left).
    static QRectF paintRectInBounds(const QSizeF& imageSize, const QSizeF& viewSize);
    QRectF paintRect() const;

    QSize sizeHint() const override { return QSize(106, 106); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintShadow(QPainter* painter, const QRectF& target);

    QImage image_;
    bool drawBorder_ = true;
    unsigned interpolation_ = None;
};
