#include "ui/QVTesselImportPanel.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>

#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "service/StringExtension.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVPanelSupport.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSheetPresenter.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoITIndicator.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

std::function<bool()>& libraryLoadedProvider() {
    static std::function<bool()> provider;
    return provider;
}

QVPreferenceManager& prefs() {
    return QVPreferenceManager::sharedManager();
}

constexpr int kWidth = 500;
constexpr int kHeight = 452;

}  // namespace

QVTesselImportPanel::QVTesselImportPanel(QObject* parent) : QObject(parent) {}

QVTesselImportPanel::~QVTesselImportPanel() {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    if (reloadCompletedToken_) center.removeObserver(reloadCompletedToken_);
    if (projectsLoadedToken_) center.removeObserver(projectsLoadedToken_);
    delete libraryList_;
    delete window_;
}

void QVTesselImportPanel::setLibraryLoadedProvider(std::function<bool()> provider) {
    libraryLoadedProvider() = std::move(provider);
}

QVLumoWindow* QVTesselImportPanel::window() {
    if (!window_ && !loaded_) {
        loadWindow();
        awakeFromNib();
    }
    return window_;
}

bool QVTesselImportPanel::beginSheet(QWidget* parent, SheetCompletion completion) {
    QVLumoWindow* sheet = window();
    return sheet && QVSheetPresenter::beginSheet(sheet, parent, std::move(completion));
}

void QVTesselImportPanel::endSheet(qint64 returnCode) {
    if (libraryList_) libraryList_->close();
    if (window_) QVSheetPresenter::endSheet(window_, returnCode);
}

void QVTesselImportPanel::setName(const QString& name) {
    name_ = name;
    if (titleField_ && !name.isNull()) titleField_->setText(name);
}

bool QVTesselImportPanel::exportFCPXMLOnly() const {
    return fcpXMLOnlyCheckButton_ && fcpXMLOnlyCheckButton_->isChecked();
}

QVLumoPopover* QVTesselImportPanel::popOverLibraryList() const {
    return libraryList_ ? libraryList_->popover() : nullptr;
}

QWidget* QVTesselImportPanel::librarySelectView() const {
    return libraryList_ ? libraryList_->librarySelectView() : nullptr;
}

QVLumoTableView* QVTesselImportPanel::libraryTableView() const {
    return libraryList_ ? libraryList_->libraryTableView() : nullptr;
}

QVLibraryListCellView* QVTesselImportPanel::libraryCellViewAtRow(int row) const {
    return libraryList_ ? libraryList_->cellViewAtRow(row) : nullptr;
}

void QVTesselImportPanel::loadWindow() {
    using namespace QVPanelSupport;
    auto* w = new QVLumoWindow();
    window_ = w;
    w->setObjectName(QStringLiteral("QVTesselImportPanel"));
    w->setHiddenToolButton(true);
    w->setFixedSize(kWidth, kHeight);
    connect(w, &QVLumoWindow::closeRequested, this, &QVTesselImportPanel::cancelAction);

    contentBackView_ = new QVLumoColorView(w);
    contentBackView_->setGeometry(0, 0, kWidth, kHeight);

    makeCaption(w, Localization::localized("import.panel.name"))->setGeometry(20, 18, 86, 22);
    titleField_ = new QLineEdit(w);
    titleField_->setObjectName(QStringLiteral("titleField"));
    titleField_->setGeometry(110, 16, 370, 24);
    titleField_->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgb(30,30,30); color: rgb(230,230,230);"
                       " border: 1px solid rgb(15,15,15); padding: 0px 4px; }"));
    connect(titleField_, &QLineEdit::textChanged, this, &QVTesselImportPanel::titleTextChanged);

    makeCaption(w, Localization::localized("import.panel.library"))->setGeometry(20, 54, 86, 22);
    libraryIconView_ = new QVPanelImageView(w);
    libraryIconView_->setGeometry(110, 52, 24, 24);
    libraryTitleField_ = new QVLumoLabel(w);
    libraryTitleField_->setObjectName(QStringLiteral("libraryTitleField"));
    libraryTitleField_->setGeometry(140, 54, 256, 20);
    libraryTitleField_->setFont(QVTesselDesign::tesselBoldFontWithSize(13));
    indicator_ = new QVLumoITIndicator(w);
    indicator_->setGeometry(402, 56, 16, 16);
    libraryListButton_ = new QVLumoRokButton(w);
    libraryListButton_->setObjectName(QStringLiteral("libraryListButton"));
    libraryListButton_->setGeometry(426, 52, 24, 24);
    connect(libraryListButton_, &QAbstractButton::clicked, this,
            &QVTesselImportPanel::selectLibraryAction);
    libraryRevealButton_ = new QVLumoRokButton(w);
    libraryRevealButton_->setObjectName(QStringLiteral("libraryRevealButton"));
    libraryRevealButton_->setGeometry(456, 52, 24, 24);

    projectOutlineView_ = new QVLumoOutlineView(w);
    projectOutlineView_->setObjectName(QStringLiteral("projectOutlineView"));
    projectOutlineView_->setGeometry(20, 88, 460, 230);
    projectOutlineView_->setRowHeight(23);
    projectOutlineView_->setTextElideMode(Qt::ElideRight);
    projectOutlineView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    projectOutlineView_->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineModel_ = new QVProjectOutlineModel(this);
    outlineModel_->setSelectablePredicate(
        [this](const std::shared_ptr<QVProject>& node) { return node && shouldSelectProject_; });
    projectOutlineView_->setModel(outlineModel_);
    connect(projectOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QVTesselImportPanel::outlineSelectionChanged);

    makeCaption(w, Localization::localized("import.panel.storeto"))->setGeometry(20, 334, 86, 22);
    storeToPopupButton_ = new QVLumoPopUpButton(w);
    storeToPopupButton_->setObjectName(QStringLiteral("storeToPopupButton"));
    storeToPopupButton_->setGeometry(110, 332, 370, 24);
    fcpXMLOnlyCheckButton_ = new QCheckBox(Localization::localized("import.panel.fcpxml.only"), w);
    fcpXMLOnlyCheckButton_->setObjectName(QStringLiteral("fcpXMLOnlyCheckButton"));
    fcpXMLOnlyCheckButton_->setGeometry(110, 368, 370, 22);
    fcpXMLOnlyCheckButton_->setStyleSheet(QStringLiteral("QCheckBox { color: rgb(192,192,192); }"));

    cancelButton_ = makeButton(w, "cancelButton", Localization::localized("button.cancel"),
                               QStringLiteral("\x1b"));
    cancelButton_->setGeometry(kWidth - 235, kHeight - 45, 100, 25);
    connect(cancelButton_, &QAbstractButton::clicked, this, &QVTesselImportPanel::cancelAction);
    OKButton_ =
        makeButton(w, "OKButton", Localization::localized("button.ok"), QStringLiteral("\r"));
    OKButton_->setGeometry(kWidth - 120, kHeight - 45, 100, 25);
    connect(OKButton_, &QAbstractButton::clicked, this, &QVTesselImportPanel::okAction);

    libraryList_ = new QVLibraryListPopover(w);
    libraryList_->setSyncTesselProvider([this] { return syncTessel_; });
    libraryList_->setSelectedLibraryProvider([this] { return selectedLibrary_; });
    libraryList_->setSelectionHandler(
        [this](const std::shared_ptr<QVLibrary>& library) { libraryRowSelected(library); });
}

void QVTesselImportPanel::awakeFromNib() {
    if (loaded_) return;
    loaded_ = true;
    using namespace QVPanelSupport;
    // 1
    QPointer<QVTesselImportPanel> self(this);
    NotificationCenter& center = NotificationCenter::defaultCenter();
    reloadCompletedToken_ = center.addObserver(
        QString::fromLatin1(kReloadLibraryCompleted), [self](const Notification& notification) {
            if (self) self->reloadLibraryCompletedNotification(notification);
        });
    projectsLoadedToken_ = center.addObserver(
        QString::fromLatin1(kLibraryProjectsLoaded), [self](const Notification& notification) {
            if (self) self->libraryProjectsLoadedNotification(notification);
        });
    // 2-3
    styleContentBackView(contentBackView_);
    styleLibraryButtons(libraryListButton_, libraryRevealButton_);
    // 4
    indicator_->setColor(QVTesselDesign::indicatorColor());
    indicator_->setDisplayedWhenStopped(false);
    indicator_->setIndeterminate(true);
    const bool librariesLoaded = !libraryLoadedProvider() || libraryLoadedProvider()();
    if (librariesLoaded) {
        indicator_->stopAnimation();
        indicator_->hide();
    } else {
        indicator_->show();
        indicator_->startAnimation();
    }
    // 5
    if (!name_.isNull()) titleField_->setText(name_);
    titleTextChanged(titleField_->text());
    // 6
    const QString lastLibrary = prefs().lastSelectedLibraryID();
    if (!lastLibrary.isNull()) {
        loadLibraryWithID(lastLibrary);
    } else {
        libraryListButton_->setEnabled(!QVLibraryManager::sharedManager().libraries().isEmpty());
        reloadLibraryInfo();
    }
    // 7
    fcpXMLOnlyCheckButton_->setChecked(prefs().exportFCPXMLOnly());
    // 8
    setupStoreToPopupButton();
    if (prefs().storeTo() && !prefs().storeToPath().isEmpty()) {
        if (QAction* folderItem = storeToPathMenuItem()) {
            storeToPopupButton_->selectItem(folderItem);
            // Remembered too, so a cancelled chooser shows what is in force.
            selectedStoreToMenuItem_ = folderItem;
        }
    }
}

void QVTesselImportPanel::refreshSyncTessel() {
    syncTessel_ = QVPanelSupport::syncTesselNow();
}

void QVTesselImportPanel::loadLibraryWithID(const QString& libraryID) {
    refreshSyncTessel();
    QVLibraryManager& manager = QVLibraryManager::sharedManager();
    const QVLibraryList libraries = manager.libraries();
    if (libraryListButton_) libraryListButton_->setEnabled(!libraries.isEmpty());
    selectedLibrary_ = nullptr;
    for (const auto& library : libraries) {
        if (library->dbName() == libraryID) {
            selectedLibrary_ = library;
            break;
        }
    }
    reloadLibraryInfo();
}

void QVTesselImportPanel::reloadLibraryInfo() {
    if (!window_) return;
    const auto library = selectedLibrary_;
    // 1-3
    QVPanelSupport::showLibraryHeader(library,
                                      QVLibraryListPopover::isUsableLibrary(library, syncTessel_),
                                      libraryIconView_, libraryTitleField_);
    if (!library) {
        reloadProjectOutline();
        return;
    }
    // 4
    QPointer<QVTesselImportPanel> self(this);
    // A load refused before it was sent completes on the loading thread;
    // the outline is a widget.
    auto apply = [self, library] {
        // A load for a library that is no longer chosen is superseded.
        if (!self || self->selectedLibrary_ != library || !self->window_) return;
        const QString lastProjectID = prefs().lastSelectedProjectID();
        QVLumoOutlineView* outline = self->projectOutlineView_;
        self->shouldSelectProject_ = false;
        self->outlineModel_->reload(library->projects());
        outline->expandRootLevel();
        self->shouldSelectProject_ = true;
        if (lastProjectID.isEmpty()) return;
        const auto node = library->projectWithID(lastProjectID);
        if (!node) return;
        if (const auto root = node->rootProject())
            outline->expandItem(self->outlineModel_->indexForNode(root), true);
        const QModelIndex item = self->outlineModel_->indexForNode(node);
        const int row = outline->rowForItem(item);
        if (row < 0) return;
        if (const auto parent = node->parent())
            outline->expandItem(self->outlineModel_->indexForNode(parent), false);
        const int shownRow = outline->rowForItem(item);
        outline->selectRow(shownRow, true);
        outline->scrollRowToVisible(shownRow);
    };
    library->loadProjectsWithCompletion(
        [apply](const QVProjectList&, const QVErrorOpt&) { QVPanelSupport::onMain(apply); });
}

void QVTesselImportPanel::reloadProjectOutline() {
    if (!outlineModel_) return;
    const auto selected = outlineModel_->nodeForIndex(
        projectOutlineView_->itemAtRow(projectOutlineView_->selectedRow()));
    shouldSelectProject_ = false;
    outlineModel_->reload(selectedLibrary_ ? selectedLibrary_->projects() : QVProjectList());
    projectOutlineView_->expandRootLevel();
    shouldSelectProject_ = true;
    if (!selected || !selectedLibrary_) return;
    const auto again = selectedLibrary_->projectWithID(selected->id());
    if (!again) return;
    if (const auto parent = again->parent())
        projectOutlineView_->expandItem(outlineModel_->indexForNode(parent), false);
    const int row = projectOutlineView_->rowForItem(outlineModel_->indexForNode(again));
    if (row >= 0) projectOutlineView_->selectRow(row, false);
}

void QVTesselImportPanel::outlineSelectionChanged() {
    const int row = projectOutlineView_->selectedRow();
    const auto node =
        row >= 0 ? outlineModel_->nodeForIndex(projectOutlineView_->itemAtRow(row)) : nullptr;
    // While the outline is rebuilt its selection comes and goes on its own.
    if (!shouldSelectProject_) return;
    prefs().setLastSelectedProjectID(node ? node->id() : QString());
}

void QVTesselImportPanel::titleTextChanged(const QString& value) {
    if (OKButton_) OKButton_->setEnabled(!StringExtension::isEmpty(value));
}

void QVTesselImportPanel::selectLibraryAction() {
    if (!window_) return;
    // 1
    if (QWidget* focus = window_->focusWidget()) focus->clearFocus();
    refreshSyncTessel();
    libraryList_->toggleFromButton(libraryListButton_);
}

void QVTesselImportPanel::updateLibrary(const std::shared_ptr<QVLibrary>& library) {
    if (libraryList_) libraryList_->updateLibrary(library);
}

void QVTesselImportPanel::updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                                              QVLibraryListCellView* cellView) {
    QVLibraryListPopover::updateLibraryStatus(library, cellView, syncTessel_);
}

void QVTesselImportPanel::libraryRowSelected(const std::shared_ptr<QVLibrary>& library) {
    libraryList_->close();
    window_->raise();
    window_->activateWindow();
    selectedLibrary_ = library;
    prefs().setLastSelectedLibraryID(library->dbName());
    reloadLibraryInfo();
}

void QVTesselImportPanel::reloadLibraryCompletedNotification(const Notification&) {
    if (!indicator_) return;
    indicator_->stopAnimation();
    indicator_->hide();
}

void QVTesselImportPanel::libraryProjectsLoadedNotification(const Notification& notification) {
    const auto library = QVPanelSupport::libraryFromNotification(notification);
    if (!selectedLibrary_ || !library || library->dbName() != selectedLibrary_->dbName()) return;
    reloadProjectOutline();
}
