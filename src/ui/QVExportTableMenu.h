#pragma once

#include <memory>

#include <QObject>
#include <QPointer>

#include "export/QVExportItemManager.h"
#include "ui/kit/QVLumoMenuDelegate.h"
#include "ui/kit/QVLumoTableViewDelegate.h"

class QAction;
class QString;
class QVExportItem;
class QVExportListModel;
class QVExportListView;
class QVExportProcessor;
class QVFinderMenu;
class QVLumoMenu;
class QWidget;

// The export list's context menu and the commands on its rows: open, open
// with (the applications for the file), reveal, delete, clear and retry.
// Before the menu opens its items are retitled for the selection; they are
// enabled by what the selected rows allow. The row buttons, Return and
// Delete give the same commands.
class QVExportTableMenu : public QObject,
                          public QVLumoTableViewDelegate,
                          public QVLumoMenuDelegate {
    Q_OBJECT
  public:
    using ItemPtr = std::shared_ptr<QVExportItem>;

    QVExportTableMenu(QVExportListView* view, QVExportListModel* model, QWidget* window,
                      QVExportProcessor& processor, QObject* parent = nullptr);

    QVExportItemList selectedExportItems() const;
    bool shouldDisplayTableMenu(QVLumoTableView* sender) override;
    // Answers only for the menu's items; any other item is left enabled.
    bool validateMenuItem(QAction* item) override;
    static bool fileExistWithExportItem(const ItemPtr& item);
    static bool hasRetryItems(const QVExportItemList& items);

    void openAction();
    void openWithAction();
    void revealInFinderAction();
    void deleteItemAction();
    void clearAction();
    void retryAction();

    QAction* openMenuItem() const { return openMenuItem_; }
    QAction* openWithMenuItem() const { return openWithMenuItem_; }
    QAction* revealMenuItem() const { return revealMenuItem_; }
    QAction* deleteMenuItem() const { return deleteMenuItem_; }
    QAction* clearMenuItem() const { return clearMenuItem_; }
    QAction* retryMenuItem() const { return retryMenuItem_; }
    QAction* retrySepMenuItem() const { return retrySepMenuItem_; }

  private:
    void setUpTableMenu(QWidget* window);
    void rowActionButtonClicked(int row, qint64 exportAction);
    void detachOpenWithMenu();
    void openOrReveal(const QString& command);
    void reloadTable();

    QPointer<QVExportListView> view_;
    QVExportListModel* model_;
    QPointer<QWidget> window_;
    QVExportProcessor& processor_;
    QPointer<QVLumoMenu> tableMenu_;
    QPointer<QVLumoMenu> openWithSubmenu_;
    std::shared_ptr<QVFinderMenu> finderMenu_;
    QPointer<QAction> openMenuItem_;
    QPointer<QAction> openWithMenuItem_;
    QPointer<QAction> revealMenuItem_;
    QPointer<QAction> deleteMenuItem_;
    QPointer<QAction> clearMenuItem_;
    QPointer<QAction> retryMenuItem_;
    QPointer<QAction> retrySepMenuItem_;
};
