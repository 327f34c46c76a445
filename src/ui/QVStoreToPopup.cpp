#include "ui/QVStoreToPopup.h"

#include <QAction>
#include <QFileInfo>

#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/Workspace.h"
#include "share/QVDefaultDestination.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoPopUpButton.h"

namespace {

QIcon folderIcon(const QString& path) {
    const QIcon icon = Workspace::iconForFile(path);
    return icon.isNull() ? QIcon() : QIcon(icon.pixmap(QSize(16, 16)));
}

}  // namespace

QVStoreToPopup::QVStoreToPopup(QVLumoPopUpButton* button, QWidget* window,
                               const QVDefaultDestination& destination, QObject* parent)
    : QObject(parent), button_(button), window_(window), destination_(destination) {}

void QVStoreToPopup::setupStoreToPopupButton() {
    button_->removeAllItems();
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
    button_->setMenu(menu);
    button_->selectItem(inside);
    selectedStoreToMenuItem_ = inside;
}

QAction* QVStoreToPopup::selectedLibraryMenuItem() const {
    QVLumoMenu* menu = button_ ? button_->menu() : nullptr;
    return menu ? menu->itemWithActionName(QStringLiteral("popupInsideLibraryAction:")) : nullptr;
}

QAction* QVStoreToPopup::storeToPathMenuItem() const {
    QVLumoMenu* menu = button_ ? button_->menu() : nullptr;
    return menu ? menu->itemWithActionName(QStringLiteral("popupStoreToPathAction:")) : nullptr;
}

void QVStoreToPopup::popupInsideLibraryAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    QVPreferenceManager::sharedManager().setStoreTo(false);
}

void QVStoreToPopup::popupStoreToPathAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    QVPreferenceManager::sharedManager().setStoreTo(true);
}

void QVStoreToPopup::externalLocationAction(QAction* sender) {
    (void)sender;
}

void QVStoreToPopup::popupStoreToOtherAction(QAction* sender) {
    (void)sender;
    // The chooser opens once the pop-up menu has closed.
    QPointer<QVStoreToPopup> guard(this);
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

void QVStoreToPopup::storeToFolderChosen(const QString& folder) {
    if (folder.isEmpty()) {
        // Cancelled: the pop-up shows the choice that is in force again.
        if (selectedStoreToMenuItem_) button_->selectItem(selectedStoreToMenuItem_);
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
    button_->selectItem(item);
    selectedStoreToMenuItem_ = item;
}

bool QVStoreToPopup::validateMenuItem(QAction* item) {
    const QString action = QVLumoMenu::actionName(item);
    if (action == QLatin1String("externalLocationAction:")) return false;
    if (action == QLatin1String("popupStoreToPathAction:") ||
        action == QLatin1String("popupStoreToOtherAction:")) {
        const auto library = destination_.library();
        return library && library->libraryType() == 0;
    }
    return true;
}
