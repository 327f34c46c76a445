#pragma once

#include <memory>

#include <QAbstractTableModel>

#include "export/QVExportItemManager.h"

// The export list as a one-column table model: row r is item r of the
// export list, newest first. It holds a snapshot of the list that reload()
// takes afresh (the list may change on other threads between two reloads;
// the table shows one consistent list until it is told to reload).
class QVExportListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Over the shared export list unless another manager is given (tests
    // and benchmarks bring their own; it must outlive the model).
    explicit QVExportListModel(QObject* parent = nullptr);
    explicit QVExportListModel(QVExportItemManager* manager, QObject* parent = nullptr);

    QVExportItemManager* manager() const { return manager_; }
    void setManager(QVExportItemManager* manager);

    // Takes the list again and resets every view.
    void reload();

    // An item of a row has changed (status, progress): dataChanged for that
    // row, so that whatever follows the list sees rows off screen too.
    void rowChanged(int row);

    std::shared_ptr<QVExportItem> itemAtRow(int row) const;
    // The row of an item in the snapshot, -1 when it is not shown.
    int rowOfItem(const std::shared_ptr<QVExportItem>& item) const;
    QVExportItemList items() const { return items_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // Display: the item's name (for accessibility and keyboard search).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    QVExportItemManager* manager_;
    QVExportItemList items_;
};
