#pragma once

#include <QWidget>

#include "ui/kit/QVLumoImage.h"

// A small image of the panels (library icons, state marks): a named or
// given image drawn centred at its natural size (scaled down to fit), at an
// alpha value so that unusable libraries can be shown dimmed.
class QVPanelImageView : public QWidget {
    Q_OBJECT
  public:
    explicit QVPanelImageView(QWidget* parent = nullptr);

    const QVLumoImage& image() const { return image_; }
    // The name of a named image; empty for none or a bitmap.
    QString imageName() const { return image_.name(); }
    void setImage(const QVLumoImage& image);
    qreal alphaValue() const { return alpha_; }
    void setAlphaValue(qreal alpha);

    QSize sizeHint() const override { return QSize(20, 20); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVLumoImage image_;
    qreal alpha_ = 1.0;
};
