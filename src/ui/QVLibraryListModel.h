#pragma once

#include <functional>
#include <memory>

#include <QAbstractListModel>

#include "library/QVLibrary.h"

// The rows of the panels' library list: a snapshot of the registry's
// libraries taken at each reload, so rows never change under the view
// while the registry is reloaded in the background. A row can be selected
// only when the panel finds its library usable.
class QVLibraryListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using Predicate = std::function<bool(const std::shared_ptr<QVLibrary>&)>;

    explicit QVLibraryListModel(QObject* parent = nullptr);

    void setSelectablePredicate(Predicate predicate) { selectable_ = std::move(predicate); }
    // Takes a new snapshot and resets the model.
    void reload(const QVLibraryList& libraries);

    const QVLibraryList& libraries() const { return libraries_; }
    std::shared_ptr<QVLibrary> libraryAtRow(int row) const;
    // The row of a library by identity; -1 when it is not listed.
    int rowOfLibrary(const std::shared_ptr<QVLibrary>& library) const;
    bool isRowSelectable(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    QVLibraryList libraries_;
    Predicate selectable_;
};
