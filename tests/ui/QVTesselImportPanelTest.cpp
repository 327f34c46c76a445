#include <fcntl.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <QMenu>  // before QVLumoTableView.h, whose QPointer<QMenu> needs it

#include "PanelFixture.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/NotificationCenter.h"
#include "support/Wait.h"
#include "ui/QVLibraryListCellView.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/QVSheetPresenter.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoITIndicator.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoTableView.h"
#include "ui/kit/QVLumoWindow.h"
#include "upload/QVUploadManager.h"

namespace {

QVPreferenceManager& prefs() {
    return QVPreferenceManager::sharedManager();
}

class ImportPanelTest : public PanelFixture {
  protected:
    // Opens a panel as a sheet on the main window; its end is recorded.
    void open(const QString& name = QStringLiteral("Clip 1")) {
        panel_ = std::make_unique<QVTesselImportPanel>();
        panel_->setName(name);
        ASSERT_TRUE(panel_->beginSheet(mainWindow_.get(), [this](qint64 code) { codes_ << code; }));
    }
    // Waits until the outline shows the chosen library's tree.
    bool outlineLoaded() {
        return waitUntil([&] { return panel_->projectOutlineView()->numberOfRows() > 0; });
    }
    void selectNode(const QString& id) {
        QVLumoOutlineView* outline = panel_->projectOutlineView();
        outline->expandAll();
        const int row = rowOfNode(outline, id);
        ASSERT_GE(row, 0) << id.toStdString();
        outline->selectRow(row, false);
    }
    bool sheetShown() const { return QVSheetPresenter::isSheetShown(panel_->window()); }
    void openList() {
        panel_->selectLibraryAction();
        ASSERT_TRUE(waitUntil([&] { return panel_->libraryList()->isShown(); }));
    }

    std::unique_ptr<QVTesselImportPanel> panel_;
    QList<qint64> codes_;
};

TEST_F(ImportPanelTest, OpensOnTheLastLibraryAndProjectWithItsGroupsExpanded) {
    ASSERT_TRUE(startService());
    prefs().setLastSelectedLibraryID("loc");
    prefs().setLastSelectedProjectID("g11");
    open();
    QVLumoWindow* sheet = panel_->window();
    // Hung under the main window's top bar, centred.
    const QPoint origin = mainWindow_->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(sheet->pos(), QPoint(origin.x() + (900 - sheet->width()) / 2, origin.y() + 22));
    EXPECT_EQ(QVSheetPresenter::sheetParent(sheet), mainWindow_.get());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);

    EXPECT_EQ(panel_->titleField()->text(), "Clip 1");
    EXPECT_EQ(panel_->libraryTitleField()->stringValue(), "Local One");
    EXPECT_EQ(panel_->libraryIconView()->imageName(), "librarybar.local");
    EXPECT_DOUBLE_EQ(panel_->libraryTitleField()->alphaValue(), 1.0);
    EXPECT_TRUE(panel_->libraryListButton()->isEnabled());
    EXPECT_TRUE(panel_->syncTessel());

    QVLumoOutlineView* outline = panel_->projectOutlineView();
    ASSERT_TRUE(waitUntil([&] { return outline->selectedRow() >= 0; }));
    EXPECT_EQ(nodeIDAtRow(outline, outline->selectedRow()), "g11");
    auto* model = qobject_cast<QVProjectOutlineModel*>(outline->model());
    const auto night = library("loc")->projectWithID("g11");
    EXPECT_TRUE(outline->isExpanded(model->indexForNode(night->parent())));
    EXPECT_TRUE(outline->isExpanded(model->indexForNode(night->rootProject())));
    // The choice is remembered again.
    EXPECT_EQ(prefs().lastSelectedProjectID(), "g11");
}

TEST_F(ImportPanelTest, WithoutLibrariesTheListIsDisabledAndTheHeaderSaysSo) {
    QVLibraryManager::sharedManager().setLibraries({});
    open();
    EXPECT_FALSE(panel_->libraryListButton()->isEnabled());
    EXPECT_EQ(panel_->libraryTitleField()->stringValue(), text("library.no.library"));
    EXPECT_EQ(panel_->libraryIconView()->imageName(), "menu.icon.library");
    EXPECT_EQ(panel_->projectOutlineView()->numberOfRows(), 0);
}

TEST_F(ImportPanelTest, ConfirmationChecksComeInOrderAndKeepTheSheet) {
    ASSERT_TRUE(startService());
    open(QString());
    // An empty name keeps OK disabled, and OK itself still refuses.
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
    panel_->okAction();
    panel_->titleField()->setText("   ");
    EXPECT_FALSE(panel_->OKButton()->isEnabled());
    panel_->okAction();
    panel_->titleField()->setText("Typed Name");
    EXPECT_TRUE(panel_->OKButton()->isEnabled());
    panel_->okAction();
    panel_->loadLibraryWithID("loc");
    ASSERT_TRUE(outlineLoaded());
    panel_->okAction();
    EXPECT_EQ(alerts_,
              QStringList({text("library.enter.name"), text("library.enter.name"),
                           text("library.select.library"), text("library.select.project")}));
    EXPECT_TRUE(sheetShown());
    EXPECT_TRUE(codes_.isEmpty());

    selectNode("g12");
    alerts_.clear();
    prefs().setStoreTo(true);
    prefs().setStoreToPath(QString());
    panel_->okAction();
    QTemporaryDir gone;
    const QString deleted = gone.path() + "/deleted";
    ASSERT_TRUE(QDir().mkpath(deleted));
    prefs().setStoreToPath(deleted);
    ASSERT_TRUE(QDir(deleted).removeRecursively());
    panel_->okAction();
    EXPECT_EQ(alerts_,
              QStringList({text("defaultlibrary.not.select.external.location"),
                           text("defaultlibrary.not.select.external.location.not.exist")}));
    EXPECT_TRUE(sheetShown());

    // Inside the library: the upload location is fetched, then the sheet ends.
    prefs().setStoreTo(false);
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return !codes_.isEmpty(); }));
    EXPECT_EQ(codes_, QList<qint64>({1}));
    EXPECT_FALSE(sheetShown());
    EXPECT_EQ(panel_->name(), "Typed Name");
    ASSERT_TRUE(panel_->selectedProject());
    EXPECT_EQ(panel_->selectedProject()->id(), "g12");
    ASSERT_TRUE(panel_->folderLocation());
    EXPECT_TRUE(panel_->folderLocation()->mediaPath().startsWith("Media/Master/"));
    EXPECT_EQ(panel_->folderLocation()->dbName(), "loc");
    EXPECT_EQ(alerts_.size(), 2);
}

TEST_F(ImportPanelTest, AFailedUploadLocationKeepsTheSheetForAnotherTry) {
    ASSERT_TRUE(startService());
    prefs().setLastSelectedLibraryID("loc2");
    prefs().setLastSelectedProjectID("q1");
    open();
    ASSERT_TRUE(waitUntil([&] { return panel_->projectOutlineView()->selectedRow() >= 0; }));
    ASSERT_TRUE(service_->setFault("upload-location", "error", "9"));
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return !alerts_.isEmpty(); }));
    ASSERT_EQ(alerts_.size(), 1);
    // The text, with the service's reason where it names one.
    const QString format = text("uploadlocation.cant.get");
    EXPECT_TRUE(alerts_.first().startsWith(format.left(format.indexOf("%@"))));
    if (format.contains("%@")) {
        EXPECT_TRUE(alerts_.first().contains("Injected error 9"));
    }
    EXPECT_TRUE(sheetShown());
    EXPECT_FALSE(panel_->folderLocation());

    ASSERT_TRUE(service_->clearFaults());
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return !codes_.isEmpty(); }));
    EXPECT_EQ(codes_, QList<qint64>({1}));
    EXPECT_EQ(service_->requests("upload-location").count, 2);
}

TEST_F(ImportPanelTest, NetworkLibraryFolderAccessIsCheckedWithTheService) {
    ASSERT_TRUE(startService());
    QTemporaryDir folder;
    prefs().setStoreTo(true);
    prefs().setStoreToPath(folder.path());
    prefs().setLastSelectedLibraryID("net");
    prefs().setLastSelectedProjectID("ng");
    open();
    ASSERT_TRUE(waitUntil([&] { return panel_->projectOutlineView()->selectedRow() >= 0; }));

    // The service refuses the check itself.
    ASSERT_TRUE(service_->setFault("access", "error", "35"));
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return alerts_.size() == 1; }));
    EXPECT_EQ(alerts_.last(), text("import.remote.upload.server.need.permission"));

    // A folder this process sees but the service does not: an open folder
    // descriptor of ours, named through /proc/self.
    ASSERT_TRUE(service_->clearFaults());
    const int fd = ::open(QFile::encodeName(folder.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const int high = ::fcntl(fd, F_DUPFD, 900);
    ::close(fd);
    ASSERT_GE(high, 900);
    const QString privateFolder = QStringLiteral("/proc/self/fd/%1").arg(high);
    prefs().setStoreToPath(privateFolder);
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return alerts_.size() == 2; }));
    ::close(high);
    const QString format = text("import.remote.upload.server.not.access.storetopath");
    EXPECT_EQ(alerts_.last(), QString(format).replace("%@", privateFolder));
    EXPECT_TRUE(sheetShown());

    // A folder the service reaches: the location follows and the sheet ends.
    prefs().setStoreToPath(folder.path());
    panel_->okAction();
    ASSERT_TRUE(waitUntil([&] { return !codes_.isEmpty(); }));
    EXPECT_EQ(codes_, QList<qint64>({1}));
    const auto access = service_->requests("access");
    ASSERT_EQ(access.count, 3);
    EXPECT_TRUE(access.list.last().body.contains(folder.path().toUtf8()));
    EXPECT_EQ(alerts_.size(), 2);
}

TEST_F(ImportPanelTest, CancelEndsWithZeroAndIgnoresALateAnswer) {
    ASSERT_TRUE(startService());
    prefs().setLastSelectedLibraryID("loc2");
    prefs().setLastSelectedProjectID("q1");
    open();
    ASSERT_TRUE(waitUntil([&] { return panel_->projectOutlineView()->selectedRow() >= 0; }));
    ASSERT_TRUE(service_->setFault("upload-location", "delay", "300"));
    panel_->okAction();
    panel_->cancelAction();
    EXPECT_EQ(codes_, QList<qint64>({0}));
    // A request sent after the panel's is answered after it as well.
    bool later = false;
    QVUploadManager::sharedManager().uploadLocationWithLibrary(
        library("loc2"),
        [&](bool, const std::shared_ptr<QVUploadLocation>&, const QVErrorOpt&) { later = true; });
    ASSERT_TRUE(waitUntil([&] { return later; }));
    EXPECT_EQ(codes_, QList<qint64>({0}));
    EXPECT_TRUE(alerts_.isEmpty());
    EXPECT_FALSE(panel_->folderLocation());
}

}  // namespace
