#include "ui/QVProjectOutlineModel.h"

#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"

QVProjectOutlineModel::QVProjectOutlineModel(QObject* parent) : QAbstractItemModel(parent) {}

void QVProjectOutlineModel::reload(const QVProjectList& projects) {
    beginResetModel();
    projects_ = projects;
    endResetModel();
}

const QVProjectList& QVProjectOutlineModel::childrenOf(const QVProject* node) const {
    return node ? node->childGroups() : projects_;
}

int QVProjectOutlineModel::rowInParent(const QVProject* node) const {
    if (!node) return -1;
    const auto parentNode = node->parent();
    const QVProjectList& siblings = childrenOf(parentNode.get());
    for (int row = 0; row < siblings.size(); ++row)
        if (siblings.at(row).get() == node) return row;
    return -1;
}

std::shared_ptr<QVProject> QVProjectOutlineModel::nodeForIndex(const QModelIndex& index) const {
    if (!index.isValid()) return nullptr;
    auto* node = static_cast<QVProject*>(index.internalPointer());
    return node ? node->shared_from_this() : nullptr;
}

QModelIndex QVProjectOutlineModel::indexForNode(const std::shared_ptr<QVProject>& node) const {
    if (!node) return QModelIndex();
    const int row = rowInParent(node.get());
    if (row < 0) return QModelIndex();
    // Only nodes under the snapshot's top level belong to this model.
    auto top = node;
    for (auto up = top->parent(); up; up = up->parent()) top = up;
    bool listed = false;
    for (const auto& project : projects_) listed = listed || project == top;
    return listed ? createIndex(row, 0, node.get()) : QModelIndex();
}

QModelIndex QVProjectOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return QModelIndex();
    const auto* parentNode = static_cast<const QVProject*>(parent.internalPointer());
    if (parent.isValid() && !parentNode) return QModelIndex();
    const QVProjectList& children = childrenOf(parent.isValid() ? parentNode : nullptr);
    if (row >= children.size()) return QModelIndex();
    return createIndex(row, 0, children.at(row).get());
}

QModelIndex QVProjectOutlineModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return QModelIndex();
    const auto* node = static_cast<const QVProject*>(child.internalPointer());
    const auto parentNode = node ? node->parent() : nullptr;
    if (!parentNode) return QModelIndex();
    const int row = rowInParent(parentNode.get());
    return row < 0 ? QModelIndex() : createIndex(row, 0, parentNode.get());
}

int QVProjectOutlineModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const auto* node = static_cast<const QVProject*>(parent.internalPointer());
    if (parent.isValid() && !node) return 0;
    return int(childrenOf(parent.isValid() ? node : nullptr).size());
}

int QVProjectOutlineModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool QVProjectOutlineModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant QVProjectOutlineModel::data(const QModelIndex& index, int role) const {
    const auto* node = static_cast<const QVProject*>(index.internalPointer());
    if (!index.isValid() || !node) return QVariant();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return node->name();
        case Qt::ForegroundRole:
            return QVTesselDesign::defaultTextColor();
        case Qt::FontRole:
            return QVTesselDesign::tesselFontWithSize(12);
        case Qt::DecorationRole:
            return QVImages::icon(node->projectType() == 0 ? QStringLiteral("menu.icon.project")
                                                           : QStringLiteral("menu.icon.group"));
        default:
            return QVariant();
    }
}

Qt::ItemFlags QVProjectOutlineModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled;
    const auto node = nodeForIndex(index);
    if (node && (!selectable_ || selectable_(node))) result |= Qt::ItemIsSelectable;
    if (!hasChildren(index)) result |= Qt::ItemNeverHasChildren;
    return result;
}
