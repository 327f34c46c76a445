#include "ui/kit/QVLumoMenu.h"

#include "ui/kit/QVLumoMenuDelegate.h"

namespace {
const char* const kRepresentedObject = "lumoRepresentedObject";
const char* const kActionName = "lumoActionName";
}  // namespace

QVLumoMenu::QVLumoMenu(QWidget* parent) : QVLumoMenu(QString(), parent) {}

QVLumoMenu::QVLumoMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {
    setUpStyle();
    connect(this, &QMenu::aboutToShow, this, &QVLumoMenu::validateItems);
}

void QVLumoMenu::setUpStyle() {
    setStyleSheet(QStringLiteral(
        "QMenu { background-color: rgb(35,35,35); color: rgb(210,210,210);"
        " border: 1px solid rgb(90,90,90); padding: 4px 0px; }"
        "QMenu::item { padding: 4px 22px 4px 22px; }"
        "QMenu::item:selected { background-color: rgb(45,79,124); color: white; }"
        "QMenu::item:disabled { color: rgb(110,110,110); }"
        "QMenu::separator { height: 1px; background: rgb(70,70,70); margin: 4px 8px; }"
        "QMenu::icon { padding-left: 6px; }"));
}

QAction* QVLumoMenu::addItem(const QString& title, const QString& actionName) {
    QAction* item = addAction(title);
    if (!actionName.isEmpty()) setActionName(item, actionName);
    return item;
}

void QVLumoMenu::setRepresentedObject(QAction* item, const QVariant& object) {
    if (item) item->setProperty(kRepresentedObject, object);
}

QVariant QVLumoMenu::representedObject(const QAction* item) {
    return item ? item->property(kRepresentedObject) : QVariant();
}

void QVLumoMenu::setActionName(QAction* item, const QString& actionName) {
    if (item) item->setProperty(kActionName, actionName);
}

QString QVLumoMenu::actionName(const QAction* item) {
    return item ? item->property(kActionName).toString() : QString();
}

QAction* QVLumoMenu::itemWithActionName(const QString& name) const {
    const QList<QAction*> items = actions();
    for (QAction* item : items) {
        if (!item->isSeparator() && actionName(item) == name) return item;
    }
    return nullptr;
}

void QVLumoMenu::validateItems() {
    if (!delegate_) return;
    delegate_->menuNeedsUpdate(this);
    if (!autoenables_) return;
    const QList<QAction*> items = actions();
    for (QAction* item : items) {
        if (item->isSeparator()) continue;
        item->setEnabled(delegate_->validateMenuItem(item));
    }
}
