#pragma once

#include <QColor>
#include <QWidget>

// A view filled with one colour (its alpha respected), optionally framed by
// a one-point border.
class QVLumoColorView : public QWidget {
    Q_OBJECT
  public:
    explicit QVLumoColorView(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    bool drawBroder() const { return drawBorder_; }
    void setDrawBroder(bool draw);
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor color_ = Qt::transparent;
    bool drawBorder_ = false;
    QColor borderColor_ = Qt::black;
};
