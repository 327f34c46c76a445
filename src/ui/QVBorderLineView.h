#pragma once

#include <QWidget>

// A divider: the image "divide.line" drawn as a horizontal three-part image
// (the same image as both caps and the fill) over the bounds, without
// interpolation so it stays a sharp line.
class QVBorderLineView : public QWidget {
    Q_OBJECT
  public:
    explicit QVBorderLineView(QWidget* parent = nullptr);

    QSize sizeHint() const override { return QSize(100, 2); }

  protected:
    void paintEvent(QPaintEvent* event) override;
};
