#include "ui/kit/QVLumoPopUpButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

QVLumoPopUpButton::QVLumoPopUpButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
    setMenu(new QVLumoMenu(this));
    connect(this, &QAbstractButton::pressed, this, &QVLumoPopUpButton::showPopup);
}

void QVLumoPopUpButton::setMenu(QVLumoMenu* menu) {
    if (menu_ == menu) return;
    if (menu_) {
        menu_->removeEventFilter(this);
        menu_->deleteLater();
    }
    menu_ = menu;
    selected_ = nullptr;
    if (menu_) {
        menu_->setParent(this, menu_->windowFlags());
        menu_->installEventFilter(this);
        connect(menu_, &QMenu::triggered, this, &QVLumoPopUpButton::chooseItem);
        const QList<QAction*> items = itemArray();
        for (QAction* item : items) {
            if (!item->isSeparator()) {
                selected_ = item;
                break;
            }
        }
    }
    updateGeometry();
    update();
}

void QVLumoPopUpButton::removeAllItems() {
    if (menu_) menu_->clear();
    selected_ = nullptr;
    update();
}

QAction* QVLumoPopUpButton::addItemWithTitle(const QString& title) {
    if (!menu_) setMenu(new QVLumoMenu(this));
    QAction* item = menu_->addItem(title);
    if (!selected_) selected_ = item;
    update();
    return item;
}

QList<QAction*> QVLumoPopUpButton::itemArray() const {
    return menu_ ? menu_->actions() : QList<QAction*>();
}

QAction* QVLumoPopUpButton::itemAtIndex(int index) const {
    const QList<QAction*> items = itemArray();
    return index >= 0 && index < items.size() ? items.at(index) : nullptr;
}

int QVLumoPopUpButton::indexOfItem(QAction* item) const {
    return item ? int(itemArray().indexOf(item)) : -1;
}

QAction* QVLumoPopUpButton::lastItem() const {
    const QList<QAction*> items = itemArray();
    return items.isEmpty() ? nullptr : items.last();
}

void QVLumoPopUpButton::selectItem(QAction* item) {
    if (item && indexOfItem(item) < 0) return;
    selected_ = item;
    update();
}

void QVLumoPopUpButton::selectItemAtIndex(int index) {
    selectItem(itemAtIndex(index));
}

QAction* QVLumoPopUpButton::selectedItem() const {
    return selected_;
}

int QVLumoPopUpButton::indexOfSelectedItem() const {
    return indexOfItem(selected_);
}

QString QVLumoPopUpButton::titleOfSelectedItem() const {
    return selected_ ? selected_->text() : QString();
}

QSize QVLumoPopUpButton::sizeHint() const {
    int textWidth = 60;
    const QList<QAction*> items = itemArray();
    for (QAction* item : items)
        textWidth = qMax(textWidth, fontMetrics().horizontalAdvance(item->text()));
    return QSize(textWidth + 52, 22);
}

void QVLumoPopUpButton::showPopup() {
    if (!menu_ || !isEnabled()) return;
    setDown(false);
    menu_->validateItems();
    QAction* at = selected_ && selected_->isVisible() ? selected_.data() : nullptr;
    menu_->popup(mapToGlobal(QPoint(0, 0)), at);
}

void QVLumoPopUpButton::chooseItem(QAction* item) {
    if (!item || item->isSeparator() || !item->isEnabled() || item->menu()) return;
    const bool changed = selected_ != item;
    selected_ = item;
    if (changed) update();
}

bool QVLumoPopUpButton::eventFilter(QObject* watched, QEvent* event) {
    // The item under a release (or the active item on Return) becomes the
    // selection before the menu triggers it, so its action sees it selected.
    if (watched == menu_) {
        QAction* item = nullptr;
        if (event->type() == QEvent::MouseButtonRelease) {
            item = menu_->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
                item = menu_->activeAction();
        }
        if (item) {
            chooseItem(item);
            if (item == selected_) emit itemChosen(item);
        }
    }
    return QAbstractButton::eventFilter(watched, event);
}

void QVLumoPopUpButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.5);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(bounds, 4, 4);
    p.fillPath(path, QColor(58, 58, 58));
    p.setPen(QPen(QColor(24, 24, 24), 1));
    p.drawPath(path);
    qreal x = 8;
    if (selected_ && !selected_->icon().isNull()) {
        const QRect iconRect(int(x), (height() - 16) / 2, 16, 16);
        selected_->icon().paint(&p, iconRect);
        x += 20;
    }
    const qreal arrowX = width() - 16;
    p.setPen(QColor(220, 220, 220));
    const QRectF textRect(x, 0, arrowX - x - 4, height());
    p.drawText(
        textRect, Qt::AlignVCenter | Qt::AlignLeft,
        fontMetrics().elidedText(titleOfSelectedItem(), Qt::ElideRight, int(textRect.width())));
    // Up and down chevrons, as pop-up buttons show.
    const qreal cy = height() / 2.0;
    p.setPen(QPen(QColor(200, 200, 200), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF(
        {QPointF(arrowX, cy - 2), QPointF(arrowX + 3.5, cy - 5.5), QPointF(arrowX + 7, cy - 2)}));
    p.drawPolyline(QPolygonF(
        {QPointF(arrowX, cy + 2), QPointF(arrowX + 3.5, cy + 5.5), QPointF(arrowX + 7, cy + 2)}));
}
