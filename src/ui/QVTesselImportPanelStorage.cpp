// The import panel's storage menu and the checks of its OK button.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include "library/QVPreferenceManager.h"
#include "platform/Localization.h"
#include "platform/Workspace.h"
#include "service/StringExtension.h"
#include "ui/QVAlertBox.h"
#include "ui/QVPanelSupport.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoWindow.h"
#include "upload/QVUploadManager.h"

namespace {

const QString kInsideAction = QStringLiteral("popupInsideLibraryAction:");
const QString kStoreToPathAction = QStringLiteral("popupStoreToPathAction:");
const QString kStoreToOtherAction = QStringLiteral("popupStoreToOtherAction:");
const QString kExternalAction = QStringLiteral("externalLocationAction:");

QVPreferenceManager& prefs() {
    return QVPreferenceManager::sharedManager();
}

}  // namespace

// ---- Storage menu ----

void QVTesselImportPanel::setupStoreToPopupButton() {
    if (!storeToPopupButton_) return;
    storeToPopupButton_->removeAllItems();
    auto* menu = new QVLumoMenu(storeToPopupButton_);
    // 1
    QAction* inside = menu->addItem(
        Localization::localized("defaultlibrary.storeto.inside.library"), kInsideAction);
    connect(inside, &QAction::triggered, this,
            [this, inside] { popupInsideLibraryAction(inside); });
    selectedStoreToMenuItem_ = inside;
    // 2
    const QString path = prefs().storeToPath();
    if (!path.isEmpty()) {
        menu->addSeparator();
        QAction* caption = menu->addItem(
            Localization::localized("defaultlibrary.storeto.external.location"), kExternalAction);
        caption->setEnabled(false);
        const QString clean = QDir::cleanPath(path);
        QAction* folder = menu->addItem(QFileInfo(clean).fileName(), kStoreToPathAction);
        folder->setIcon(Workspace::iconForFile(clean).pixmap(16, 16));
        connect(folder, &QAction::triggered, this,
                [this, folder] { popupStoreToPathAction(folder); });
    }
    // 3
    menu->addSeparator();
    QAction* other =
        menu->addItem(Localization::localized("defaultlibrary.storeto.other"), kStoreToOtherAction);
    connect(other, &QAction::triggered, this, [this, other] { popupStoreToOtherAction(other); });
    // 4
    storeToPopupButton_->setMenu(menu);
    menu->setDelegate(this);
}

QAction* QVTesselImportPanel::selectedLibraryMenuItem() const {
    return storeToPopupButton_ && storeToPopupButton_->menu()
               ? storeToPopupButton_->menu()->itemWithActionName(kInsideAction)
               : nullptr;
}

QAction* QVTesselImportPanel::storeToPathMenuItem() const {
    return storeToPopupButton_ && storeToPopupButton_->menu()
               ? storeToPopupButton_->menu()->itemWithActionName(kStoreToPathAction)
               : nullptr;
}

bool QVTesselImportPanel::validateMenuItem(QAction* item) {
    const QString action = QVLumoMenu::actionName(item);
    if (action == kExternalAction) return false;
    if (action == kStoreToPathAction || action == kStoreToOtherAction)
        return selectedLibrary_ != nullptr;
    return true;
}

void QVTesselImportPanel::popupInsideLibraryAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    prefs().setStoreTo(false);
}

void QVTesselImportPanel::popupStoreToPathAction(QAction* sender) {
    selectedStoreToMenuItem_ = sender;
    prefs().setStoreTo(true);
}

void QVTesselImportPanel::popupStoreToOtherAction(QAction*) {
    QPointer<QVTesselImportPanel> self(this);
    // Once the menu has closed, as the chooser is a sheet of this window.
    QTimer::singleShot(0, this, [self] {
        if (!self || !self->window_) return;
        QVSheetFolderChooser::Options options;
        options.title = Localization::localized("defaultlibrary.storeto.openpanel.title");
        options.prompt = Localization::localized("defaultlibrary.storeto.openpanel.select");
        options.directory = prefs().storeToPath();
        QVSheetFolderChooser::beginSheet(self->window_, options, [self](const QString& path) {
            if (!self || !self->storeToPopupButton_) return;
            if (path.isNull()) {
                self->storeToPopupButton_->selectItem(self->selectedStoreToMenuItem_);
                return;
            }
            prefs().setStoreTo(true);
            prefs().setStoreToPath(path);
            if (QAction* folder = self->storeToPathMenuItem()) {
                const QString clean = QDir::cleanPath(path);
                folder->setText(QFileInfo(clean).fileName());
                folder->setIcon(Workspace::iconForFile(clean).pixmap(16, 16));
            } else {
                self->setupStoreToPopupButton();
            }
            QAction* folder = self->storeToPathMenuItem();
            self->storeToPopupButton_->selectItem(folder);
            self->selectedStoreToMenuItem_ = folder;
        });
    });
}

// ---- Confirmation ----

void QVTesselImportPanel::showMessage(const char* key) {
    QVAlertBox::showOKAlertBoxWithMessage(Localization::localized(key));
}

void QVTesselImportPanel::okAction() {
    if (!window_ || checkingUploadLocation_) return;
    // 1: the name that will be used is the one in the field; the caller's
    // name only fills the field, so an empty one must not block a typed name.
    if (StringExtension::isEmpty(titleField_->text())) return showMessage("library.enter.name");
    // 2
    if (!selectedLibrary_) return showMessage("library.select.library");
    // 3
    const int row = projectOutlineView_->selectedRow();
    const auto node =
        row >= 0 ? outlineModel_->nodeForIndex(projectOutlineView_->itemAtRow(row)) : nullptr;
    if (!node) return showMessage("library.select.project");
    // 4
    if (!prefs().storeTo()) return checkUploadLocationWithProject(node);
    // 5
    const QString folder = prefs().storeToPath();
    if (folder.isEmpty()) return showMessage("defaultlibrary.not.select.external.location");
    if (!QFileInfo::exists(folder))
        return showMessage("defaultlibrary.not.select.external.location.not.exist");
    // 6
    if (selectedLibrary_->isLocalLibrary()) return checkUploadLocationWithProject(node);
    // 7
    checkNetworkAccess(node, folder);
}

void QVTesselImportPanel::checkNetworkAccess(const std::shared_ptr<QVProject>& node,
                                             const QString& folder) {
    checkingUploadLocation_ = true;
    QPointer<QVTesselImportPanel> self(this);
    node->accessibilityForReferenceFilePaths(
        {folder},
        [self, node, folder](bool success, const QVErrorOpt& error, const QStringList& failed) {
            QVPanelSupport::onMain([self, node, folder, success, error, failed] {
                // Cancelled meanwhile: the answer has no one to go to.
                if (!self || !self->checkingUploadLocation_) return;
                self->checkingUploadLocation_ = false;
                if (error) {
                    QVAlertBox::showOKAlertBoxWithMessage(error->localizedDescription());
                } else if (!success) {
                    self->showMessage("import.remote.upload.server.need.permission");
                } else if (!failed.isEmpty()) {
                    QVAlertBox::showOKAlertBoxWithMessage(Localization::localized(
                        "import.remote.upload.server.not.access.storetopath", {folder}));
                } else {
                    self->checkUploadLocationWithProject(node);
                }
            });
        });
}

void QVTesselImportPanel::checkUploadLocationWithProject(
    const std::shared_ptr<QVProject>& project) {
    if (titleField_) name_ = titleField_->text();
    selectedProject_ = project;
    checkingUploadLocation_ = true;
    QPointer<QVTesselImportPanel> self(this);
    QVUploadManager::sharedManager().uploadLocationWithLibrary(
        selectedLibrary_, [self](bool success, const std::shared_ptr<QVUploadLocation>& location,
                                 const QVErrorOpt& error) {
            QVPanelSupport::onMain([self, success, location, error] {
                if (!self || !self->checkingUploadLocation_) return;
                self->checkingUploadLocation_ = false;
                if (!success || !location) {
                    // The text may name the reason the service gave.
                    QVAlertBox::showOKAlertBoxWithMessage(Localization::localized(
                        "uploadlocation.cant.get",
                        {error ? error->localizedDescription() : QString()}));
                    return;
                }
                self->folderLocation_ = location;
                self->endSheet(1);
            });
        });
}

void QVTesselImportPanel::cancelAction() {
    // A check still running finds the sheet gone and does nothing more.
    checkingUploadLocation_ = false;
    endSheet(0);
}
