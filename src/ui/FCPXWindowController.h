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
#include "share/QVExportProcessor.h"
#include "share/QVShareEnvironment.h"
#include "share/QVShareInteraction.h"
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

// The main window's controller: the window that shows the export list, its
// bars, menus and sheets. The shares themselves are the pipeline's
// (QVExportProcessor); the window follows their items through its signals,
// answers what only a person can (the destination sheet, alerts, the
// use-default switch), and keeps the operations the scripting side and the
// menus call, forwarding the processing ones.
//
// Lives on the main thread and is held by the scripting document.
class FCPXWindowController : public QObject,
                             public FCPXWindowControllerInterface,
                             public QVShareInteraction,
                             public QVLumoTableViewDelegate,
                             public QVLumoMenuDelegate,
                             public std::enable_shared_from_this<FCPXWindowController> {
    Q_OBJECT
  public:
    using ItemPtr = std::shared_ptr<QVExportItem>;

    // Builds the window (hidden) for the document and its share pipeline
    // with the given collaborators (the agent's own where left empty).
    explicit FCPXWindowController(const std::shared_ptr<FCPXDocument>& document,
                                  QVShareEnvironment environment = QVShareEnvironment());
    ~FCPXWindowController() override;

    QVExportProcessor& processor() const { return *processor_; }
    std::weak_ptr<QVExportProcessor> processorHandle() const { return processor_; }

    // ---- Export processing (the pipeline's) ----

    void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                          const std::optional<QVariantMap>& dataOptions,
                          AssetCompletion completion) override;
    void uploadForSelectLibraryWithName(const QString& name,
                                        const std::optional<QVariantMap>& metaData,
                                        const std::optional<QVariantMap>& dataOptions,
                                        AssetCompletion completion);
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
    void importMovieForExportItem(const ItemPtr& item);
    void importFCPXMLForExportItem(const ItemPtr& item);
    void checkExportItems();
    void loadExportItems();
    void retryExportForCreating(const ItemPtr& item);
    void retryExportForUpdating(const ItemPtr& item);
    void retryFCPXMLExportForCreating(const ItemPtr& item);
    void retryFCPXMLExportForUpdating(const ItemPtr& item);
    bool retryExportItem(const ItemPtr& item);

    // ---- What the pipeline asks of a person ----
    bool useDefaultLibrary() const override;
    void showAlert(const QString& message) override;
    bool chooseDestination(const QString& name, SheetEnded ended) override;

    // ---- State ----
    bool loaded() const { return loaded_; }
    std::shared_ptr<QVLibrary> defaultLibrary() const;
    void setDefaultLibrary(const std::shared_ptr<QVLibrary>& library);
    std::shared_ptr<QVProject> defaultProject() const;
    void setDefaultProject(const std::shared_ptr<QVProject>& project);
    std::shared_ptr<QVUploadLocation> defaultUploadLocation() const;
    void setDefaultUploadLocation(const std::shared_ptr<QVUploadLocation>& location);
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

    bool loaded_ = false;
    std::weak_ptr<FCPXDocument> fcpXDocument_;
    std::shared_ptr<QVExportProcessor> processor_;

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
    QPointer<QVTesselImportPanel> importPanel_;
};
