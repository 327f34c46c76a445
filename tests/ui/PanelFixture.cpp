#include <QMenu>  // before QVLumoTableView.h, whose QPointer<QMenu> needs it

#include "PanelFixture.h"

#include <atomic>

#include <QJsonArray>
#include <QTest>

#include "library/QVLibraryManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/RunningApplications.h"
#include "service/QVTesselUtil.h"
#include "support/Wait.h"
#include "ui/QVAlertBox.h"
#include "ui/QVProjectOutlineModel.h"
#include "ui/QVSheetFolderChooser.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoTableView.h"
#include "upload/QVUploadManager.h"

namespace {

QJsonObject node(const QString& id, const QString& name, const QJsonArray& groups = {}) {
    QJsonObject object{{"id", id}, {"name", name}};
    if (!groups.isEmpty()) object.insert("group", groups);
    return object;
}

}  // namespace

QJsonObject PanelFixture::seed(int libraryCount) {
    const QJsonArray film{node("p1", "Film",
                               {node("g1", "Scenes", {node("g11", "Night"), node("g12", "Day")}),
                                node("g2", "Music")}),
                          node("p2", "Trailer")};
    QJsonArray libraries{
        QJsonObject{{"dbname", "loc"},
                    {"name", "Local One"},
                    {"desc", "on this machine"},
                    {"type", 0},
                    {"projects", film}},
        QJsonObject{{"dbname", "net"},
                    {"name", "Remote Net"},
                    {"desc", "across the network"},
                    {"type", 1},
                    {"address", "127.0.0.2"},
                    {"users", QJsonArray{QJsonObject{{"userid", "alice"}, {"password", "secret"}}}},
                    {"projects", QJsonArray{node("np", "Net Project", {node("ng", "Cuts")})}}},
        QJsonObject{{"dbname", "loc2"},
                    {"name", "Second Local"},
                    {"type", 0},
                    {"projects", QJsonArray{node("q1", "Only")}}}};
    for (int i = libraries.size(); i < libraryCount; ++i) {
        const QString id = QStringLiteral("extra%1").arg(i, 2, 10, QLatin1Char('0'));
        libraries.append(QJsonObject{{"dbname", id}, {"name", "Extra " + id}, {"type", 0}});
    }
    return QJsonObject{{"localuser", QJsonObject{{"id", kLocalUser}, {"password", kLocalPassword}}},
                       {"libraries", libraries}};
}

void PanelFixture::SetUp() {
    home_ = std::make_unique<TempHome>();
    originalCompanion_ = RunningApplications::executableNameForIdentifier(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier));
    QVAlertBox::setPresentationHook([this](QVAlertBox* box) {
        alerts_ << box->message();
        box->okAction();
    });
    mainWindow_ = std::make_unique<QWidget>();
    mainWindow_->setGeometry(100, 80, 900, 640);
    mainWindow_->show();
}

void PanelFixture::TearDown() {
    QVAlertBox::setPresentationHook(nullptr);
    QVSheetFolderChooser::setProvider(nullptr);
    RunningApplications::registerExecutable(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier), originalCompanion_);
    mainWindow_.reset();
    Dispatch::waitForGlobal();
    // Let queued completions of this test run while its objects are gone.
    QCoreApplication::processEvents();
    service_.reset();
    QVLibraryManager::sharedManager().setLibraries({});
    home_.reset();
}

void PanelFixture::setCompanionRunning(bool running) {
    static const QString original = RunningApplications::executableNameForIdentifier(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier));
    RunningApplications::registerExecutable(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier),
        running ? original
                : QStringLiteral("no-such-companion-%1").arg(QCoreApplication::applicationPid()));
}

bool PanelFixture::startService(int libraryCount, bool asCompanion) {
    TesselServiceProcess::Options options{.seed = seed(libraryCount)};
    options.bind = {"127.0.0.1", "127.0.0.2"};
    options.asCorvane = true;
    service_ = std::make_unique<TesselServiceProcess>(options);
    if (!service_->start()) {
        ADD_FAILURE() << service_->errorString().toStdString();
        return false;
    }
    setCompanionRunning(asCompanion);
    return loadRegistry();
}

bool PanelFixture::loadRegistry() {
    QVLibraryManager& manager = QVLibraryManager::sharedManager();
    // The credentials the companion would hand out, so local libraries load
    // their trees even in tests where the companion counts as absent.
    manager.setLocalLibraryUserID(QString::fromLatin1(kLocalUser));
    manager.setLocalLibraryPassword(QString::fromLatin1(kLocalPassword));
    manager.setServicePort(QVTesselUtil::servicePort());
    std::atomic<bool> loaded{false};
    manager.loadAllLibrariesWithCompletion([&](const QVLibraryList&) { loaded = true; });
    if (!waitUntil([&] { return loaded.load(); })) return false;
    Dispatch::waitForGlobal();
    const QVLibraryList libraries = manager.libraries();
    auto pending = std::make_shared<std::atomic<int>>(int(libraries.size()));
    for (const auto& lib : libraries)
        manager.reloadLibrary(lib, [pending](bool, const QVErrorOpt&) { --*pending; });
    return waitUntil([&] { return pending->load() == 0; });
}

std::shared_ptr<QVLibrary> PanelFixture::library(const QString& dbName) const {
    return QVLibraryManager::sharedManager().libraryForDBName(dbName);
}

int PanelFixture::rowOfNode(QVLumoOutlineView* outline, const QString& id) {
    for (int row = 0; row < outline->numberOfRows(); ++row)
        if (nodeIDAtRow(outline, row) == id) return row;
    return -1;
}

QString PanelFixture::nodeIDAtRow(QVLumoOutlineView* outline, int row) {
    auto* model = qobject_cast<QVProjectOutlineModel*>(outline->model());
    const auto node = model ? model->nodeForIndex(outline->itemAtRow(row)) : nullptr;
    return node ? node->id() : QString();
}

void PanelFixture::clickRow(QVLumoTableView* table, int row) {
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

QString PanelFixture::text(const char* key) {
    return Localization::localizedString(QString::fromUtf8(key));
}
