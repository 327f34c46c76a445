#pragma once

#include <functional>
#include <memory>

#include <QAbstractItemModel>

#include "library/QVProject.h"

// The panels' outline of a library's projects and groups. The top level is
// a snapshot of the library's projects taken at each reload; below, a node's
// children are its child groups. Holding the snapshot keeps the nodes alive
// while the library loads a new tree in the background. Rows show the node's
// name (also as tool tip) in the design's default text colour with the
// project or group icon, and are never editable.
class QVProjectOutlineModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    using Predicate = std::function<bool(const std::shared_ptr<QVProject>&)>;

    explicit QVProjectOutlineModel(QObject* parent = nullptr);

    // Nodes are selectable only while the predicate agrees (none: always).
    void setSelectablePredicate(Predicate predicate) { selectable_ = std::move(predicate); }
    void reload(const QVProjectList& projects);
    const QVProjectList& projects() const { return projects_; }

    std::shared_ptr<QVProject> nodeForIndex(const QModelIndex& index) const;
    // The index of a node of the snapshot; invalid when it is not in it.
    QModelIndex indexForNode(const std::shared_ptr<QVProject>& node) const;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    const QVProjectList& childrenOf(const QVProject* node) const;
    int rowInParent(const QVProject* node) const;

    QVProjectList projects_;
    Predicate selectable_;
};
