#pragma once

#include <QModelIndex>
#include <QTreeView>

// The kit's outline: a tree in the dark look with a fixed row height, no
// header, disclosure triangles, rows filled like QVLumoTableRowView, and the
// outline operations the panels use, by visible row.
class QVLumoOutlineView : public QTreeView {
    Q_OBJECT
  public:
    explicit QVLumoOutlineView(QWidget* parent = nullptr);

    void setRowHeight(int height);
    int rowHeight() const { return rowHeight_; }
    bool drawsAlternateRows() const { return alternate_; }
    void setDrawsAlternateRows(bool on);

    // Visible rows, top to bottom, as the outline shows them now.
    int numberOfRows() const;
    QModelIndex itemAtRow(int row) const;
    // The visible row of an item, -1 when it is not shown (collapsed parent).
    int rowForItem(const QModelIndex& item) const;
    int selectedRow() const;
    void selectRow(int row, bool extendSelection);
    void scrollRowToVisible(int row);
    // Expands an item, and with expandChildren all items below it.
    void expandItem(const QModelIndex& item, bool expandChildren = false);
    // Expands every item of the top level.
    void expandRootLevel();
    void reloadData();

  protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

  private:
    int rowHeight_ = 23;
    bool alternate_ = false;
};
