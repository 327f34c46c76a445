#include "WindowControllerFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "export/QVExportItem.h"
#include "library/QVLibrary.h"
#include "platform/Localization.h"
#include "service/QVConnection.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAlertBox.h"
#include "ui/QVExportListView.h"
#include "ui/QVSheetFolderChooser.h"

void WindowControllerTest::SetUp() {
    home_ = std::make_unique<TempHome>();
    QVExportItemManager::sharedManager().setExportItems({});
    QVAlertBox::setPresentationHook([this](QVAlertBox* box) {
        alerts_ << box->message();
        alertButtons_ << box->OKButtonString();
        if (answer_ == QVAlertBox::OK)
            box->okAction();
        else
            box->cancelAction();
    });
}

void WindowControllerTest::TearDown() {
    controller_.reset();
    QVAlertBox::setPresentationHook(nullptr);
    QVSheetFolderChooser::setProvider(nullptr);
    QVExportItemManager::sharedManager().setExportItems({});
    home_.reset();
}

FCPXWindowController& WindowControllerTest::controller() {
    if (!controller_) {
        QVShareEnvironment environment;
        environment.serviceCheck = [this] { return serviceUp_; };
        environment.workspace = [this](const QString& command, const QString& path) {
            workspaceCalls_ << command + " " + path;
            return true;
        };
        controller_ = std::make_shared<FCPXWindowController>(nullptr, environment);
        controller_->window()->resize(720, 560);
        controller_->showWindow();
        QApplication::processEvents();
    }
    return *controller_;
}

std::shared_ptr<QVLibrary> WindowControllerTest::library(const QString& name, qint64 type) {
    const QString package = home_->path() + "/" + name + ".tlibrary";
    auto lib =
        QVLibrary::libraryWithName(name, QString(), type, false, package, package,
                                   QVConnection::connectionWithAddress("127.0.0.1", 1, "u", "p"));
    QDir().mkpath(package + "/Database/" + lib->dbName());
    lib->setOnlineStatus(true);
    return lib;
}

void WindowControllerTest::setItems(const QVExportItemList& items) {
    QVExportItemManager::sharedManager().setExportItems(items);
    controller().exportListView()->reloadExportList();
}

void WindowControllerTest::select(const QList<int>& rows) {
    auto* view = controller().exportListView();
    view->clearSelection();
    for (int row : rows) view->selectRow(row, true);
}

std::shared_ptr<QVExportItem> WindowControllerTest::item(const QString& name, qint64 status,
                                                         const QString& file) {
    auto made = std::make_shared<QVExportItem>();
    made->setName(name);
    made->setExportStatus(status);
    made->setOriginalPath(file);
    return made;
}

QString WindowControllerTest::touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    return path;
}

QString WindowControllerTest::text(const char* key) {
    return Localization::localizedString(QString::fromLatin1(key));
}
