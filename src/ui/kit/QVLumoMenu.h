#pragma once

#include <QMenu>
#include <QPointer>
#include <QVariant>

class QVLumoMenuDelegate;

// A menu drawn in the kit's dark style. Every item may carry a represented
// object and an action name (the selector it stands for), so a delegate can
// validate items by what they do. Before the menu opens it asks its delegate
// to update it and, with autoenabling on, to validate every item; an item
// the delegate refuses is shown disabled.
class QVLumoMenu : public QMenu {
    Q_OBJECT
  public:
    explicit QVLumoMenu(QWidget* parent = nullptr);
    explicit QVLumoMenu(const QString& title, QWidget* parent = nullptr);

    QVLumoMenuDelegate* delegate() const { return delegate_; }
    // Not owned; the delegate must outlive the menu or clear itself.
    void setDelegate(QVLumoMenuDelegate* delegate) { delegate_ = delegate; }
    bool autoenablesItems() const { return autoenables_; }
    void setAutoenablesItems(bool on) { autoenables_ = on; }

    // Adds an item with a title and an action name; the caller connects the
    // item's triggered signal to the code of that action.
    QAction* addItem(const QString& title, const QString& actionName = QString());

    static void setRepresentedObject(QAction* item, const QVariant& object);
    static QVariant representedObject(const QAction* item);
    static void setActionName(QAction* item, const QString& actionName);
    static QString actionName(const QAction* item);
    // The first item whose action name is the one given, or nullptr.
    QAction* itemWithActionName(const QString& actionName) const;

    // Runs the delegate's update and validation, as opening the menu does.
    void validateItems();

  private:
    void setUpStyle();

    QVLumoMenuDelegate* delegate_ = nullptr;
    bool autoenables_ = true;
};
