#pragma once

#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include "library/QVLibrary.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoPopoverDelegate.h"
#include "ui/kit/QVLumoTableView.h"

class QVLibraryListCellView;
class QVLibraryListModel;
class QWidget;

// The library pop-over both destination panels open from their list button:
// a table of the registry's libraries, one 40-point row each (check mark for
// the chosen library, icon, name, state), in a view 350 points wide and 42
// points per library high (at most 840), shown in a kit pop-over. A row can
// be selected only when its library is usable; selecting one tells the
// owner. The owner keeps the panel's own rules (when to reload, what a
// selection does); this class keeps the list, its rows and the pop-over.
class QVLibraryListPopover : public QObject, public QVLumoPopoverDelegate {
    Q_OBJECT
  public:
    static constexpr int kListWidth = 350;
    static constexpr int kHeightPerLibrary = 42;
    static constexpr int kMaxListHeight = 840;
    static constexpr int kRowHeight = 40;

    // contentParent holds the list while no pop-over shows it (hidden).
    explicit QVLibraryListPopover(QWidget* contentParent, QObject* parent = nullptr);
    ~QVLibraryListPopover() override;

    // What the owner answers: whether the local service was reached, which
    // library is chosen, and what to do when the user selects one.
    void setSyncTesselProvider(std::function<bool()> provider) {
        syncTessel_ = std::move(provider);
    }
    void setSelectedLibraryProvider(std::function<std::shared_ptr<QVLibrary>()> provider) {
        selectedLibrary_ = std::move(provider);
    }
    void setSelectionHandler(std::function<void(const std::shared_ptr<QVLibrary>&)> handler) {
        onSelect_ = std::move(handler);
    }

    // A network library is usable when it is writable; a local one when it
    // is writable and the local service was reached.
    static bool isUsableLibrary(const std::shared_ptr<QVLibrary>& library, bool syncTessel);
    static int listHeightForCount(qsizetype count);
    // Applies a library's state to its row: for a local library also stores
    // the answer as its online state; info text, writable mark and dimming.
    static void updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                                    QVLibraryListCellView* cellView, bool syncTessel);

    // Refills the table with libraries and sizes the list for them.
    void reloadTable(const QVLibraryList& libraries);
    // Refreshes the row of a library when the table shows one.
    void updateLibrary(const std::shared_ptr<QVLibrary>& library);

    // Makes a new pop-over with the list and shows it next to anchor.
    void showFromView(QWidget* anchor);
    bool isShown() const;
    // Closes the pop-over when it is shown and forgets it.
    void close();
    // True once when the pop-over closed, a moment ago, because the user
    // pressed anchor (so that press must not open it again).
    bool consumeClosedByAnchorPress();
    // The library button of both destination sheets: lists the libraries
    // again, enables the button when there is any, and opens the list next
    // to it (or closes it when it is open); then asks the service for each
    // library's state and refreshes its row.
    void toggleFromButton(QWidget* button);

    QVLumoPopover* popover() const { return popover_; }
    QWidget* librarySelectView() const { return selectView_; }
    QVLumoTableView* libraryTableView() const { return table_; }
    QVLibraryListModel* model() const { return model_; }
    // The cell the table shows for a row, or nullptr (none is created).
    QVLibraryListCellView* cellViewAtRow(int row) const;

    void popOverClosed(QVLumoPopover* popover) override;

  private:
    void configureCell(const std::shared_ptr<QVLibrary>& library, QVLibraryListCellView* cell);
    void selectionChanged();
    bool syncTessel() const { return syncTessel_ && syncTessel_(); }

    // Both live in the sheet's content and go with the sheet's window,
    // which may close before the library reloads it started come back.
    QPointer<QWidget> selectView_;
    QPointer<QVLumoTableView> table_;
    QVLibraryListModel* model_ = nullptr;
    QPointer<QVLumoPopover> popover_;
    QPointer<QWidget> anchor_;
    QElapsedTimer closedByAnchor_;
    std::function<bool()> syncTessel_;
    std::function<std::shared_ptr<QVLibrary>()> selectedLibrary_;
    std::function<void(const std::shared_ptr<QVLibrary>&)> onSelect_;
};
