#pragma once

#include <functional>
#include <memory>
#include <unordered_map>

#include "ui/QVExportCellView.h"
#include "ui/kit/QVLumoTableView.h"

class QVExportItem;
class QVExportListDelegate;
class QVExportListModel;

// The export list's table: 65-point rows painted from QVExportCellView
// values. A row's cell is made (through the cell provider) when the row
// first comes on screen and kept while it stays there, so that a row keeps
// what it showed between two refreshes; cells of rows that scrolled away are
// dropped, and with them the thumbnails read from disk for them (read again
// when the row comes back), so memory follows the screen, not the list. The
// pointer over a row shows that row's action button. Delete and Backspace
// ask to delete the selection, Return and Enter to open it.
class QVExportListView : public QVLumoTableView {
    Q_OBJECT
  public:
    using CellProvider = std::function<void(QVExportCellView& cell,
                                            const std::shared_ptr<QVExportItem>& item, int row)>;

    explicit QVExportListView(QWidget* parent = nullptr);
    ~QVExportListView() override;

    // The model must be a QVExportListModel (the view does not take it).
    void setExportModel(QVExportListModel* model);
    QVExportListModel* exportModel() const { return model_; }
    QVExportListDelegate* exportDelegate() const { return delegate_; }

    // Fills a new cell; the default fills it from the item alone.
    void setCellProvider(CellProvider provider);

    // The cell of a row. Rows on screen always have one (made now if the
    // row was not painted yet); other rows only with makeIfNecessary.
    QVExportCellView* cellViewForRow(int row, bool makeIfNecessary = false);
    // Rows whose cell is held now, the ones on screen among them.
    int cellCount() const { return int(cells_.size()); }

    // Takes the list afresh; cells on screen are filled again on their next
    // paint (keeping what their item's status leaves alone).
    void reloadExportList();
    // Repaints one row from its cell.
    void updateRow(int row);

    // First and last row on screen; -1 for both when none.
    std::pair<int, int> visibleRowRange() const;
    bool isRowVisible(int row) const;
    int hoveredRow() const { return hoveredRow_; }
    int pressedButtonRow() const { return pressedButtonRow_; }
    // Moves the hover as the pointer does (tests, screenshots).
    void setHoveredRow(int row);

  signals:
    // The action button of a row was clicked, with the cell's exportAction.
    void actionButtonClicked(int row, qint64 exportAction);
    void deleteRequested();
    void openRequested();

  protected:
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Entry {
        std::shared_ptr<QVExportItem> item;
        QVExportCellView cell;
        bool needsFill = true;
    };
    int rowAtViewport(const QPoint& pos) const;
    bool hitsActionButton(int row, const QPoint& pos) const;
    // Drops the cells of rows off screen once there are too many.
    void pruneCells();
    void releaseThumbnail(const Entry& entry);

    QVExportListModel* model_ = nullptr;
    QVExportListDelegate* delegate_;
    CellProvider provider_;
    std::unordered_map<const QVExportItem*, Entry> cells_;
    int hoveredRow_ = -1;
    int pressedButtonRow_ = -1;
};
