#include "ui/QVExportActivity.h"

#include "export/QVExportItem.h"
#include "ui/QVExportListModel.h"

namespace {

using State = QVExportActivity::State;

bool failed(qint64 status) {
    return status == QVExportStatusCreateFailed || status == QVExportStatusUpdateFailed;
}

bool underway(qint64 status) {
    return status == QVExportStatusCreating || status == QVExportStatusUploading;
}

void count(QVExportActivity::Counts& counts, State state, int delta) {
    if (state == State::Exporting) counts.exporting += delta;
    if (state == State::Uploading) counts.uploading += delta;
    if (state == State::Failed) counts.failed += delta;
}

}  // namespace

QVExportActivity::QVExportActivity(QVExportListModel* model, QObject* parent)
    : QObject(parent), model_(model) {
    progressTimer_.setParent(this);
    connect(&progressTimer_, &QTimer::timeout, this, [this] { refreshExporting(); });
    if (!model_) return;
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { resync(); });
    connect(model_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                rowsChanged(from.row(), to.row());
            });
    resync();
}

State QVExportActivity::stateOf(const QVExportItem& item) {
    const qint64 status = item.status();
    // The description of a movie item is registered on its own.
    const qint64 other = item.fcpXMLOnly() ? status : item.fcpXMLStatus();
    if (failed(status) || failed(other)) return State::Failed;
    switch (status) {
        case QVExportStatusCanceled:
            return State::Cancelled;
        case QVExportStatusNone:
        case QVExportStatusWaiting:
            return State::Waiting;
        case QVExportStatusExporting:
            return State::Exporting;
        case QVExportStatusCompleted:
            return underway(other) ? State::Uploading : State::Finished;
        default:
            return State::Uploading;
    }
}

QVExportItemList QVExportActivity::recentItems(int count) const {
    if (!model_) return {};
    return model_->items().mid(0, count);
}

void QVExportActivity::setProgressRefresh(std::function<void(const ItemPtr&)> refresh,
                                          int intervalMs) {
    refresh_ = std::move(refresh);
    progressTimer_.setInterval(qMax(1, intervalMs));
    updateProgressTimer();
}

void QVExportActivity::record(const ItemPtr& item, State state) {
    const auto known = states_.constFind(item.get());
    const bool wasKnown = known != states_.constEnd();
    const State before = wasKnown ? *known : state;
    if (wasKnown) count(counts_, before, -1);
    count(counts_, state, 1);
    states_.insert(item.get(), state);
    if (wasKnown && before != state) emit stateChanged(item, before, state);
}

void QVExportActivity::resync() {
    // Items the list showed before keep their last state, so a change that
    // reached the list together with a reset is still reported; items that
    // are new to the list (a new share, the list read at launch) are not.
    QHash<const QVExportItem*, State> previous;
    previous.swap(states_);
    counts_ = Counts();
    const QVExportItemList items = model_ ? model_->items() : QVExportItemList();
    for (const auto& item : items) {
        if (!item) continue;
        const State state = stateOf(*item);
        const auto known = previous.constFind(item.get());
        if (known != previous.constEnd()) {
            states_.insert(item.get(), *known);
            count(counts_, *known, 1);
        }
        record(item, state);
    }
    updateProgressTimer();
    emit changed();
}

void QVExportActivity::rowsChanged(int first, int last) {
    if (!model_) return;
    const Counts before = counts_;
    for (int row = qMax(0, first); row <= last; ++row) {
        const auto item = model_->itemAtRow(row);
        if (!item) continue;
        const State state = stateOf(*item);
        const auto known = states_.constFind(item.get());
        if (known != states_.constEnd() && *known == state) continue;
        record(item, state);
    }
    if (counts_ != before) updateProgressTimer();
    emit changed();
}

void QVExportActivity::updateProgressTimer() {
    const bool run = refresh_ && counts_.exporting > 0;
    if (run && !progressTimer_.isActive()) progressTimer_.start();
    if (!run) progressTimer_.stop();
}

void QVExportActivity::refreshExporting() {
    if (!model_ || !refresh_) return;
    for (const auto& item : model_->items()) {
        if (item && states_.value(item.get()) == State::Exporting) refresh_(item);
    }
}
