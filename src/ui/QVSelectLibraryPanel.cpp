#include "ui/QVSelectLibraryPanel.h"

#include <QItemSelectionModel>

#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVPanelSupport.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSheetPresenter.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoWindow.h"

namespace {
constexpr int kWidth = 460;
constexpr int kHeight = 400;

}  // namespace

QVSelectLibraryPanel::QVSelectLibraryPanel(QObject* parent) : QObject(parent) {}

QVSelectLibraryPanel::~QVSelectLibraryPanel() {
    if (projectsLoadedToken_)
        NotificationCenter::defaultCenter().removeObserver(projectsLoadedToken_);
    delete libraryList_;
    delete window_;
}

QVLumoWindow* QVSelectLibraryPanel::window() {
    if (!window_ && !loaded_) {
        loadWindow();
        awakeFromNib();
    }
    return window_;
}

bool QVSelectLibraryPanel::beginSheet(QWidget* parent, SheetCompletion completion) {
    QVLumoWindow* sheet = window();
    return sheet && QVSheetPresenter::beginSheet(sheet, parent, std::move(completion));
}

void QVSelectLibraryPanel::endSheet(qint64 returnCode) {
    if (libraryList_) libraryList_->close();
    if (window_) QVSheetPresenter::endSheet(window_, returnCode);
}

QVLumoPopover* QVSelectLibraryPanel::popOverLibraryList() const {
    return libraryList_ ? libraryList_->popover() : nullptr;
}

QWidget* QVSelectLibraryPanel::librarySelectView() const {
    return libraryList_ ? libraryList_->librarySelectView() : nullptr;
}

QVLumoTableView* QVSelectLibraryPanel::libraryTableView() const {
    return libraryList_ ? libraryList_->libraryTableView() : nullptr;
}

QVLibraryListCellView* QVSelectLibraryPanel::libraryCellViewAtRow(int row) const {
    return libraryList_ ? libraryList_->cellViewAtRow(row) : nullptr;
}

void QVSelectLibraryPanel::loadWindow() {
    using namespace QVPanelSupport;
    auto* w = new QVLumoWindow();
    window_ = w;
    w->setObjectName(QStringLiteral("QVSelectLibraryPanel"));
    w->setHiddenToolButton(true);
    w->setFixedSize(kWidth, kHeight);
    connect(w, &QVLumoWindow::closeRequested, this, &QVSelectLibraryPanel::cancelAction);

    contentBackView_ = new QVLumoColorView(w);
    contentBackView_->setGeometry(0, 0, kWidth, kHeight);
    libraryIconView_ = new QVPanelImageView(w);
    libraryIconView_->setGeometry(20, 16, 28, 28);
    libraryTitleField_ = new QVLumoLabel(w);
    libraryTitleField_->setObjectName(QStringLiteral("libraryTitleField"));
    libraryTitleField_->setGeometry(56, 20, kWidth - 56 - 80, 20);
    libraryTitleField_->setFont(QVTesselDesign::tesselBoldFontWithSize(13));
    libraryListButton_ = new QVLumoRokButton(w);
    libraryListButton_->setObjectName(QStringLiteral("libraryListButton"));
    libraryListButton_->setGeometry(kWidth - 74, 18, 24, 24);
    connect(libraryListButton_, &QAbstractButton::clicked, this,
            &QVSelectLibraryPanel::selectLibraryAction);
    libraryRevealButton_ = new QVLumoRokButton(w);
    libraryRevealButton_->setObjectName(QStringLiteral("libraryRevealButton"));
    libraryRevealButton_->setGeometry(kWidth - 44, 18, 24, 24);

    projectOutlineView_ = new QVLumoOutlineView(w);
    projectOutlineView_->setObjectName(QStringLiteral("projectOutlineView"));
    projectOutlineView_->setGeometry(20, 56, kWidth - 40, kHeight - 56 - 60);
    projectOutlineView_->setRowHeight(23);
    projectOutlineView_->setTextElideMode(Qt::ElideRight);
    projectOutlineView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    projectOutlineView_->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineModel_ = new QVProjectOutlineModel(this);
    projectOutlineView_->setModel(outlineModel_);
    connect(projectOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &QVSelectLibraryPanel::outlineSelectionChanged);

    cancelButton_ = makeButton(w, "cancelButton", Localization::localized("button.cancel"),
                               QStringLiteral("\x1b"));
    cancelButton_->setGeometry(kWidth - 235, kHeight - 45, 100, 25);
    connect(cancelButton_, &QAbstractButton::clicked, this, &QVSelectLibraryPanel::cancelAction);
    OKButton_ =
        makeButton(w, "OKButton", Localization::localized("button.ok"), QStringLiteral("\r"));
    OKButton_->setGeometry(kWidth - 120, kHeight - 45, 100, 25);
    connect(OKButton_, &QAbstractButton::clicked, this, &QVSelectLibraryPanel::okAction);

    libraryList_ = new QVLibraryListPopover(w);
    libraryList_->setSyncTesselProvider([this] { return syncTessel_; });
    libraryList_->setSelectedLibraryProvider([this] { return selectedLibrary_; });
    libraryList_->setSelectionHandler(
        [this](const std::shared_ptr<QVLibrary>& library) { libraryRowSelected(library); });
}

void QVSelectLibraryPanel::awakeFromNib() {
    if (loaded_) return;
    loaded_ = true;
    QPointer<QVSelectLibraryPanel> self(this);
    projectsLoadedToken_ = NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(QVPanelSupport::kLibraryProjectsLoaded),
        [self](const Notification& notification) {
            if (self) self->libraryProjectsLoadedNotification(notification);
        });
    QVPanelSupport::styleContentBackView(contentBackView_);
    QVPanelSupport::styleLibraryButtons(libraryListButton_, libraryRevealButton_);
    refreshSyncTessel();
    reloadLibraryInfo();
}

void QVSelectLibraryPanel::refreshSyncTessel() {
    syncTessel_ = QVPanelSupport::syncTesselNow();
}

void QVSelectLibraryPanel::updateOKButton() {
    if (OKButton_) OKButton_->setEnabled(selectedLibrary_ && selectedProject_);
}

void QVSelectLibraryPanel::reloadLibraryInfo() {
    if (!window_) return;
    const auto library = selectedLibrary_;
    QVPanelSupport::showLibraryHeader(library,
                                      QVLibraryListPopover::isUsableLibrary(library, syncTessel_),
                                      libraryIconView_, libraryTitleField_);
    if (!library) {
        reloadingOutline_ = true;
        outlineModel_->reload({});
        reloadingOutline_ = false;
        OKButton_->setEnabled(false);
        return;
    }
    const auto remembered = selectedProject_;
    QPointer<QVSelectLibraryPanel> self(this);
    // A load refused before it was sent completes on the loading thread;
    // the outline is a widget.
    auto apply = [self, library, remembered] {
        // Superseded by a later choice of library, whose own load follows.
        if (!self || self->selectedLibrary_ != library || !self->window_) return;
        QVLumoOutlineView* outline = self->projectOutlineView_;
        self->reloadingOutline_ = true;
        self->outlineModel_->reload(library->projects());
        outline->expandAll();
        self->reloadingOutline_ = false;
        std::shared_ptr<QVProject> found;
        if (remembered) {
            const auto node = library->projectWithID(remembered->id());
            const int row =
                node ? outline->rowForItem(self->outlineModel_->indexForNode(node)) : -1;
            if (row >= 0) {
                found = node;
                outline->selectRow(row, true);
                outline->scrollRowToVisible(row);
            }
        }
        self->selectedProject_ = found;
        self->updateOKButton();
    };
    library->loadProjectsWithCompletion(
        [apply](const QVProjectList&, const QVErrorOpt&) { QVPanelSupport::onMain(apply); });
    updateOKButton();
}

void QVSelectLibraryPanel::outlineSelectionChanged() {
    if (reloadingOutline_) return;
    const int row = projectOutlineView_->selectedRow();
    selectedProject_ =
        row >= 0 ? outlineModel_->nodeForIndex(projectOutlineView_->itemAtRow(row)) : nullptr;
    updateOKButton();
}

void QVSelectLibraryPanel::selectLibraryAction() {
    if (!window_) return;
    if (QWidget* focus = window_->focusWidget()) focus->clearFocus();
    refreshSyncTessel();
    libraryList_->toggleFromButton(libraryListButton_);
}

void QVSelectLibraryPanel::updateLibrary(const std::shared_ptr<QVLibrary>& library) {
    if (libraryList_) libraryList_->updateLibrary(library);
}

void QVSelectLibraryPanel::updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                                               QVLibraryListCellView* cellView) {
    QVLibraryListPopover::updateLibraryStatus(library, cellView, syncTessel_);
}

void QVSelectLibraryPanel::libraryRowSelected(const std::shared_ptr<QVLibrary>& library) {
    libraryList_->close();
    window_->raise();
    window_->activateWindow();
    selectedLibrary_ = library;
    selectedProject_ = nullptr;
    QVPreferenceManager::sharedManager().setLastSelectedLibraryID(library->dbName());
    reloadLibraryInfo();
}

void QVSelectLibraryPanel::loadLibraryWithID(const QString& libraryID) {
    refreshSyncTessel();
    QPointer<QVSelectLibraryPanel> self(this);
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [self, libraryID](const QVLibraryList& libraries) {
            Dispatch::main([self, libraryID, libraries] {
                if (!self) return;
                if (self->libraryListButton_)
                    self->libraryListButton_->setEnabled(!libraries.isEmpty());
                for (const auto& library : libraries) {
                    if (library->dbName() == libraryID) {
                        self->selectedLibrary_ = library;
                        break;
                    }
                }
                self->reloadLibraryInfo();
            });
        });
}

void QVSelectLibraryPanel::libraryProjectsLoadedNotification(const Notification& notification) {
    const auto library = QVPanelSupport::libraryFromNotification(notification);
    if (!selectedLibrary_ || !library || library->dbName() != selectedLibrary_->dbName()) return;
    reloadLibraryInfo();
}

void QVSelectLibraryPanel::okAction() {
    if (!selectedLibrary_ || !selectedProject_) return;
    endSheet(1);
}

void QVSelectLibraryPanel::cancelAction() {
    endSheet(0);
}
