#include "ui/QVLibraryListPopover.h"

#include <QCursor>
#include <QItemSelectionModel>
#include <QMenu>  // QVLumoTableView.h keeps a QPointer<QMenu> of a declared-only class
#include <QVBoxLayout>

#include "library/QVLibraryManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "ui/QVLibraryListCellView.h"
#include "ui/QVLibraryListModel.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVPanelSupport.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoTableRowView.h"
#include "ui/kit/QVLumoTableView.h"

namespace {
// How soon after the pop-over lost the focus to a press on its own button
// that button's action still counts as closing the list.
constexpr qint64 kAnchorPressWindowMs = 1000;
}  // namespace

QVLibraryListPopover::QVLibraryListPopover(QWidget* contentParent, QObject* parent)
    : QObject(parent) {
    selectView_ = new QWidget(contentParent);
    selectView_->setObjectName(QStringLiteral("librarySelectView"));
    selectView_->hide();
    auto* layout = new QVBoxLayout(selectView_);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new QVLumoTableView(selectView_);
    table_->setObjectName(QStringLiteral("libraryTableView"));
    table_->setRowHeight(kRowHeight);
    table_->setDrawsAlternateRows(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(table_);
    model_ = new QVLibraryListModel(this);
    model_->setSelectablePredicate([this](const std::shared_ptr<QVLibrary>& library) {
        return isUsableLibrary(library, syncTessel());
    });
    table_->setModel(model_);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QVLibraryListPopover::selectionChanged);
    selectView_->resize(kListWidth, 0);
}

QVLibraryListPopover::~QVLibraryListPopover() {
    // The pop-over hands the list back to its parent when it goes.
    if (popover_) {
        popover_->setDelegate(nullptr);
        delete popover_;
    }
}

bool QVLibraryListPopover::isUsableLibrary(const std::shared_ptr<QVLibrary>& library,
                                           bool syncTessel) {
    if (!library || !library->isWritableLibrary()) return false;
    return !library->isLocalLibrary() || syncTessel;
}

int QVLibraryListPopover::listHeightForCount(qsizetype count) {
    return int(qMin<qsizetype>(qMax<qsizetype>(count, 0) * kHeightPerLibrary, kMaxListHeight));
}

void QVLibraryListPopover::updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                                               QVLibraryListCellView* cellView, bool syncTessel) {
    if (!library || !cellView) return;
    const bool usable = isUsableLibrary(library, syncTessel);
    if (library->isLocalLibrary()) library->setOnlineStatus(usable);
    cellView->libraryInfoField()->setStringValue(
        library->onlineStatus()
            ? library->descriptionString()
            : Localization::localizedString(QStringLiteral("librarybar.offline")));
    cellView->writableIcon()->setImage(usable ? QStringLiteral("librarybar.connected")
                                              : QStringLiteral("librarybar.disconnected"));
    const qreal alpha = usable ? 1.0 : 0.5;
    cellView->libraryIcon()->setAlphaValue(alpha);
    cellView->libraryNameField()->setAlphaValue(alpha);
}

void QVLibraryListPopover::configureCell(const std::shared_ptr<QVLibrary>& library,
                                         QVLibraryListCellView* cell) {
    cell->libraryNameField()->setStringValue(library->name());
    cell->libraryNameField()->setFrameShape(QFrame::NoFrame);
    cell->libraryInfoField()->setFrameShape(QFrame::NoFrame);
    cell->libraryNameField()->setTextInteractionFlags(Qt::NoTextInteraction);
    cell->libraryInfoField()->setTextInteractionFlags(Qt::NoTextInteraction);
    cell->setBackgroundStyle(1);
    updateLibraryStatus(library, cell, syncTessel());
    cell->libraryIcon()->setImage(library->libraryType() != 0 ? QStringLiteral("librarybar.network")
                                                              : QStringLiteral("librarybar.local"));
    const auto chosen = selectedLibrary_ ? selectedLibrary_() : nullptr;
    const bool checked = chosen && chosen->dbName() == library->dbName();
    cell->checkIcon()->setImage(checked ? QVLumoImage(QStringLiteral("icon.confirm.check"))
                                        : QVLumoImage());
}

void QVLibraryListPopover::reloadTable(const QVLibraryList& libraries) {
    if (!table_ || !selectView_) return;
    model_->reload(libraries);
    for (int row = 0; row < libraries.size(); ++row) {
        auto* rowView = new QVLumoTableRowView();
        rowView->setAttribute(Qt::WA_TransparentForMouseEvents);
        rowView->setRow(row);
        rowView->setDrawAlternate(true);
        auto* cell = new QVLibraryListCellView();
        rowView->setCellView(cell);
        configureCell(libraries.at(row), cell);
        table_->setIndexWidget(model_->index(row, 0), rowView);
    }
    const int height = listHeightForCount(libraries.size());
    selectView_->resize(kListWidth, height);
}

QVLibraryListCellView* QVLibraryListPopover::cellViewAtRow(int row) const {
    if (!table_ || row < 0 || row >= model_->rowCount()) return nullptr;
    auto* rowView = qobject_cast<QVLumoTableRowView*>(table_->indexWidget(model_->index(row, 0)));
    return rowView ? qobject_cast<QVLibraryListCellView*>(rowView->cellView()) : nullptr;
}

void QVLibraryListPopover::updateLibrary(const std::shared_ptr<QVLibrary>& library) {
    // By identity among the rows shown: the registry may have been reloaded
    // since, and a position there could name another row.
    const int row = model_->rowOfLibrary(library);
    if (row < 0) return;
    if (QVLibraryListCellView* cell = cellViewAtRow(row))
        updateLibraryStatus(library, cell, syncTessel());
}

void QVLibraryListPopover::toggleFromButton(QWidget* button) {
    QPointer<QVLibraryListPopover> self(this);
    QPointer<QWidget> anchor(button);
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [self, anchor](const QVLibraryList& libraries) {
            Dispatch::main([self, anchor, libraries] {
                // The button goes with its sheet.
                if (!self || !anchor) return;
                anchor->setEnabled(!libraries.isEmpty());
                if (libraries.isEmpty()) return;
                if (self->isShown() || self->consumeClosedByAnchorPress()) {
                    self->close();
                    return;
                }
                self->reloadTable(QVLibraryManager::sharedManager().libraries());
                self->showFromView(anchor);
                for (const auto& library : libraries) {
                    QVLibraryManager::sharedManager().reloadLibrary(
                        library, [self, library](bool success, const QVErrorOpt&) {
                            if (!success) return;
                            QVPanelSupport::onMain([self, library] {
                                if (self) self->updateLibrary(library);
                            });
                        });
                }
            });
        });
}

void QVLibraryListPopover::showFromView(QWidget* anchor) {
    close();
    anchor_ = anchor;
    closedByAnchor_.invalidate();
    auto* popover = new QVLumoPopover(selectView_);
    popover->setObjectName(QStringLiteral("popOverLibraryList"));
    popover->setArrowWidth(30);
    popover->setBackgroundColor(
        QColor::fromRgbF(0.13725490196078433, 0.13725490196078433, 0.13725490196078433, 1.0));
    popover->setBorderColor(QColor::fromRgbF(0.5, 0.5, 0.5, 1.0));
    popover->setClosesWhenApplicationBecomesInactive(true);
    popover->setClosesWhenPopoverResignsKey(true);
    popover->setDelegate(this);
    popover_ = popover;
    popover->displayPopoverWithView(anchor, true);
}

bool QVLibraryListPopover::isShown() const {
    return popover_ && popover_->isVisible();
}

void QVLibraryListPopover::close() {
    if (!popover_) return;
    if (popover_->isVisible()) popover_->closePopover(this);
    // closePopover tells popOverClosed, which forgets it; a hidden one too.
    if (popover_) {
        popover_->setDelegate(nullptr);
        popover_->deleteLater();
        popover_ = nullptr;
    }
}

bool QVLibraryListPopover::consumeClosedByAnchorPress() {
    const bool recent =
        closedByAnchor_.isValid() && closedByAnchor_.elapsed() < kAnchorPressWindowMs;
    closedByAnchor_.invalidate();
    return recent;
}

void QVLibraryListPopover::popOverClosed(QVLumoPopover* popover) {
    if (!popover || popover != popover_) return;
    // A press on the list button takes the focus from the pop-over first;
    // remember it so that the button's action does not reopen the list.
    if (anchor_ && anchor_->isVisible() &&
        anchor_->rect().contains(anchor_->mapFromGlobal(QCursor::pos())))
        closedByAnchor_.start();
    popover_->setDelegate(nullptr);
    popover_->deleteLater();
    popover_ = nullptr;
}

void QVLibraryListPopover::selectionChanged() {
    if (!table_) return;
    const QList<int> rows = table_->selectedRowIndexes();
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (auto* rowView =
                qobject_cast<QVLumoTableRowView*>(table_->indexWidget(model_->index(row, 0))))
            rowView->setSelected(rows.contains(row));
    }
    if (rows.isEmpty()) return;
    const auto library = model_->libraryAtRow(rows.first());
    if (!library || !isUsableLibrary(library, syncTessel())) {
        // Programmatic selections do not ask the flags: refuse them here.
        table_->selectionModel()->clearSelection();
        return;
    }
    if (onSelect_) onSelect_(library);
}
