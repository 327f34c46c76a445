#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>
#include <QTableView>

class QMenu;
class QVLumoTableViewDelegate;

// A single-column-style table in the kit's dark look: fixed row height, no
// headers, rows filled like QVLumoTableRowView (alternating when asked). A
// right click first makes the clicked row the selection when it was not part
// of it, then asks the delegate shouldDisplayTableMenu: and opens the menu
// only on yes.
class QVLumoTableView : public QTableView {
    Q_OBJECT
  public:
    explicit QVLumoTableView(QWidget* parent = nullptr);

    QVLumoTableViewDelegate* tableDelegate() const { return delegate_; }
    void setTableDelegate(QVLumoTableViewDelegate* delegate) { delegate_ = delegate; }
    QMenu* contextMenu() const { return menu_; }
    void setContextMenu(QMenu* menu) { menu_ = menu; }

    void setRowHeight(int height);
    int rowHeight() const;
    bool drawsAlternateRows() const { return alternate_; }
    void setDrawsAlternateRows(bool on);

    // Selected rows in ascending order.
    QList<int> selectedRowIndexes() const;
    // The row of the last right click, -1 when it hit no row.
    int clickedRow() const { return clickedRow_; }
    int numberOfRows() const;
    void selectRow(int row, bool extendSelection);
    void reloadData();

    // Opens the context menu as a right click at a viewport position does;
    // answers whether a menu was shown.
    bool showContextMenuAt(const QPoint& viewportPos);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QVLumoTableViewDelegate* delegate_ = nullptr;
    QPointer<QMenu> menu_;
    bool alternate_ = false;
    int clickedRow_ = -1;
};
