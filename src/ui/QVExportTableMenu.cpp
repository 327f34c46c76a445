#include "ui/QVExportTableMenu.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

#include "export/QVExportItem.h"
#include "platform/Localization.h"
#include "service/QVTesselUtil.h"
#include "share/QVExportProcessor.h"
#include "ui/QVAlertBox.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"
#include "ui/QVFinderMenu.h"
#include "ui/kit/QVLumoMenu.h"

QVExportTableMenu::QVExportTableMenu(QVExportListView* view, QVExportListModel* model,
                                     QWidget* window, QVExportProcessor& processor, QObject* parent)
    : QObject(parent), view_(view), model_(model), window_(window), processor_(processor) {
    view->setTableDelegate(this);
    connect(view, &QVExportListView::actionButtonClicked, this,
            [this](int row, qint64 action) { rowActionButtonClicked(row, action); });
    connect(view, &QVExportListView::deleteRequested, this, [this] { deleteItemAction(); });
    connect(view, &QVExportListView::openRequested, this, [this] { openAction(); });
    setUpTableMenu(window);
}

void QVExportTableMenu::setUpTableMenu(QWidget* window) {
    auto* menu = new QVLumoMenu(window);
    menu->setDelegate(this);
    tableMenu_ = menu;
    auto add = [this, menu](const QString& title, const char* action,
                            void (QVExportTableMenu::*command)()) {
        QAction* item = menu->addItem(title, QString::fromLatin1(action));
        connect(item, &QAction::triggered, this, [this, command] { (this->*command)(); });
        return item;
    };
    openMenuItem_ = add(Localization::localizedOr("menuitem.open", "Open"),
                        "openAction:", &QVExportTableMenu::openAction);
    openWithMenuItem_ = add(Localization::localizedOr("menuitem.openwith", "Open With"),
                            "openWithAction:", &QVExportTableMenu::openWithAction);
    revealMenuItem_ = add(Localization::localized("menuitem.reveal.normal"),
                          "revealInFinderAction:", &QVExportTableMenu::revealInFinderAction);
    menu->addSeparator();
    deleteMenuItem_ = add(Localization::localized("menuitem.delete.multi"),
                          "deleteItemAction:", &QVExportTableMenu::deleteItemAction);
    clearMenuItem_ = add(Localization::localized("button.clear"),
                         "clearAction:", &QVExportTableMenu::clearAction);
    retrySepMenuItem_ = menu->addSeparator();
    retryMenuItem_ = add(Localization::localizedOr("menuitem.retry", "Retry"),
                         "retryAction:", &QVExportTableMenu::retryAction);
    view_->setContextMenu(menu);
}

void QVExportTableMenu::reloadTable() {
    if (view_) view_->reloadExportList();
}

void QVExportTableMenu::rowActionButtonClicked(int row, qint64 exportAction) {
    // The button acts on its own row, whatever else was selected.
    if (view_) view_->selectRow(row, false);
    if (exportAction == 0)
        deleteItemAction();
    else if (exportAction == 1)
        revealInFinderAction();
}

QVExportItemList QVExportTableMenu::selectedExportItems() const {
    QVExportItemList items;
    if (!view_ || !model_) return items;
    for (int row : view_->selectedRowIndexes())
        if (auto item = model_->itemAtRow(row)) items << item;
    return items;
}

void QVExportTableMenu::detachOpenWithMenu() {
    if (openWithMenuItem_) openWithMenuItem_->setMenu(static_cast<QMenu*>(nullptr));
    delete openWithSubmenu_.data();
    finderMenu_.reset();
}

bool QVExportTableMenu::shouldDisplayTableMenu(QVLumoTableView* sender) {
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

bool QVExportTableMenu::validateMenuItem(QAction* item) {
    const QString action = QVLumoMenu::actionName(item);
    if (action == QLatin1String("openAction:") || action == QLatin1String("openWithAction:") ||
        action == QLatin1String("revealInFinderAction:")) {
        const QVExportItemList items = selectedExportItems();
        return items.size() == 1 && fileExistWithExportItem(items.first());
    }
    if (action == QLatin1String("deleteItemAction:")) return !selectedExportItems().isEmpty();
    return true;
}

bool QVExportTableMenu::fileExistWithExportItem(const ItemPtr& item) {
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

bool QVExportTableMenu::hasRetryItems(const QVExportItemList& items) {
    for (const auto& item : items) {
        const qint64 status = item->status();
        if (status == QVExportStatusCreateFailed || status == QVExportStatusUpdateFailed)
            return item->project() != nullptr;
    }
    return false;
}

void QVExportTableMenu::openOrReveal(const QString& command) {
    const QVExportItemList items = selectedExportItems();
    if (items.isEmpty()) return;
    const ItemPtr& item = items.first();
    const QString path = item->filePath();
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path)) {
        processor_.environment().workspace(command, path);
        return;
    }
    QVAlertBox::showOKAlertBoxWithMessage(
        Localization::localized("exportitem.file.not.exist", {item->name(), path}));
}

void QVExportTableMenu::openAction() {
    openOrReveal(QStringLiteral("open"));
}

void QVExportTableMenu::openWithAction() {
    // The item only carries the Open With submenu.
}

void QVExportTableMenu::revealInFinderAction() {
    openOrReveal(QStringLiteral("reveal"));
}

void QVExportTableMenu::deleteItemAction() {
    const QVExportItemList items = selectedExportItems();
    if (items.isEmpty()) return;
    QPointer<QVExportTableMenu> guard(this);
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

void QVExportTableMenu::clearAction() {
    if (QVExportItemManager::sharedManager().count() == 0) return;
    QPointer<QVExportTableMenu> guard(this);
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

void QVExportTableMenu::retryAction() {
    for (const auto& item : selectedExportItems())
        if (item->project()) processor_.retryExportItem(item);
}
