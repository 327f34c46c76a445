#include "ui/FCPXWindowController.h"

#include <QCheckBox>
#include <QMainWindow>

#include "FCPX/FCPXDocument.h"
#include "export/QVExportItem.h"
#include "ui/QVAlertBox.h"
#include "ui/QVExportListView.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoRokImageButton.h"

FCPXWindowController::FCPXWindowController(const std::shared_ptr<FCPXDocument>& document,
                                           QVShareEnvironment environment)
    : fcpXDocument_(document),
      processor_(std::make_shared<QVExportProcessor>(this, std::move(environment))),
      layout_(std::make_unique<QVMainWindowLayout>()),
      storeTo_(std::make_unique<QVStoreToPopup>(layout_->storeToPopupButton(), layout_->window(),
                                                processor_->destination())),
      tableMenu_(std::make_unique<QVExportTableMenu>(
          layout_->exportListView(), layout_->exportListModel(), layout_->window(), *processor_)) {
    connect(layout_->checkUseDefaultLibraryButton(), &QCheckBox::clicked, this,
            [this] { checkUseDefaultLibraryAction(); });
    connect(layout_->fcpXMLOnlyCheckButton(), &QCheckBox::clicked, this,
            [this] { exportFCPXMLOnlyAction(); });
    connect(layout_->selectLibraryButton(), &QAbstractButton::clicked, this,
            [this] { selectLibraryAction(); });
    connect(layout_->reloadButton(), &QAbstractButton::clicked, this, [this] { reloadAction(); });
    layout_->exportListView()->setCellProvider(
        [this](QVExportCellView& cell, const ItemPtr& item, int row) {
            tableViewViewForRow(cell, item, row);
        });
    // The window follows the pipeline's items and destination.
    connect(processor_.get(), &QVExportProcessor::itemAdded, this, [this](const ItemPtr&) {
        reloadTable();
        selectRow(0);
    });
    connect(processor_.get(), &QVExportProcessor::itemChanged, this,
            [this](const ItemPtr& item) { updateCellView(item); });
    connect(processor_.get(), &QVExportProcessor::listLoaded, this, [this] {
        displayDefaultLibraryInfo();
        reloadTable();
    });
    connect(processor_.get(), &QVExportProcessor::projectsLoaded, this, [this] { reloadTable(); });
    connect(&processor_->destination(), &QVDefaultDestination::changed, this,
            [this] { displayDefaultLibraryInfo(); });
    awakeFromNib();
}

FCPXWindowController::~FCPXWindowController() {
    // Answers still on their way to the pipeline find no one to ask.
    processor_->setInteraction(nullptr);
    processor_->disconnect(this);
    processor_->destination().disconnect(this);
    // The window goes first, while its menus' delegates are still there.
    delete layout_->window();
}

// ---- Export processing ----

void FCPXWindowController::newAssetWithName(const QString& name,
                                            const std::optional<QVariantMap>& metaData,
                                            const std::optional<QVariantMap>& dataOptions,
                                            AssetCompletion completion) {
    processor_->newAssetWithName(name, metaData, dataOptions, std::move(completion));
}

void FCPXWindowController::uploadForSelectLibraryWithName(
    const QString& name, const std::optional<QVariantMap>& metaData,
    const std::optional<QVariantMap>& dataOptions, AssetCompletion completion) {
    processor_->uploadForSelectLibraryWithName(name, metaData, dataOptions, std::move(completion));
}

void FCPXWindowController::createFCPXAssetWithName(
    const QString& name, const std::optional<QVariantMap>& metaData,
    const std::optional<QVariantMap>& dataOptions, const std::shared_ptr<QVLibrary>& library,
    const std::shared_ptr<QVProject>& project, qint64 importType, const QString& storeToPath,
    const std::shared_ptr<QVUploadLocation>& locationInfo, bool exportFCPXMLOnly,
    AssetCompletion completion) {
    processor_->createFCPXAssetWithName(name, metaData, dataOptions, library, project, importType,
                                        storeToPath, locationInfo, exportFCPXMLOnly,
                                        std::move(completion));
}

void FCPXWindowController::updateCellWithItem(const ItemPtr& item) {
    // The row follows the pipeline's itemChanged, on the main queue.
    QVExportProcessor::refreshRow(processor_, item);
}

// ---- What the pipeline asks of a person ----

bool FCPXWindowController::useDefaultLibrary() const {
    QCheckBox* box = layout_ ? layout_->checkUseDefaultLibraryButton() : nullptr;
    return box && box->isChecked();
}

void FCPXWindowController::showAlert(const QString& message) {
    QVAlertBox::showOKAlertBoxWithMessage(message);
}

bool FCPXWindowController::chooseDestination(const QString& name, SheetEnded ended) {
    if (importPanel_) return false;
    auto* panel = new QVTesselImportPanel(this);
    importPanel_ = panel;
    panel->setName(name);
    QPointer<QVTesselImportPanel> guard(panel);
    auto whenEnded = [guard, ended](qint64 returnCode) {
        QVTesselImportPanel* p = guard.data();
        if (!p || returnCode != 1) {
            ended(std::nullopt);
        } else {
            ended(QVChosenDestination{p->name(), p->selectedLibrary(), p->selectedProject(),
                                      p->folderLocation(), p->exportFCPXMLOnly()});
        }
        if (p) p->deleteLater();
    };
    if (!panel->beginSheet(window(), whenEnded)) {
        panel->deleteLater();
        return false;
    }
    return true;
}
