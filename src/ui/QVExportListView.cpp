#include "ui/QVExportListView.h"

#include <unordered_set>

#include <QCursor>
#include <QFileInfo>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>

#include "export/QVExportItem.h"
#include "ui/QVExportListDelegate.h"
#include "ui/QVExportListModel.h"

namespace {

// Cells kept beyond those on screen before the ones off screen are dropped.
constexpr size_t kSpareCells = 64;

}  // namespace

QVExportListView::QVExportListView(QWidget* parent)
    : QVLumoTableView(parent), delegate_(new QVExportListDelegate(this)) {
    setItemDelegate(delegate_);
    setRowHeight(QVExportListDelegate::kRowHeight);
    setDrawsAlternateRows(true);
    setMouseTracking(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    provider_ = [](QVExportCellView& cell, const std::shared_ptr<QVExportItem>& item, int) {
        QVExportCellView::fillWithItem(cell, item);
    };
}

QVExportListView::~QVExportListView() = default;

void QVExportListView::setExportModel(QVExportListModel* model) {
    cells_.clear();
    hoveredRow_ = -1;
    pressedButtonRow_ = -1;
    model_ = model;
    setModel(model);
}

void QVExportListView::setCellProvider(CellProvider provider) {
    provider_ = std::move(provider);
    for (auto& [key, entry] : cells_) entry.needsFill = true;
    viewport()->update();
}

std::pair<int, int> QVExportListView::visibleRowRange() const {
    const int rows = numberOfRows();
    if (rows == 0 || viewport()->height() <= 0) return {-1, -1};
    const int first = rowAt(0);
    if (first < 0) return {-1, -1};
    int last = rowAt(viewport()->height() - 1);
    if (last < 0) last = rows - 1;
    return {first, last};
}

bool QVExportListView::isRowVisible(int row) const {
    const auto [first, last] = visibleRowRange();
    return first >= 0 && row >= first && row <= last;
}

QVExportCellView* QVExportListView::cellViewForRow(int row, bool makeIfNecessary) {
    if (!model_) return nullptr;
    const auto item = model_->itemAtRow(row);
    if (!item) return nullptr;
    auto found = cells_.find(item.get());
    if (found == cells_.end()) {
        if (!makeIfNecessary && !isRowVisible(row)) return nullptr;
        pruneCells();
        found = cells_.emplace(item.get(), Entry{item, QVExportCellView(), true}).first;
        if (row == hoveredRow_) found->second.cell.mouseEntered();
    }
    Entry& entry = found->second;
    if (entry.needsFill) {
        entry.needsFill = false;
        if (provider_) provider_(entry.cell, item, row);
    }
    return &entry.cell;
}

void QVExportListView::pruneCells() {
    const auto [first, last] = visibleRowRange();
    const size_t onScreen = first < 0 ? 0 : size_t(last - first + 1);
    if (cells_.size() <= onScreen + kSpareCells) return;
    std::unordered_set<const QVExportItem*> shown;
    for (int row = first; first >= 0 && row <= last; ++row)
        if (const auto item = model_->itemAtRow(row)) shown.insert(item.get());
    for (auto it = cells_.begin(); it != cells_.end();) {
        if (shown.count(it->first)) {
            ++it;
            continue;
        }
        releaseThumbnail(it->second);
        it = cells_.erase(it);
    }
}

void QVExportListView::releaseThumbnail(const Entry& entry) {
    // A picture that can be read again from its file is not kept for a row
    // that scrolled away: a long list would otherwise end up with every
    // thumbnail in memory. Pictures that exist only in memory stay.
    if (entry.cell.thumbnailView.image.isNull()) return;
    const QString path = entry.item->thumbnailPath();
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    entry.item->setThumbnailImage(QImage());
}

void QVExportListView::reloadExportList() {
    if (!model_) return;
    const QList<int> selected = selectedRowIndexes();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    model_->reload();
    // Rows keep their places in the selection, as far as the list reaches.
    const int rows = numberOfRows();
    if (selectionModel()) {
        QItemSelection keep;
        for (int row : selected)
            if (row < rows) keep.select(model_->index(row, 0), model_->index(row, 0));
        selectionModel()->select(keep,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (current >= 0 && current < rows)
            selectionModel()->setCurrentIndex(model_->index(current, 0),
                                              QItemSelectionModel::NoUpdate);
    }
    // Cells of items still listed are filled again when painted; the others go.
    std::unordered_set<const QVExportItem*> listed;
    if (cells_.size() > 0) {
        const QVExportItemList items = model_->items();
        for (const auto& item : items)
            if (cells_.count(item.get())) listed.insert(item.get());
    }
    for (auto it = cells_.begin(); it != cells_.end();) {
        if (!listed.count(it->first)) {
            it = cells_.erase(it);
            continue;
        }
        it->second.needsFill = true;
        it->second.cell.mouseExited();
        ++it;
    }
    if (hoveredRow_ >= rows) hoveredRow_ = -1;
    if (hoveredRow_ >= 0)
        if (QVExportCellView* cell = cellViewForRow(hoveredRow_, true)) cell->mouseEntered();
    pressedButtonRow_ = -1;
    viewport()->update();
}

void QVExportListView::updateRow(int row) {
    if (!model_ || row < 0 || row >= numberOfRows()) return;
    viewport()->update(visualRect(model_->index(row, 0)));
}

void QVExportListView::setHoveredRow(int row) {
    if (row >= numberOfRows()) row = -1;
    if (row == hoveredRow_) return;
    const int previous = hoveredRow_;
    hoveredRow_ = row;
    if (previous >= 0) {
        if (QVExportCellView* cell = cellViewForRow(previous)) cell->mouseExited();
        updateRow(previous);
    }
    if (row >= 0) {
        if (QVExportCellView* cell = cellViewForRow(row, true)) cell->mouseEntered();
        updateRow(row);
    }
}

int QVExportListView::rowAtViewport(const QPoint& pos) const {
    if (!viewport()->rect().contains(pos)) return -1;
    return rowAt(pos.y());
}

bool QVExportListView::hitsActionButton(int row, const QPoint& pos) const {
    if (row < 0 || row != hoveredRow_ || !model_) return false;
    const QRect rect = visualRect(model_->index(row, 0));
    return QVExportListDelegate::partAt(pos, rect) == QVExportListDelegate::Part::ActionButton;
}

bool QVExportListView::viewportEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Leave:
            setHoveredRow(-1);
            break;
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            const int row = rowAtViewport(help->pos());
            QString tip;
            if (row >= 0) {
                const QRect rect = visualRect(model_->index(row, 0));
                const auto part = QVExportListDelegate::partAt(help->pos(), rect);
                if (const QVExportCellView* cell = cellViewForRow(row)) {
                    if (part == QVExportListDelegate::Part::Name)
                        tip = cell->textField.toolTip;
                    else if (part == QVExportListDelegate::Part::Status &&
                             !cell->statusField.hidden)
                        tip = cell->statusField.toolTip;
                }
            }
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, viewport());
            return true;
        }
        default:
            break;
    }
    return QVLumoTableView::viewportEvent(event);
}

void QVExportListView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int row = rowAtViewport(pos);
    if (event->button() == Qt::LeftButton && hitsActionButton(row, pos)) {
        pressedButtonRow_ = row;
        updateRow(row);
        event->accept();
        return;
    }
    QVLumoTableView::mousePressEvent(event);
}

void QVExportListView::mouseReleaseEvent(QMouseEvent* event) {
    if (pressedButtonRow_ >= 0) {
        const int row = pressedButtonRow_;
        pressedButtonRow_ = -1;
        updateRow(row);
        const QPoint pos = event->position().toPoint();
        if (rowAtViewport(pos) == row && hitsActionButton(row, pos))
            if (const QVExportCellView* cell = cellViewForRow(row))
                emit actionButtonClicked(row, cell->exportAction());
        event->accept();
        return;
    }
    QVLumoTableView::mouseReleaseEvent(event);
}

void QVExportListView::mouseMoveEvent(QMouseEvent* event) {
    setHoveredRow(rowAtViewport(event->position().toPoint()));
    if (pressedButtonRow_ >= 0) {
        event->accept();
        return;
    }
    QVLumoTableView::mouseMoveEvent(event);
}

void QVExportListView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (event->modifiers() == Qt::NoModifier) {
                emit deleteRequested();
                event->accept();
                return;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit openRequested();
            event->accept();
            return;
        default:
            break;
    }
    QVLumoTableView::keyPressEvent(event);
}

void QVExportListView::scrollContentsBy(int dx, int dy) {
    QVLumoTableView::scrollContentsBy(dx, dy);
    // The pointer stays where it is while rows move under it.
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    if (hoveredRow_ >= 0 || viewport()->rect().contains(pos)) setHoveredRow(rowAtViewport(pos));
    pruneCells();
}

void QVExportListView::resizeEvent(QResizeEvent* event) {
    QVLumoTableView::resizeEvent(event);
    pruneCells();
}
