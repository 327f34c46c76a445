#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

// Lets a press-and-drag on a widget move the widget's window: through the
// window system where it can move windows itself, else by following the
// pointer. Presses taken by child controls are not seen, so only the
// background moves the window.
class QVLumoWindowMover : public QObject {
    Q_OBJECT
  public:
    // Installs itself on widget and is owned by it.
    explicit QVLumoWindowMover(QWidget* widget);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> widget_;
    QPoint grabOffset_;
    bool dragging_ = false;
};
