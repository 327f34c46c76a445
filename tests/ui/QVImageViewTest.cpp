#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ui/QVImageView.h"

namespace {

QImage solid(int w, int h, QColor color) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(color);
    return img;
}

QImage render(QVImageView& view) {
    QImage out(view.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    view.render(&out, QPoint(), QRegion(), QWidget::DrawChildren);
    return out;
}

}  // namespace

TEST(QVImageView, FitsWideAndTallImagesWithTheRoundingRules) {
    // Bottom-up view coordinates, as the drawing rules are written.
    EXPECT_EQ(QVImageView::imageRectInBounds(QSizeF(200, 100), QSizeF(106, 106)),
              QRectF(2.5, 29.5, 100, 51));
    EXPECT_EQ(QVImageView::imageRectInBounds(QSizeF(100, 200), QSizeF(106, 106)),
              QRectF(27.5, 4.5, 51, 100));
    // On screen (top-down) the wide image's top edge is 106 - 29.5 - 51 from the top.
    EXPECT_EQ(QVImageView::paintRectInBounds(QSizeF(200, 100), QSizeF(106, 106)),
              QRectF(2.5, 25.5, 100, 51));
    EXPECT_EQ(QVImageView::paintRectInBounds(QSizeF(100, 200), QSizeF(106, 106)),
              QRectF(27.5, 1.5, 51, 100));
    // Equal ratios take the width branch: the half-point bias makes the height
    // 101 and R(-0.5) rounds away from zero to -1.
    EXPECT_EQ(QVImageView::imageRectInBounds(QSizeF(50, 50), QSizeF(106, 106)),
              QRectF(2.5, 3.5, 100, 101));
    // Degenerate sizes draw nothing.
    EXPECT_TRUE(QVImageView::imageRectInBounds(QSizeF(0, 10), QSizeF(106, 106)).isEmpty());
    EXPECT_TRUE(QVImageView::imageRectInBounds(QSizeF(10, 10), QSizeF(4, 4)).isEmpty());
}

TEST(QVImageView, WithoutBorderDrawsOnlyTheImage) {
    QVImageView view;
    view.resize(106, 106);
    EXPECT_TRUE(view.drawBorder());
    EXPECT_EQ(view.interpolation(), 1u);
    view.setDrawBorder(false);
    view.setImage(solid(200, 100, QColor(250, 0, 0)));
    const QImage out = render(view);
    const QRect inside(3, 26, 99, 50);  // the pixels the image covers fully
    for (int y = 0; y < 106; ++y) {
        for (int x = 0; x < 106; ++x) {
            const QRgb p = out.pixel(x, y);
            if (inside.contains(x, y)) {
                ASSERT_EQ(QColor(p), QColor(250, 0, 0)) << x << "," << y;
            } else if (x < 2 || x > 102 || y < 25 || y > 76) {
                // No frame, no shadow: untouched outside the image.
                ASSERT_EQ(qAlpha(p), 0) << x << "," << y;
            }
        }
    }
}

TEST(QVImageView, BorderFramesTheImageAndCastsAShadowBelowRight) {
    QVImageView view;
    view.resize(106, 106);
    view.setImage(solid(200, 100, QColor(250, 250, 250)));
    const QImage out = render(view);
    // The black frame on the pixel rows and columns of the rectangle's edges.
    EXPECT_EQ(QColor(out.pixel(50, 25)), QColor(Qt::black));
    EXPECT_EQ(QColor(out.pixel(2, 50)), QColor(Qt::black));
    EXPECT_EQ(QColor(out.pixel(102, 50)), QColor(Qt::black));
    // The faint inner highlight one point in, lighter than black.
    EXPECT_GT(qRed(out.pixel(50, 26)), 0);
    // A soft shadow below and to the right, none above and to the left.
    EXPECT_GT(qAlpha(out.pixel(60, 78)), 0);
    EXPECT_EQ(qAlpha(out.pixel(60, 20)), 0);
    EXPECT_EQ(qAlpha(out.pixel(0, 50)), 0);
}

TEST(QVImageView, DrawsNothingWithoutAnImage) {
    QVImageView view;
    view.resize(106, 106);
    const QImage out = render(view);
    for (int y = 0; y < 106; y += 5)
        for (int x = 0; x < 106; x += 5) ASSERT_EQ(qAlpha(out.pixel(x, y)), 0);
}
