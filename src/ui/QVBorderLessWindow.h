#pragma once

#include <QWidget>

// A window without title bar, frame or shadow, with a clear background,
// that is moved by dragging its background and can become the key and main
// window. The style mask it is made with loses its titled bit.
class QVBorderLessWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr quint64 kTitledMask = 1;

    explicit QVBorderLessWindow(const QRect& contentRect, quint64 styleMask = 0,
                                QWidget* parent = nullptr);

    quint64 styleMask() const { return styleMask_; }
    bool canBecomeKeyWindow() const { return true; }
    bool canBecomeMainWindow() const { return true; }

  private:
    quint64 styleMask_;
};
