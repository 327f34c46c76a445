// The window side of FCPXWindowController: its one-time set-up, the default
// destination in the top bar, the bars' switches and the table's rows.

#include <QCheckBox>
#include <QMainWindow>

#include "FCPX/FCPXDocument.h"
#include "export/QVExportItem.h"
#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/Localization.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVExportCellView.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"
#include "ui/QVSelectLibraryPanel.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoPopUpButton.h"

void FCPXWindowController::awakeFromNib() {
    if (loaded_) return;
    loaded_ = true;

    if (auto document = fcpXDocument()) document->setName(QVMainWindowLayout::windowTitle());
    auto& preferences = QVPreferenceManager::sharedManager();
    layout_->checkUseDefaultLibraryButton()->setChecked(preferences.useDefaultLibrary());
    layout_->showUseDefaultLibraryView(preferences.useDefaultLibrary(), false);
    layout_->fcpXMLOnlyCheckButton()->setChecked(preferences.exportFCPXMLOnly());

    storeTo_->setupStoreToPopupButton();
    if (preferences.storeTo() && !preferences.storeToPath().isNull())
        if (QAction* item = storeTo_->storeToPathMenuItem())
            layout_->storeToPopupButton()->selectItem(item);
    displayDefaultLibraryInfo();
}

QWidget* FCPXWindowController::window() const {
    return layout_->window();
}

void FCPXWindowController::checkUseDefaultLibraryAction() {
    const bool show = layout_->checkUseDefaultLibraryButton()->isChecked();
    layout_->showUseDefaultLibraryView(show, true);
    QVPreferenceManager::sharedManager().setUseDefaultLibrary(show);
    // The default is read at launch only while the box is on: ticked later,
    // the next share needs it now.
    if (show && (!defaultLibrary() || !defaultProject())) loadDefaultLibraryInfo();
}

void FCPXWindowController::exportFCPXMLOnlyAction() {
    QVPreferenceManager::sharedManager().setExportFCPXMLOnly(
        layout_->fcpXMLOnlyCheckButton()->isChecked());
}

void FCPXWindowController::displayDefaultLibraryInfo() {
    auto& destination = processor_->destination();
    destination.refind();
    const auto library = destination.library();
    QVLumoLabel* libraryTitle = layout_->libraryTitleField();
    if (!library) {
        layout_->setLibraryIcon(QStringLiteral("menu.icon.library"), 1.0);
        libraryTitle->setAlphaValue(1.0);
        libraryTitle->setStringValue(Localization::localized("defaultlibrary.no.library"));
        layout_->projectTitleField()->setStringValue(
            Localization::localized("defaultlibrary.no.project"));
        return;
    }
    const bool local = library->libraryType() == 0;
    // A local library also needs its service; the check is short and runs
    // only when the destination is shown again.
    const qreal alpha = destination.available() ? 1.0 : 0.5;
    layout_->setLibraryIcon(
        local ? QStringLiteral("librarybar.local") : QStringLiteral("librarybar.network"), alpha);
    libraryTitle->setStringValue(library->name());
    libraryTitle->setAlphaValue(alpha);
    if (const auto project = destination.project())
        layout_->projectTitleField()->setStringValue(project->pathString());
}

QVSelectLibraryPanel* FCPXWindowController::selectLibraryPanel() const {
    return selectLibraryPanel_.data();
}

void FCPXWindowController::selectLibraryAction() {
    if (selectLibraryPanel_) return;
    auto* panel = new QVSelectLibraryPanel(this);
    selectLibraryPanel_ = panel;
    panel->setSelectedLibrary(defaultLibrary());
    panel->setSelectedProject(defaultProject());
    QPointer<FCPXWindowController> guard(this);
    const bool shown = panel->beginSheet(window(), [guard, panel](qint64 returnCode) {
        panel->deleteLater();
        if (!guard || returnCode != 1) return;
        guard->defaultLibraryChosen(panel->selectedLibrary(), panel->selectedProject());
    });
    if (!shown) {
        selectLibraryPanel_ = nullptr;
        panel->deleteLater();
    }
}

// ---- Table ----

QVLumoTableView* FCPXWindowController::exportTableView() const {
    return layout_->exportListView();
}

int FCPXWindowController::numberOfRowsInTableView() const {
    return exportListModel() ? exportListModel()->rowCount() : 0;
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
    exportListView()->reloadExportList();
}

void FCPXWindowController::selectRow(int row) {
    exportListView()->selectRow(row, false);
}

void FCPXWindowController::updateCellView(const ItemPtr& item) {
    QVExportListView* view = exportListView();
    const int row = exportListModel()->rowOfItem(item);
    if (row < 0) return;
    exportListModel()->rowChanged(row);
    // Only a row on screen has a cell; the others are filled when shown.
    QVExportCellView* cell = view->cellViewForRow(row);
    if (!cell) return;
    updateCellView(*cell, item);
    view->updateRow(row);
}
