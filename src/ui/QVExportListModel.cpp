#include "ui/QVExportListModel.h"

QVExportListModel::QVExportListModel(QObject* parent)
    : QVExportListModel(&QVExportItemManager::sharedManager(), parent) {}

QVExportListModel::QVExportListModel(QVExportItemManager* manager, QObject* parent)
    : QAbstractTableModel(parent), manager_(manager) {
    if (manager_) items_ = manager_->exportItems();
}

void QVExportListModel::setManager(QVExportItemManager* manager) {
    manager_ = manager;
    reload();
}

void QVExportListModel::reload() {
    beginResetModel();
    items_ = manager_ ? manager_->exportItems() : QVExportItemList();
    endResetModel();
}

void QVExportListModel::rowChanged(int row) {
    if (row < 0 || row >= items_.size()) return;
    emit dataChanged(index(row, 0), index(row, 0));
}

std::shared_ptr<QVExportItem> QVExportListModel::itemAtRow(int row) const {
    if (row < 0 || row >= items_.size()) return nullptr;
    return items_.at(row);
}

int QVExportListModel::rowOfItem(const std::shared_ptr<QVExportItem>& item) const {
    if (!item) return -1;
    return int(items_.indexOf(item));
}

int QVExportListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(items_.size());
}

int QVExportListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant QVExportListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const auto item = itemAtRow(index.row());
    return item ? QVariant(item->name()) : QVariant();
}

Qt::ItemFlags QVExportListModel::flags(const QModelIndex& index) const {
    // Every row is selectable; nothing is edited in place.
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
