#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QAction>
#include <QList>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariantMap>

#include "FCPX/FCPXWindowControllerInterface.h"
#include "export/QVExportItemManager.h"
#include "platform/NotificationCenter.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoMenuDelegate.h"
#include "ui/kit/QVLumoTableViewDelegate.h"

class FCPXAsset;
class FCPXDocument;
class QCheckBox;
class QLabel;
class QStandardItemModel;
class QVExportItem;
class QVLibrary;
class QVLumoColorView;
class QVLumoLabel;
class QVLumoPopUpButton;
class QVLumoRokButton;
class QVLumoRokImageButton;
class QVLumoTableView;
class QVProject;
class QVUploadLocation;
class QWidget;
class QAbstractAnimation;
class QGraphicsOpacityEffect;
class QVExportCellView;
class QVExportListModel;
class QVExportListView;
class QVFinderMenu;
class QVLumoMenu;
class QVSelectLibraryPanel;

// The main window's controller: takes every share from the editor's create
// command to a registered asset (destination, asset and export item, the
// wait for the export, resumption at launch, retries) and owns the window
// that shows the export list.
//
// Lives on the main thread and is held by the scripting document. Work that
// finishes on other threads (service answers, the file detector, the
// thumbnail maker, the adapter) only touches items and the export list there
// and hops to the main queue for everything on screen.
class FCPXWindowController : public QObject,
                             public FCPXWindowControllerInterface,
                             public QVLumoTableViewDelegate,
                             public QVLumoMenuDelegate,
                             public std::enable_shared_from_this<FCPXWindowController> {
    Q_OBJECT
  public:
    using ItemPtr = std::shared_ptr<QVExportItem>;

    // Builds the window (hidden) for the document.
    explicit FCPXWindowController(const std::shared_ptr<FCPXDocument>& document);
    ~FCPXWindowController() override;

    // ---- Export processing ----

    // Chooses the destination: the default library and project when the
    // use-default-library box is on and the defaults are usable, else the
    // destination sheet. Completion exactly once, on the main queue.
    void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                          const std::optional<QVariantMap>& dataOptions,
                          AssetCompletion completion) override;
    // The destination sheet path.
    void uploadForSelectLibraryWithName(const QString& name,
                                        const std::optional<QVariantMap>& metaData,
                                        const std::optional<QVariantMap>& dataOptions,
                                        AssetCompletion completion);
    // Makes the asset the editor writes for and the export item that tracks
    // it, answers the editor, starts waiting for the export and puts the
    // item at the top of the list.
    void createFCPXAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                                 const std::optional<QVariantMap>& dataOptions,
                                 const std::shared_ptr<QVLibrary>& library,
                                 const std::shared_ptr<QVProject>& project, qint64 importType,
                                 const QString& storeToPath,
                                 const std::shared_ptr<QVUploadLocation>& locationInfo,
                                 bool exportFCPXMLOnly, AssetCompletion completion);
    // The one refresh entry point for an item's row; any thread. Items not
    // in the list are ignored.
    void updateCellWithItem(const ItemPtr& item);
    // Thumbnail and media upload of an item (launch resumption).
    void importMovieForExportItem(const ItemPtr& item);
    // FCPXML upload of an item (launch resumption).
    void importFCPXMLForExportItem(const ItemPtr& item);
    // Restarts every item whose status is neither completed nor cancelled:
    // a file not yet announced by the editor is waited for again, a
    // registration that had begun is run again.
    void checkExportItems();
    // The same for the given items only (the stored ones at launch: shares
    // that came during the load are under way already).
    void checkExportItems(const QVExportItemList& items);
    // After the launch delay: reads the stored list off the main thread
    // (alert and quit when it cannot be read), then resumes its unfinished
    // items and shows the default destination and the list.
    void loadExportItems();
    // Item in status 6: creates its asset again.
    void retryExportForCreating(const ItemPtr& item);
    // Item in status 7 with an asset ID: confirms its upload again.
    void retryExportForUpdating(const ItemPtr& item);
    // The same two for the description of an FCPXML-only item, whose row
    // shows the description's status.
    void retryFCPXMLExportForCreating(const ItemPtr& item);
    void retryFCPXMLExportForUpdating(const ItemPtr& item);
    // The retry the item's status calls for; false when it has failed in
    // neither way.
    bool retryExportItem(const ItemPtr& item);

    // Delay before loadExportItems reads the list, in milliseconds (one
    // second unless changed for tests).
    static int launchDelay();
    static void setLaunchDelay(int milliseconds);
    // How the application ends after the unreadable-list alert; quits the
    // application unless replaced (tests).
    static void setTerminateHandler(std::function<void()> handler);
    static void terminateApplication();

    // The adapter's update and completion blocks as the finish step and the
    // launch use them: a row refresh on the main queue through the given
    // controller (when there is one), then a save of the list on the calling
    // thread. They hold the project tree of the item being uploaded.
    static std::function<void(const ItemPtr&)> refreshAndSaveBlock(
        const std::weak_ptr<FCPXWindowController>& controller, const ItemPtr& uploading = nullptr);
    // Writes the item's thumbnail into the thumbnail folder under a new
    // unique name, records its path and saves the list; then refreshes the
    // row through the controller. With logging off, nothing is written or
    // logged when no image comes back.
    static void makeThumbnailForItem(const ItemPtr& item,
                                     const std::weak_ptr<FCPXWindowController>& controller,
                                     bool logging);
    // Points the item at the node of its library's current project tree.
    // A reload replaces the tree, and a group of an old tree has lost the
    // project above it, so an upload must not start from one.
    static void refreshProjectOfItem(const ItemPtr& item);

    // ---- State ----
    bool loaded() const { return loaded_; }
    std::shared_ptr<QVLibrary> defaultLibrary() const { return defaultLibrary_; }
    void setDefaultLibrary(const std::shared_ptr<QVLibrary>& library) { defaultLibrary_ = library; }
    std::shared_ptr<QVProject> defaultProject() const { return defaultProject_; }
    void setDefaultProject(const std::shared_ptr<QVProject>& project) { defaultProject_ = project; }
    std::shared_ptr<QVUploadLocation> defaultUploadLocation() const {
        return defaultUploadLocation_;
    }
    void setDefaultUploadLocation(const std::shared_ptr<QVUploadLocation>& location) {
        defaultUploadLocation_ = location;
    }
    std::shared_ptr<FCPXDocument> fcpXDocument() const { return fcpXDocument_.lock(); }
    // The destination sheet while it is shown, else nullptr.
    QVTesselImportPanel* importPanel() const { return importPanel_; }

    // --- window side ---
    void showWindow() override;
    QWidget* window() const;
    // One-time set-up of the window; later calls do nothing.
    void awakeFromNib();
    // Default destination from the preferences, then its display.
    void loadDefaultLibraryInfo();
    void loadDefaultProjectInfo(const std::shared_ptr<QVLibrary>& library);
    void displayDefaultLibraryInfo();
    void logDefaultDestination();
    void checkUseDefaultLibraryAction();
    void libraryProjectsLoadedNotification(const Notification& notification);

    // Outlets (owned by the window).
    QWidget* topBarView() const { return topBarView_; }
    QVLumoColorView* defaultLibraryBackView() const { return defaultLibraryBackView_; }
    QLabel* libraryIconView() const { return libraryIconView_; }
    QVLumoLabel* libraryTitleField() const { return libraryTitleField_; }
    QVLumoLabel* projectTitleField() const { return projectTitleField_; }
    QCheckBox* fcpXMLOnlyCheckButton() const { return fcpXMLOnlyCheckButton_; }
    QVLumoPopUpButton* storeToPopupButton() const { return storeToPopupButton_; }
    QAction* selectedStoreToMenuItem() const { return selectedStoreToMenuItem_; }
    QWidget* contentView() const { return contentView_; }
    QWidget* bottomBarView() const { return bottomBarView_; }
    QCheckBox* checkUseDefaultLibraryButton() const { return checkUseDefaultLibraryButton_; }
    QVLumoRokImageButton* selectLibraryButton() const { return selectLibraryButton_; }
    QVLumoRokButton* reloadButton() const { return reloadButton_; }
    QVLumoTableView* exportTableView() const { return exportTableView_; }

    // Window set-up and layout.
    static constexpr int kTopBarHeight = 160;
    static constexpr int kTopBarHiddenHeight = 40;
    static constexpr int kSheetOffset = 22;
    // Closing the window hides it; answers NO (the window stays).
    bool windowShouldClose();
    // Where a sheet goes: the given place moved 22 points down.
    QRect willPositionSheet(const QRect& rect) const;
    void showUseDefaultLibraryView(bool show, bool animate);
    bool isLayoutAnimating() const;
    qreal defaultLibraryBackAlpha() const;
    QString libraryIconName() const { return libraryIconName_; }
    qreal libraryIconAlpha() const { return libraryIconAlpha_; }
    void selectLibraryAction();
    QVSelectLibraryPanel* selectLibraryPanel() const;
    // The library sheet's OK: new defaults, stored, and their upload location.
    void defaultLibraryChosen(const std::shared_ptr<QVLibrary>& library,
                              const std::shared_ptr<QVProject>& project);
    void exportFCPXMLOnlyAction();
    void reloadAction();
    // The synchronous check of the local service behind the default
    // library's availability (QVUploadManager syncTessel unless replaced).
    static void setSyncTesselCheck(std::function<bool()> check);
    static bool syncTesselCheck();

    // Store-to popup.
    void setupStoreToPopupButton();
    QAction* selectedLibraryMenuItem() const;
    QAction* storeToPathMenuItem() const;
    void popupInsideLibraryAction(QAction* sender);
    void popupStoreToPathAction(QAction* sender);
    void popupStoreToOtherAction(QAction* sender);
    void externalLocationAction(QAction* sender);

    // Table.
    QVExportListView* exportListView() const { return exportListView_; }
    QVExportListModel* exportListModel() const { return exportListModel_; }
    int numberOfRowsInTableView() const;
    // Fills the cell made for a row (tableView:viewForTableColumn:row:).
    void tableViewViewForRow(QVExportCellView& cell, const ItemPtr& item, int row);
    static void updateCellView(QVExportCellView& cell, const ItemPtr& item);

    // Context menu and commands on rows.
    QVExportItemList selectedExportItems() const;
    bool shouldDisplayTableMenu(QVLumoTableView* sender) override;
    bool validateMenuItem(QAction* item) override;
    static bool fileExistWithExportItem(const ItemPtr& item);
    static bool hasRetryItems(const QVExportItemList& items);
    void openAction();
    void openWithAction();
    void revealInFinderAction();
    void deleteItemAction();
    void clearAction();
    void retryAction();
    QAction* openMenuItem() const { return openMenuItem_; }
    QAction* openWithMenuItem() const { return openWithMenuItem_; }
    QAction* revealMenuItem() const { return revealMenuItem_; }
    QAction* deleteMenuItem() const { return deleteMenuItem_; }
    QAction* clearMenuItem() const { return clearMenuItem_; }
    QAction* retryMenuItem() const { return retryMenuItem_; }
    QAction* retrySepMenuItem() const { return retrySepMenuItem_; }
    // How open and reveal reach the desktop ("open" or "reveal", the path);
    // the workspace unless replaced (tests).
    using WorkspaceHook = std::function<bool(const QString& command, const QString& path)>;
    static void setWorkspaceHook(WorkspaceHook hook);
    static bool runWorkspaceCommand(const QString& command, const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Window side: the table's refresh points, replaceable as a whole.
    void reloadTable();
    void selectRow(int row);
    // Redraws the item's row when it is on screen (main thread).
    void updateCellView(const ItemPtr& item);
    void buildWindow();
    // --- window side (private) ---
    void layoutBars(int topBarHeight);
    void layoutBarContents();
    void setLibraryIcon(const QString& name, qreal alpha);
    void storeToFolderChosen(const QString& folder);
    void setUpExportTable();
    void setUpTableMenu();
    void rowActionButtonClicked(int row, qint64 exportAction);
    void detachOpenWithMenu();
    void openOrReveal(const QString& command);

    QWidget* centralView_ = nullptr;
    QGraphicsOpacityEffect* defaultLibraryOpacity_ = nullptr;
    QPointer<QAbstractAnimation> layoutAnimation_;
    int topBarHeight_ = kTopBarHeight;
    QString libraryIconName_;
    qreal libraryIconAlpha_ = 1.0;
    QPointer<QVSelectLibraryPanel> selectLibraryPanel_;
    QVExportListModel* exportListModel_ = nullptr;
    QVExportListView* exportListView_ = nullptr;
    QPointer<QVLumoMenu> tableMenu_;
    QPointer<QVLumoMenu> openWithSubmenu_;
    QPointer<QAction> clearMenuItem_;
    std::shared_ptr<QVFinderMenu> finderMenu_;

    // Processing steps. A resumed wait (launch) also ends a share whose
    // file never came as cancelled, and registers a file that is complete
    // when the editor's announcement does not come.
    void waitForExport(const ItemPtr& item, bool resumed = false);
    // The description of a movie item at launch, not yet announced.
    void waitForDescription(const ItemPtr& item);
    void resumeItem(const ItemPtr& item);
    // Items read at launch before their library's projects had arrived are
    // resumed when they do.
    void resumePendingItems();
    // Points defaultLibrary_ at the registry's current record of it.
    void refindDefaultLibrary();
    void useDefaultDestination(const QString& name, const std::optional<QVariantMap>& metaData,
                               const std::optional<QVariantMap>& dataOptions,
                               AssetCompletion completion);
    std::weak_ptr<FCPXWindowController> weakSelf() { return weak_from_this(); }

    bool loaded_ = false;
    std::shared_ptr<QVLibrary> defaultLibrary_;
    std::shared_ptr<QVProject> defaultProject_;
    std::shared_ptr<QVUploadLocation> defaultUploadLocation_;
    std::weak_ptr<FCPXDocument> fcpXDocument_;

    QPointer<QMainWindow> window_;
    QWidget* topBarView_ = nullptr;
    QVLumoColorView* defaultLibraryBackView_ = nullptr;
    QLabel* libraryIconView_ = nullptr;
    QVLumoLabel* libraryTitleField_ = nullptr;
    QVLumoLabel* projectTitleField_ = nullptr;
    QCheckBox* fcpXMLOnlyCheckButton_ = nullptr;
    QVLumoPopUpButton* storeToPopupButton_ = nullptr;
    QPointer<QAction> selectedStoreToMenuItem_;
    QWidget* contentView_ = nullptr;
    QWidget* bottomBarView_ = nullptr;
    QCheckBox* checkUseDefaultLibraryButton_ = nullptr;
    QVLumoRokImageButton* selectLibraryButton_ = nullptr;
    QVLumoRokButton* reloadButton_ = nullptr;
    QVLumoTableView* exportTableView_ = nullptr;
    QPointer<QAction> openMenuItem_;
    QPointer<QAction> openWithMenuItem_;
    QPointer<QAction> revealMenuItem_;
    QPointer<QAction> deleteMenuItem_;
    QPointer<QAction> retryMenuItem_;
    QPointer<QAction> retrySepMenuItem_;

    QStandardItemModel* tableModel_ = nullptr;
    NotificationCenter::Token projectsLoadedToken_ = 0;
    QPointer<QVTesselImportPanel> importPanel_;
    QList<ItemPtr> pendingResume_;
    NotificationCenter::Token resumeToken_ = 0;
};
