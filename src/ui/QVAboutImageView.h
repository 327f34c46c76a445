#pragma once

#include <QWidget>

#include "ui/kit/QVLumoImage.h"

// The About panel's picture: an image scaled down (never up) to fit and
// centred; pressing on it moves the window.
class QVAboutImageView : public QWidget {
    Q_OBJECT
  public:
    explicit QVAboutImageView(QWidget* parent = nullptr);

    const QVLumoImage& image() const { return image_; }
    void setImage(const QVLumoImage& image);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVLumoImage image_;
};
