#include "ui/QVBorderLessWindow.h"

#include "ui/kit/QVLumoWindowMover.h"

QVBorderLessWindow::QVBorderLessWindow(const QRect& contentRect, quint64 styleMask, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      styleMask_(styleMask & ~kTitledMask) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(contentRect);
    new QVLumoWindowMover(this);
}
