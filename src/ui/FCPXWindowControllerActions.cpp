// The choices and commands of the main window: the store-to popup, the
// table's rows, the export list's context menu and its validation, open,
// open with, reveal, delete, clear and retry.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/Workspace.h"
#include "service/QVTesselUtil.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAlertBox.h"
#include "ui/QVExportCellView.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"
#include "ui/QVFinderMenu.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoPopUpButton.h"

namespace {

QIcon folderIcon(const QString& path) {
    const QIcon icon = Workspace::iconForFile(path);
    return icon.isNull() ? QIcon() : QIcon(icon.pixmap(QSize(16, 16)));
}

}  // namespace

// ---- Table ----

void FCPXWindowController::setUpExportTable() {
    exportListView_->setTableDelegate(this);
    exportListView_->setCellProvider([this](QVExportCellView& cell, const ItemPtr& item, int row) {
        tableViewViewForRow(cell, item, row);
    });
    connect(exportListView_, &QVExportListView::actionButtonClicked, this,
            [this](int row, qint64 action) { rowActionButtonClicked(row, action); });
    connect(exportListView_, &QVExportListView::deleteRequested, this,
            [this] { deleteItemAction(); });
    connect(exportListView_, &QVExportListView::openRequested, this, [this] { openAction(); });
    setUpTableMenu();
}

int FCPXWindowController::numberOfRowsInTableView() const {
    return exportListModel_ ? exportListModel_->rowCount() : 0;
}

void FCPXWindowController::tableViewViewForRow(QVExportCellView& cell, const ItemPtr& item,
                                               int row) {
    (void)row;
    QVExportCellView::fillWithItem(cell, item);
}

void FCPXWindowController::updateCellView(QVExportCellView& cell, const ItemPtr& item) {
    QVExportCellView::updateCellViewWithItem(cell, item);
}

void FCPXWindowController::reloadTable() {
    if (exportListView_) exportListView_->reloadExportList();
}

void FCPXWindowController::selectRow(int row) {
    if (exportListView_) exportListView_->selectRow(row, false);
}

void FCPXWindowController::updateCellView(const ItemPtr& item) {
    if (!exportListView_ || !exportListModel_) return;
    const int row = exportListModel_->rowOfItem(item);
    if (row < 0) return;
    exportListModel_->rowChanged(row);
    // Only a row on screen has a cell; the others are filled when shown.
    QVExportCellView* cell = exportListView_->cellViewForRow(row);
    if (!cell) return;
    updateCellView(*cell, item);
    exportListView_->updateRow(row);
}

void FCPXWindowController::rowActionButtonClicked(int row, qint64 exportAction) {
    // The button acts on its own row, whatever else was selected.
    selectRow(row);
    if (exportAction == 0)
        deleteItemAction();
    else if (exportAction == 1)
        revealInFinderAction();
}

// ---- Store-to popup ----

void FCPXWindowController::setupStoreToPopupButton() {
    storeToPopupButton_->removeAllItems();
    auto* menu = new QVLumoMenu();
    menu->setDelegate(this);
    QAction* inside =
        menu->addItem(Localization::localized("defaultlibrary.storeto.inside.library"),
                      QStringLiteral("popupInsideLibraryAction:"));
    connect(inside, &QAction::triggered, this,
            [this, inside] { popupInsideLibraryAction(inside); });
    const QString storeToPath = QVPreferenceManager::sharedManager().storeToPath();
    if (!storeToPath.isNull()) {
        menu->addSeparator();
        QAction* header =
            menu->addItem(Localization::localized("defaultlibrary.storeto.external.location"),
                          QStringLiteral("externalLocationAction:"));
        header->setEnabled(false);
        QAction* path = menu->addItem(QFileInfo(storeToPath).fileName(),
                                      QStringLiteral("popupStoreToPathAction:"));
        path->setIcon(folderIcon(storeToPath));
        connect(path, &QAction::triggered, this, [this, path] { popupStoreToPathAction(path); });
    }
    menu->addSeparator();
    QAction* other = menu->addItem(Localization::localized("defaultlibrary.storeto.other"),
                                   QStringLiteral("popupStoreToOtherAction:"));
    connect(other, &QAction::triggered, this, [this, other] { popupStoreToOtherAction(other); });
    storeToPopupButton_->setMenu(menu);
    storeToPopupButton_->selectItem(inside);
    selectedStoreToMenuItem_ = inside;
}

QAction* FCPXWindowController::selectedLibraryMenuItem() const {
    QVLumoMenu* menu = storeToPopupButton_ ? storeToPopupButton_->menu() : nullptr;
    return menu ? menu->itemWithActionName(QStringLiteral("popupInsideLibraryAction:")) : nullptr;
}

QAction* FCPXWindowController::storeToPathMenuItem() const {
    QVLumoMenu* menu = storeToPopupButton_ ? storeToPopupButton_->menu() : nullptr;
    return menu ? menu->itemWithActionName(QStringLiteral("popupStoreToPathAction:")) : nullptr;
}

void FCPXWindowController::popupInsideLibraryAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    QVPreferenceManager::sharedManager().setStoreTo(false);
}

void FCPXWindowController::popupStoreToPathAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    QVPreferenceManager::sharedManager().setStoreTo(true);
}

void FCPXWindowController::externalLocationAction(QAction* sender) {
    (void)sender;
}

void FCPXWindowController::popupStoreToOtherAction(QAction* sender) {
    (void)sender;
    // The chooser opens once the pop-up menu has closed.
    QPointer<FCPXWindowController> guard(this);
    Dispatch::main([guard] {
        if (!guard || !guard->window_) return;
        QVSheetFolderChooser::Options options;
        options.title = Localization::localized("defaultlibrary.storeto.openpanel.title");
        options.prompt = Localization::localized("defaultlibrary.storeto.openpanel.select");
        options.directory = QVSheetFolderChooser::startDirectory(
            QVPreferenceManager::sharedManager().storeToPath());
        QVSheetFolderChooser::beginSheet(guard->window_, options, [guard](const QString& folder) {
            if (guard) guard->storeToFolderChosen(folder);
        });
    });
}

void FCPXWindowController::storeToFolderChosen(const QString& folder) {
    if (folder.isEmpty()) {
        // Cancelled: the pop-up shows the choice that is in force again.
        if (selectedStoreToMenuItem_) storeToPopupButton_->selectItem(selectedStoreToMenuItem_);
        return;
    }
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setStoreToPath(folder);
    preferences.setStoreTo(true);
    QAction* item = storeToPathMenuItem();
    if (item) {
        item->setIcon(folderIcon(folder));
        item->setText(QFileInfo(folder).fileName());
    } else {
        setupStoreToPopupButton();
        item = storeToPathMenuItem();
    }
    if (!item) return;
    storeToPopupButton_->selectItem(item);
    selectedStoreToMenuItem_ = item;
}

// ---- Context menu ----

void FCPXWindowController::setUpTableMenu() {
    auto* menu = new QVLumoMenu(window_);
    menu->setDelegate(this);
    tableMenu_ = menu;
    auto add = [this, menu](const QString& title, const char* action,
                            void (FCPXWindowController::*command)()) {
        QAction* item = menu->addItem(title, QString::fromLatin1(action));
        connect(item, &QAction::triggered, this, [this, command] { (this->*command)(); });
        return item;
    };
    openMenuItem_ = add(Localization::localizedOr("menuitem.open", "Open"),
                        "openAction:", &FCPXWindowController::openAction);
    openWithMenuItem_ = add(Localization::localizedOr("menuitem.openwith", "Open With"),
                            "openWithAction:", &FCPXWindowController::openWithAction);
    revealMenuItem_ = add(Localization::localized("menuitem.reveal.normal"),
                          "revealInFinderAction:", &FCPXWindowController::revealInFinderAction);
    menu->addSeparator();
    deleteMenuItem_ = add(Localization::localized("menuitem.delete.multi"),
                          "deleteItemAction:", &FCPXWindowController::deleteItemAction);
    clearMenuItem_ = add(Localization::localized("button.clear"),
                         "clearAction:", &FCPXWindowController::clearAction);
    retrySepMenuItem_ = menu->addSeparator();
    retryMenuItem_ = add(Localization::localizedOr("menuitem.retry", "Retry"),
                         "retryAction:", &FCPXWindowController::retryAction);
    exportListView_->setContextMenu(menu);
}

QVExportItemList FCPXWindowController::selectedExportItems() const {
    QVExportItemList items;
    if (!exportListView_ || !exportListModel_) return items;
    for (int row : exportListView_->selectedRowIndexes())
        if (auto item = exportListModel_->itemAtRow(row)) items << item;
    return items;
}

void FCPXWindowController::detachOpenWithMenu() {
    if (openWithMenuItem_) openWithMenuItem_->setMenu(static_cast<QMenu*>(nullptr));
    delete openWithSubmenu_.data();
    finderMenu_.reset();
}

bool FCPXWindowController::shouldDisplayTableMenu(QVLumoTableView* sender) {
    (void)sender;
    const QVExportItemList items = selectedExportItems();
    detachOpenWithMenu();
    revealMenuItem_->setText(Localization::localized("menuitem.reveal.normal"));
    if (items.size() == 1) {
        const ItemPtr& item = items.first();
        const QString name = item->name();
        revealMenuItem_->setText(Localization::localized("menuitem.reveal", {name}));
        deleteMenuItem_->setText(Localization::localized("menuitem.delete.one", {name}));
        if (auto finder = QVFinderMenu::finderMenuWithPath(item->filePath())) {
            finder->setOpenPanelParentWindow(window_);
            QVLumoMenu* submenu = finder->openWithMenu();
            submenu->setParent(tableMenu_, submenu->windowFlags());
            openWithSubmenu_ = submenu;
            openWithMenuItem_->setMenu(submenu);
            finderMenu_ = std::shared_ptr<QVFinderMenu>(std::move(finder));
        }
        const bool retry = hasRetryItems(items);
        retryMenuItem_->setVisible(retry);
        retrySepMenuItem_->setVisible(retry);
        return true;
    }
    if (items.size() >= 2) {
        deleteMenuItem_->setText(Localization::localized("menuitem.delete.multi"));
        retryMenuItem_->setVisible(false);
        retrySepMenuItem_->setVisible(false);
        return true;
    }
    return false;
}

bool FCPXWindowController::validateMenuItem(QAction* item) {
    const QString action = QVLumoMenu::actionName(item);
    if (action == QLatin1String("openAction:") || action == QLatin1String("openWithAction:") ||
        action == QLatin1String("revealInFinderAction:")) {
        const QVExportItemList items = selectedExportItems();
        return items.size() == 1 && fileExistWithExportItem(items.first());
    }
    if (action == QLatin1String("deleteItemAction:")) return !selectedExportItems().isEmpty();
    if (action == QLatin1String("externalLocationAction:")) return false;
    if (action == QLatin1String("popupStoreToPathAction:") ||
        action == QLatin1String("popupStoreToOtherAction:"))
        return defaultLibrary() && defaultLibrary()->libraryType() == 0;
    return true;
}

bool FCPXWindowController::fileExistWithExportItem(const ItemPtr& item) {
    if (!item) return false;
    switch (item->status()) {
        case QVExportStatusNone:
        case QVExportStatusWaiting:
        case QVExportStatusExporting:
        case QVExportStatusCanceled:
            return false;
        default:
            break;
    }
    const QString path = item->filePath();
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool FCPXWindowController::hasRetryItems(const QVExportItemList& items) {
    for (const auto& item : items) {
        const qint64 status = item->status();
        if (status == QVExportStatusCreateFailed || status == QVExportStatusUpdateFailed)
            return item->project() != nullptr;
    }
    return false;
}

// ---- Commands ----

void FCPXWindowController::openOrReveal(const QString& command) {
    const QVExportItemList items = selectedExportItems();
    if (items.isEmpty()) return;
    const ItemPtr& item = items.first();
    const QString path = item->filePath();
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path)) {
        processor_->environment().workspace(command, path);
        return;
    }
    QVAlertBox::showOKAlertBoxWithMessage(
        Localization::localized("exportitem.file.not.exist", {item->name(), path}));
}

void FCPXWindowController::openAction() {
    openOrReveal(QStringLiteral("open"));
}

void FCPXWindowController::openWithAction() {
    // The item only carries the Open With submenu.
}

void FCPXWindowController::revealInFinderAction() {
    openOrReveal(QStringLiteral("reveal"));
}

void FCPXWindowController::deleteItemAction() {
    const QVExportItemList items = selectedExportItems();
    if (items.isEmpty()) return;
    QPointer<FCPXWindowController> guard(this);
    QVAlertBox::showOKCancelAlertBoxWithTitle(
        QVAlertBox::applicationTitle(), Localization::localized("exportitems.want.delete"),
        Localization::localized("button.delete"), 3, [guard, items](qint64 answer) {
            if (answer != QVAlertBox::OK) return;
            // The rows selected when the command was given; files and
            // thumbnails stay on disk.
            for (const auto& item : items)
                QVExportItemManager::sharedManager().deleteExportItem(item);
            if (guard) guard->reloadTable();
        });
}

void FCPXWindowController::clearAction() {
    if (QVExportItemManager::sharedManager().count() == 0) return;
    QPointer<FCPXWindowController> guard(this);
    QVAlertBox::showOKCancelAlertBoxWithTitle(
        QVAlertBox::applicationTitle(), Localization::localized("exportitems.want.clear"),
        Localization::localized("button.clear"), 3, [guard](qint64 answer) {
            if (answer != QVAlertBox::OK) return;
            QVExportItemManager::sharedManager().removeAll();
            if (guard) guard->reloadTable();
            const QString folder = QVTesselUtil::relaydockThumbnailFolder();
            if (folder.isEmpty()) return;
            QDir dir(folder);
            const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                            QDir::System | QDir::NoDotAndDotDot);
            for (const QFileInfo& entry : entries) {
                if (entry.isDir() && !entry.isSymLink())
                    QDir(entry.filePath()).removeRecursively();
                else
                    QFile::remove(entry.filePath());
            }
        });
}

void FCPXWindowController::retryAction() {
    for (const auto& item : selectedExportItems())
        if (item->project()) retryExportItem(item);
}
