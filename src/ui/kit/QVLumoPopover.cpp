#include "ui/kit/QVLumoPopover.h"

#include <cmath>

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "ui/kit/QVLumoPopoverDelegate.h"

namespace {
constexpr int kPad = 4;         // border and breathing room around the content
constexpr qreal kRadius = 5.0;  // corner radius of the body
}  // namespace

QVLumoPopover::QVLumoPopover(QWidget* contentView)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      content_(contentView) {
    setAttribute(Qt::WA_TranslucentBackground);
    if (content_) contentParent_ = content_->parentWidget();
}

QVLumoPopover::~QVLumoPopover() {
    QObject::disconnect(appState_);
    if (content_ && content_->parentWidget() == this) {
        content_->hide();
        content_->setParent(contentParent_);
    }
}

void QVLumoPopover::setArrowWidth(qreal width) {
    arrowWidth_ = qMax<qreal>(0, width);
    update();
}

void QVLumoPopover::setBackgroundColor(const QColor& color) {
    background_ = color;
    update();
}

void QVLumoPopover::setBorderColor(const QColor& color) {
    border_ = color;
    update();
}

QRect QVLumoPopover::frameForAnchor(const QRect& anchor, const QSize& contentSize, qreal arrowWidth,
                                    const QRect& screen, bool chooseBest, Edge* edge) {
    const int arrow = int(std::ceil(arrowWidth / 2));
    const int w = contentSize.width() + 2 * kPad, h = contentSize.height() + 2 * kPad;
    auto frameFor = [&](Edge e) {
        switch (e) {
            case Edge::Below:
                return QRect(anchor.center().x() - w / 2, anchor.bottom() + 1, w, h + arrow);
            case Edge::Above:
                return QRect(anchor.center().x() - w / 2, anchor.top() - h - arrow, w, h + arrow);
            case Edge::Right:
                return QRect(anchor.right() + 1, anchor.center().y() - h / 2, w + arrow, h);
            case Edge::Left:
                return QRect(anchor.left() - w - arrow, anchor.center().y() - h / 2, w + arrow, h);
        }
        return QRect();
    };
    auto fits = [&](const QRect& r, Edge e) {
        // Only the axis the arrow points along must fit; the other is slid.
        if (e == Edge::Below || e == Edge::Above)
            return r.top() >= screen.top() && r.bottom() <= screen.bottom();
        return r.left() >= screen.left() && r.right() <= screen.right();
    };
    Edge chosen = Edge::Below;
    if (chooseBest && !screen.isEmpty()) {
        for (Edge e : {Edge::Below, Edge::Above, Edge::Right, Edge::Left}) {
            if (fits(frameFor(e), e)) {
                chosen = e;
                break;
            }
        }
    }
    QRect frame = frameFor(chosen);
    if (!screen.isEmpty()) {
        if (chosen == Edge::Below || chosen == Edge::Above) {
            frame.moveLeft(qBound(screen.left(), frame.left(),
                                  qMax(screen.left(), screen.right() - frame.width() + 1)));
        } else {
            frame.moveTop(qBound(screen.top(), frame.top(),
                                 qMax(screen.top(), screen.bottom() - frame.height() + 1)));
        }
    }
    if (edge) *edge = chosen;
    return frame;
}

void QVLumoPopover::displayPopoverWithView(QWidget* view, bool chooseBestLocation) {
    if (!view || !content_) return;
    anchorView_ = view;
    const QRect anchor(view->mapToGlobal(QPoint(0, 0)), view->size());
    QScreen* screen = view->screen() ? view->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QRect frame =
        frameForAnchor(anchor, content_->size(), arrowWidth_, area, chooseBestLocation, &edge_);
    const bool vertical = edge_ == Edge::Below || edge_ == Edge::Above;
    const qreal along =
        vertical ? anchor.center().x() - frame.x() : anchor.center().y() - frame.y();
    const qreal span = vertical ? frame.width() : frame.height();
    const qreal margin = kRadius + arrowWidth_ / 2;
    arrowPos_ = span > 2 * margin ? qBound(margin, along, span - margin) : span / 2;

    content_->setParent(this);
    setGeometry(frame);
    layoutContent();
    content_->show();
    if (!shown_) {
        QObject::disconnect(appState_);
        appState_ = connect(qApp, &QGuiApplication::applicationStateChanged, this,
                            [this](Qt::ApplicationState state) {
                                if (closesOnInactive_ && state != Qt::ApplicationActive)
                                    closePopover(this);
                            });
    }
    shown_ = true;
    show();
    raise();
    activateWindow();
}

void QVLumoPopover::layoutContent() {
    if (!content_) return;
    const int arrow = int(std::ceil(arrowHeight()));
    QPoint origin(kPad, kPad);
    if (edge_ == Edge::Below) origin.ry() += arrow;
    if (edge_ == Edge::Right) origin.rx() += arrow;
    content_->move(origin);
}

void QVLumoPopover::closePopover(QObject*) {
    if (!shown_) return;
    shown_ = false;
    QObject::disconnect(appState_);
    hide();
    if (content_) {
        content_->hide();
        content_->setParent(contentParent_);
    }
    if (delegate_) delegate_->popOverClosed(this);
}

bool QVLumoPopover::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate && shown_ && closesOnResignKey_) {
        closePopover(this);
    } else if (event->type() == QEvent::Close && shown_) {
        closePopover(this);
    }
    return QWidget::event(event);
}

void QVLumoPopover::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal a = arrowHeight();
    QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal half = arrowWidth_ / 2;
    QPolygonF tip;
    switch (edge_) {
        case Edge::Below:
            body.setTop(body.top() + a);
            tip << QPointF(arrowPos_ - half, body.top() + 1) << QPointF(arrowPos_, 0.5)
                << QPointF(arrowPos_ + half, body.top() + 1);
            break;
        case Edge::Above:
            body.setBottom(body.bottom() - a);
            tip << QPointF(arrowPos_ - half, body.bottom() - 1)
                << QPointF(arrowPos_, height() - 0.5)
                << QPointF(arrowPos_ + half, body.bottom() - 1);
            break;
        case Edge::Right:
            body.setLeft(body.left() + a);
            tip << QPointF(body.left() + 1, arrowPos_ - half) << QPointF(0.5, arrowPos_)
                << QPointF(body.left() + 1, arrowPos_ + half);
            break;
        case Edge::Left:
            body.setRight(body.right() - a);
            tip << QPointF(body.right() - 1, arrowPos_ - half) << QPointF(width() - 0.5, arrowPos_)
                << QPointF(body.right() - 1, arrowPos_ + half);
            break;
    }
    QPainterPath path;
    path.addRoundedRect(body, kRadius, kRadius);
    if (arrowWidth_ > 0) {
        QPainterPath arrowPath;
        arrowPath.addPolygon(tip);
        arrowPath.closeSubpath();
        path = path.united(arrowPath);
    }
    p.fillPath(path, background_);
    p.setPen(QPen(border_, 1));
    p.drawPath(path);
}
