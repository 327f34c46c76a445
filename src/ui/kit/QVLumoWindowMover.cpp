#include "ui/kit/QVLumoWindowMover.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

QVLumoWindowMover::QVLumoWindowMover(QWidget* widget) : QObject(widget), widget_(widget) {
    if (widget) widget->installEventFilter(this);
}

bool QVLumoWindowMover::eventFilter(QObject* watched, QEvent* event) {
    if (watched != widget_ || !widget_) return false;
    QWidget* window = widget_->window();
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::LeftButton) return false;
            if (window->windowHandle() && window->windowHandle()->startSystemMove()) return true;
            grabOffset_ = e->globalPosition().toPoint() - window->frameGeometry().topLeft();
            dragging_ = true;
            return true;
        }
        case QEvent::MouseMove:
            if (!dragging_) return false;
            window->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() -
                         grabOffset_);
            return true;
        case QEvent::MouseButtonRelease:
            if (!dragging_) return false;
            dragging_ = false;
            return true;
        default:
            return false;
    }
}
