#pragma once

#include "ui/kit/QVLumoRokButton.h"

// The image variant of the kit's image button: its state images fill the
// whole button (aspect kept, scaled up as well as down), and a title, when
// set, is drawn to the right of the image.
class QVLumoRokImageButton : public QVLumoRokButton {
    Q_OBJECT
  public:
    explicit QVLumoRokImageButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;

  protected:
    void paintImage(QPainter* painter, const QVLumoImage& image) override;
};
