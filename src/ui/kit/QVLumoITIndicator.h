#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

// A spinning progress indicator in one colour. Indeterminate by default;
// while stopped it draws nothing unless it is told to stay displayed.
class QVLumoITIndicator : public QWidget {
    Q_OBJECT
  public:
    explicit QVLumoITIndicator(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return animating_; }

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    bool isIndeterminate() const { return indeterminate_; }
    void setIndeterminate(bool on);
    // Progress 0..100 for a determinate indicator.
    double doubleValue() const { return value_; }
    void setDoubleValue(double value);
    bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
    void setDisplayedWhenStopped(bool on);
    // Whether anything is drawn in the present state.
    bool isDrawing() const { return animating_ || displayedWhenStopped_; }

    // Interval of one animation step.
    void setStepInterval(int ms) { stepMs_ = ms; }
    int phase() const { return phase_; }

    QSize sizeHint() const override { return QSize(16, 16); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    QBasicTimer timer_;
    QColor color_ = QColor(200, 200, 200);
    bool animating_ = false;
    bool indeterminate_ = true;
    bool displayedWhenStopped_ = false;
    double value_ = 0;
    int phase_ = 0;
    int stepMs_ = 80;
};
