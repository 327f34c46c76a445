#include "ui/QVLibraryListModel.h"

QVLibraryListModel::QVLibraryListModel(QObject* parent) : QAbstractListModel(parent) {}

void QVLibraryListModel::reload(const QVLibraryList& libraries) {
    beginResetModel();
    libraries_ = libraries;
    endResetModel();
}

std::shared_ptr<QVLibrary> QVLibraryListModel::libraryAtRow(int row) const {
    return row >= 0 && row < libraries_.size() ? libraries_.at(row) : nullptr;
}

int QVLibraryListModel::rowOfLibrary(const std::shared_ptr<QVLibrary>& library) const {
    if (!library) return -1;
    for (int row = 0; row < libraries_.size(); ++row)
        if (libraries_.at(row) == library) return row;
    return -1;
}

bool QVLibraryListModel::isRowSelectable(int row) const {
    const auto library = libraryAtRow(row);
    return library && (!selectable_ || selectable_(library));
}

int QVLibraryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(libraries_.size());
}

QVariant QVLibraryListModel::data(const QModelIndex& index, int role) const {
    const auto library = libraryAtRow(index.row());
    if (!library || index.column() != 0) return QVariant();
    // The row's cell view draws the library; the model only answers for
    // accessibility and tool tips.
    if (role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) return library->name();
    return QVariant();
}

Qt::ItemFlags QVLibraryListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled;
    if (isRowSelectable(index.row())) result |= Qt::ItemIsSelectable;
    return result;
}
