#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariantMap>

#include "FCPX/FCPXWindowControllerInterface.h"
#include "export/QVExportItemManager.h"
#include "share/QVExportProcessor.h"
#include "share/QVShareEnvironment.h"
#include "share/QVShareInteraction.h"
#include "ui/QVExportTableMenu.h"
#include "ui/QVMainWindowLayout.h"
#include "ui/QVStoreToPopup.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoMenuDelegate.h"
#include "ui/kit/QVLumoTableViewDelegate.h"

class FCPXDocument;
class QVExportCellView;
class QVExportItem;
class QVLibrary;
class QVLumoTableView;
class QVProject;
class QVSelectLibraryPanel;
class QVUploadLocation;

// The main window's controller: the window that shows the export list, its
// bars, menus and sheets. The shares themselves are the pipeline's
// (QVExportProcessor); the window follows their items through its signals,
// answers what only a person can (the destination sheet, alerts, the
// use-default switch), and keeps the operations the scripting side and the
// menus call, forwarding the processing ones. The window's widgets and their
// layout, the store-to pop-up and the list's context menu are parts of their
// own (QVMainWindowLayout, QVStoreToPopup, QVExportTableMenu).
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
    void importMovieForExportItem(const ItemPtr& item) {
        processor_->importMovieForExportItem(item);
    }
    void importFCPXMLForExportItem(const ItemPtr& item) {
        processor_->importFCPXMLForExportItem(item);
    }
    void checkExportItems() { processor_->checkExportItems(); }
    void loadExportItems() { processor_->loadExportItems(); }
    void retryExportForCreating(const ItemPtr& item) { processor_->retryExportForCreating(item); }
    void retryExportForUpdating(const ItemPtr& item) { processor_->retryExportForUpdating(item); }
    void retryFCPXMLExportForCreating(const ItemPtr& item) {
        processor_->retryFCPXMLExportForCreating(item);
    }
    void retryFCPXMLExportForUpdating(const ItemPtr& item) {
        processor_->retryFCPXMLExportForUpdating(item);
    }
    bool retryExportItem(const ItemPtr& item) { return processor_->retryExportItem(item); }

    // ---- What the pipeline asks of a person ----
    bool useDefaultLibrary() const override;
    void showAlert(const QString& message) override;
    bool chooseDestination(const QString& name, SheetEnded ended) override;

    // ---- State ----
    bool loaded() const { return loaded_; }
    std::shared_ptr<QVLibrary> defaultLibrary() const { return destination().library(); }
    void setDefaultLibrary(const std::shared_ptr<QVLibrary>& library) {
        destination().setLibrary(library);
    }
    std::shared_ptr<QVProject> defaultProject() const { return destination().project(); }
    void setDefaultProject(const std::shared_ptr<QVProject>& project) {
        destination().setProject(project);
    }
    std::shared_ptr<QVUploadLocation> defaultUploadLocation() const {
        return destination().uploadLocation();
    }
    void setDefaultUploadLocation(const std::shared_ptr<QVUploadLocation>& location) {
        destination().setUploadLocation(location);
    }
    std::shared_ptr<FCPXDocument> fcpXDocument() const { return fcpXDocument_.lock(); }
    // The destination sheet while it is shown, else nullptr.
    QVTesselImportPanel* importPanel() const { return importPanel_; }

    // --- window side ---
    void showWindow() override { layout_->showWindow(); }
    QWidget* window() const;
    // One-time set-up of the window; later calls do nothing.
    void awakeFromNib();
    // Default destination from the preferences, then its display.
    void loadDefaultLibraryInfo() { destination().load(); }
    void loadDefaultProjectInfo(const std::shared_ptr<QVLibrary>& library) {
        destination().loadProject(library);
    }
    void displayDefaultLibraryInfo();
    void logDefaultDestination() { destination().log(); }
    void checkUseDefaultLibraryAction();

    // Outlets (owned by the window).
    QWidget* topBarView() const { return layout_->topBarView(); }
    QVLumoColorView* defaultLibraryBackView() const { return layout_->defaultLibraryBackView(); }
    QLabel* libraryIconView() const { return layout_->libraryIconView(); }
    QVLumoLabel* libraryTitleField() const { return layout_->libraryTitleField(); }
    QVLumoLabel* projectTitleField() const { return layout_->projectTitleField(); }
    QCheckBox* fcpXMLOnlyCheckButton() const { return layout_->fcpXMLOnlyCheckButton(); }
    QVLumoPopUpButton* storeToPopupButton() const { return layout_->storeToPopupButton(); }
    QAction* selectedStoreToMenuItem() const { return storeTo_->selectedStoreToMenuItem(); }
    QWidget* contentView() const { return layout_->contentView(); }
    QWidget* bottomBarView() const { return layout_->bottomBarView(); }
    QCheckBox* checkUseDefaultLibraryButton() const {
        return layout_->checkUseDefaultLibraryButton();
    }
    QVLumoRokImageButton* selectLibraryButton() const { return layout_->selectLibraryButton(); }
    QVLumoRokButton* reloadButton() const { return layout_->reloadButton(); }
    QVLumoTableView* exportTableView() const;

    // Window set-up and layout.
    static constexpr int kTopBarHeight = QVMainWindowLayout::kTopBarHeight;
    static constexpr int kTopBarHiddenHeight = QVMainWindowLayout::kTopBarHiddenHeight;
    static constexpr int kSheetOffset = 22;
    // Closing the window hides it; answers NO (the window stays).
    bool windowShouldClose() { return layout_->windowShouldClose(); }
    // Where a sheet goes: the given place moved 22 points down.
    QRect willPositionSheet(const QRect& rect) const { return rect.translated(0, kSheetOffset); }
    void showUseDefaultLibraryView(bool show, bool animate) {
        layout_->showUseDefaultLibraryView(show, animate);
    }
    bool isLayoutAnimating() const { return layout_->isLayoutAnimating(); }
    qreal defaultLibraryBackAlpha() const { return layout_->defaultLibraryBackAlpha(); }
    QString libraryIconName() const { return layout_->libraryIconName(); }
    qreal libraryIconAlpha() const { return layout_->libraryIconAlpha(); }
    void selectLibraryAction();
    QVSelectLibraryPanel* selectLibraryPanel() const;
    // The library sheet's OK: new defaults, stored, and their upload location.
    void defaultLibraryChosen(const std::shared_ptr<QVLibrary>& library,
                              const std::shared_ptr<QVProject>& project) {
        destination().choose(library, project);
    }
    void exportFCPXMLOnlyAction();
    void reloadAction() { processor_->reloadLibraries(); }

    // Store-to popup.
    void setupStoreToPopupButton() { storeTo_->setupStoreToPopupButton(); }
    QAction* selectedLibraryMenuItem() const { return storeTo_->selectedLibraryMenuItem(); }
    QAction* storeToPathMenuItem() const { return storeTo_->storeToPathMenuItem(); }
    void popupInsideLibraryAction(QAction* sender) { storeTo_->popupInsideLibraryAction(sender); }
    void popupStoreToPathAction(QAction* sender) { storeTo_->popupStoreToPathAction(sender); }
    void popupStoreToOtherAction(QAction* sender) { storeTo_->popupStoreToOtherAction(sender); }
    void externalLocationAction(QAction* sender) { storeTo_->externalLocationAction(sender); }

    // Table.
    QVExportListView* exportListView() const { return layout_->exportListView(); }
    QVExportListModel* exportListModel() const { return layout_->exportListModel(); }
    int numberOfRowsInTableView() const;
    // Fills the cell made for a row (tableView:viewForTableColumn:row:).
    void tableViewViewForRow(QVExportCellView& cell, const ItemPtr& item, int row);
    static void updateCellView(QVExportCellView& cell, const ItemPtr& item);

    // Context menu and commands on rows.
    QVExportItemList selectedExportItems() const { return tableMenu_->selectedExportItems(); }
    bool shouldDisplayTableMenu(QVLumoTableView* sender) override {
        return tableMenu_->shouldDisplayTableMenu(sender);
    }
    // Both menus' items: the list's context menu and the store-to pop-up.
    bool validateMenuItem(QAction* item) override {
        return tableMenu_->validateMenuItem(item) && storeTo_->validateMenuItem(item);
    }
    static bool fileExistWithExportItem(const ItemPtr& item) {
        return QVExportTableMenu::fileExistWithExportItem(item);
    }
    static bool hasRetryItems(const QVExportItemList& items) {
        return QVExportTableMenu::hasRetryItems(items);
    }
    void openAction() { tableMenu_->openAction(); }
    void openWithAction() { tableMenu_->openWithAction(); }
    void revealInFinderAction() { tableMenu_->revealInFinderAction(); }
    void deleteItemAction() { tableMenu_->deleteItemAction(); }
    void clearAction() { tableMenu_->clearAction(); }
    void retryAction() { tableMenu_->retryAction(); }
    QAction* openMenuItem() const { return tableMenu_->openMenuItem(); }
    QAction* openWithMenuItem() const { return tableMenu_->openWithMenuItem(); }
    QAction* revealMenuItem() const { return tableMenu_->revealMenuItem(); }
    QAction* deleteMenuItem() const { return tableMenu_->deleteMenuItem(); }
    QAction* clearMenuItem() const { return tableMenu_->clearMenuItem(); }
    QAction* retryMenuItem() const { return tableMenu_->retryMenuItem(); }
    QAction* retrySepMenuItem() const { return tableMenu_->retrySepMenuItem(); }

  private:
    QVDefaultDestination& destination() const { return processor_->destination(); }
    void reloadTable();
    void selectRow(int row);
    // Redraws the item's row when it is on screen (main thread).
    void updateCellView(const ItemPtr& item);

    bool loaded_ = false;
    std::weak_ptr<FCPXDocument> fcpXDocument_;
    std::shared_ptr<QVExportProcessor> processor_;
    std::unique_ptr<QVMainWindowLayout> layout_;
    std::unique_ptr<QVStoreToPopup> storeTo_;
    std::unique_ptr<QVExportTableMenu> tableMenu_;
    QPointer<QVSelectLibraryPanel> selectLibraryPanel_;
    QPointer<QVTesselImportPanel> importPanel_;
};
