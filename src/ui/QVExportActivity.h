#pragma once

#include <functional>
#include <memory>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "export/QVExportItemManager.h"

class QVExportItem;
class QVExportListModel;

// Follows the export list the window shows (its model's resets and row
// changes, which carry every status change of an item to the main thread)
// and says what changed in a person's terms: an export finished, failed or
// was cancelled; how many are exporting, uploading or failed. It also keeps
// the byte counts of exporting rows current by refreshing those rows at
// the file detector's pace. Main thread only.
class QVExportActivity : public QObject {
    Q_OBJECT
  public:
    enum class State { Waiting, Exporting, Uploading, Finished, Failed, Cancelled };
    Q_ENUM(State)
    struct Counts {
        int exporting = 0;
        int uploading = 0;
        int failed = 0;
        bool operator==(const Counts&) const = default;
    };
    using ItemPtr = std::shared_ptr<QVExportItem>;

    explicit QVExportActivity(QVExportListModel* model, QObject* parent = nullptr);

    // Both files of an item count: finished once neither side is still
    // under way, failed as soon as either side failed.
    static State stateOf(const QVExportItem& item);

    Counts counts() const { return counts_; }
    // The newest items of the list, at most count of them.
    QVExportItemList recentItems(int count) const;

    // Called for every exporting item once per interval while any exports
    // (the window controller's row refresh).
    void setProgressRefresh(std::function<void(const ItemPtr&)> refresh, int intervalMs);

  signals:
    // An item the list already showed moved from one state to another.
    void stateChanged(const std::shared_ptr<QVExportItem>& item, QVExportActivity::State from,
                      QVExportActivity::State to);
    // The counts or the list's newest items may have changed.
    void changed();

  private:
    void resync();
    void rowsChanged(int first, int last);
    void record(const ItemPtr& item, State state);
    void updateProgressTimer();
    void refreshExporting();

    QPointer<QVExportListModel> model_;
    QHash<const QVExportItem*, State> states_;
    Counts counts_;
    std::function<void(const ItemPtr&)> refresh_;
    QTimer progressTimer_;
};
