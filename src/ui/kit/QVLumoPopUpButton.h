#pragma once

#include <QAbstractButton>
#include <QPointer>

#include "ui/kit/QVLumoMenu.h"

// A pop-up button: it shows the title and icon of its selected item and
// opens its kit menu over itself, the selected item under the pointer. The
// chosen item becomes the selected one before its action runs.
class QVLumoPopUpButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit QVLumoPopUpButton(QWidget* parent = nullptr);

    // The menu (the button takes ownership; the previous menu is deleted).
    QVLumoMenu* menu() const { return menu_; }
    void setMenu(QVLumoMenu* menu);

    void removeAllItems();
    QAction* addItemWithTitle(const QString& title);
    QList<QAction*> itemArray() const;
    int numberOfItems() const { return int(itemArray().size()); }
    QAction* itemAtIndex(int index) const;
    int indexOfItem(QAction* item) const;
    QAction* lastItem() const;

    void selectItem(QAction* item);
    void selectItemAtIndex(int index);
    QAction* selectedItem() const;
    int indexOfSelectedItem() const;
    QString titleOfSelectedItem() const;

    QSize sizeHint() const override;

  signals:
    // A menu item was chosen by the user (after it became the selection).
    void itemChosen(QAction* item);

  public slots:
    void showPopup();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void chooseItem(QAction* item);

    QPointer<QVLumoMenu> menu_;
    QPointer<QAction> selected_;
};
