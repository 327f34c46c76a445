#include "ui/kit/QVLumoWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QToolButton>

namespace {
QPointer<QWidget>& mainWindowSlot() {
    static QPointer<QWidget> window;
    return window;
}
}  // namespace

QVLumoWindow::QVLumoWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(51, 51, 51));
    pal.setColor(QPalette::WindowText, QColor(220, 220, 220));
    pal.setColor(QPalette::ButtonText, QColor(220, 220, 220));
    pal.setColor(QPalette::Text, QColor(220, 220, 220));
    setPalette(pal);
    setAutoFillBackground(true);
    toolButton_ = new QToolButton(this);
    toolButton_->setObjectName(QStringLiteral("lumoToolButton"));
    toolButton_->setFixedSize(22, 12);
    toolButton_->setFocusPolicy(Qt::NoFocus);
    toolButton_->setStyleSheet(QStringLiteral(
        "QToolButton { background: rgb(90,90,90); border: 1px solid rgb(30,30,30);"
        " border-radius: 6px; } QToolButton:pressed { background: rgb(60,60,60); }"));
    connect(toolButton_, &QToolButton::clicked, this, &QVLumoWindow::toolButtonClicked);
}

bool QVLumoWindow::isToolButtonHidden() const {
    return toolButton_->isHidden();
}

void QVLumoWindow::setHiddenToolButton(bool hidden) {
    toolButton_->setHidden(hidden);
}

QString QVLumoWindow::keyEquivalentForEvent(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return QStringLiteral("\r");
        case Qt::Key_Escape:
            return QStringLiteral("\x1b");
        default:
            return event->text();
    }
}

bool QVLumoWindow::performKeyEquivalent(const QString& key) {
    if (key.isEmpty()) return false;
    const QList<QAbstractButton*> buttons = findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (!button->isVisibleTo(this) || !button->isEnabled()) continue;
        if (button->property("keyEquivalent").toString() != key) continue;
        button->click();
        return true;
    }
    return false;
}

void QVLumoWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (performKeyEquivalent(keyEquivalentForEvent(event))) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void QVLumoWindow::resizeEvent(QResizeEvent* event) {
    toolButton_->move(width() - toolButton_->width() - 8, 6);
    toolButton_->raise();
    QWidget::resizeEvent(event);
}

void QVLumoWindow::closeEvent(QCloseEvent* event) {
    emit closeRequested();
    QWidget::closeEvent(event);
}

void QVLumoWindow::center() {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

QWidget* QVLumoWindow::mainWindow() {
    return mainWindowSlot();
}

void QVLumoWindow::setMainWindow(QWidget* window) {
    mainWindowSlot() = window;
}
