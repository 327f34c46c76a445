// Export processing inside one process: the window controller against the
// real stand-in service, alerts recorded and answered at once, the
// destination sheet ended by the test.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "app/AppDelegate.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "platform/UserDefaults.h"
#include "service/QVConnection.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"
#include "support/Wait.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAlertBox.h"
#include "ui/QVExportCellView.h"
#include "ui/QVExportListView.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoTableView.h"
#include "upload/QVUploadManager.h"

namespace {

QString text(const char* key) {
    return Localization::localizedString(QString::fromUtf8(key));
}

// The shared export list keeps the folder of the first home it saw, so the
// whole program shares one home and one service.
struct World {
    TempHome home;
    std::unique_ptr<TesselServiceProcess> service;
    std::shared_ptr<QVLibrary> library;
};
World* world = nullptr;

}  // namespace

class Processing : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (world) return;
        world = new World;
        const QJsonArray projects{
            QJsonObject{{"id", "film"},
                        {"name", "Film"},
                        {"group", QJsonArray{QJsonObject{{"id", "film-cuts"}, {"name", "Cuts"}}}}}};
        TesselServiceProcess::Options options;
        const QJsonArray others{QJsonObject{{"id", "p2"}, {"name", "P2"}}};
        options.seed = QJsonObject{
            {"libraries",
             QJsonArray{QJsonObject{{"dbname", "lib"}, {"name", "Lib"}, {"projects", projects}},
                        QJsonObject{{"dbname", "lib2"}, {"name", "Lib 2"}, {"projects", others}},
                        QJsonObject{{"dbname", "lib3"}, {"name", "Lib 3"}, {"projects", others}}}}};
        options.asCorvane = true;
        world->service = std::make_unique<TesselServiceProcess>(options);
        ASSERT_TRUE(world->service->start()) << qPrintable(world->service->errorString());
        ASSERT_TRUE(QVUploadManager::sharedManager().syncTessel());
        // The completions run on a background thread.
        std::atomic<bool> done{false};
        QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
            [&done](const QVLibraryList&) { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done.load(); }));
        world->library = QVLibraryManager::sharedManager().libraryForDBName("lib");
        ASSERT_TRUE(world->library);
        std::atomic<bool> projectsLoaded{false};
        world->library->loadProjectsWithCompletion(
            [&](const QVProjectList&, const QVErrorOpt&) { projectsLoaded = true; });
        ASSERT_TRUE(waitUntil([&] { return projectsLoaded.load(); }));
        ASSERT_TRUE(QVExportItemManager::sharedManager().loadExportItems());
    }

    void SetUp() override {
        ASSERT_TRUE(world && world->library);
        QVFileDetector::setPollInterval(20);
        QVExportItemManager::sharedManager().setExportItems({});
        world->service->clearFaults();
        world->service->clearRequests();
        auto& preferences = QVPreferenceManager::sharedManager();
        preferences.setUseDefaultLibrary(true);
        preferences.setStoreTo(false);
        preferences.setStoreToPath(QString());
        preferences.setExportFCPXMLOnly(false);
        QVAlertBox::setPresentationHook([this](QVAlertBox* box) {
            alerts << box->message();
            box->okAction();
        });
        document = std::make_shared<FCPXDocument>();
        controller = std::make_shared<FCPXWindowController>(document);
        controller->checkUseDefaultLibraryButton()->setChecked(true);
        controller->setDefaultLibrary(world->library);
        controller->setDefaultProject(world->library->projectWithID("film-cuts"));
    }

    void TearDown() override {
        QVAlertBox::setPresentationHook(nullptr);
        controller.reset();
        QVExportItemManager::sharedManager().flush();
    }

    struct Result {
        bool called = false;
        std::shared_ptr<FCPXAsset> asset;
    };
    std::shared_ptr<Result> share(const QString& name,
                                  const std::optional<QVariantMap>& dataOptions = std::nullopt) {
        auto result = std::make_shared<Result>();
        controller->newAssetWithName(name, QVariantMap{{"com.apple.quicktime.description", "d"}},
                                     dataOptions, [result](std::shared_ptr<FCPXAsset> asset) {
                                         EXPECT_FALSE(result->called) << "completion called twice";
                                         result->called = true;
                                         result->asset = std::move(asset);
                                     });
        return result;
    }

    QStringList alerts;
    std::shared_ptr<FCPXDocument> document;
    std::shared_ptr<FCPXWindowController> controller;
};

TEST_F(Processing, DefaultDestinationGivesTheLibraryFolderAndPutsTheItemOnTopSelected) {
    QVExportItemManager::sharedManager().addExportItem(QVExportItem::exportItemWithName(
        "older", QVariantMap{}, world->library, world->library->projectWithID("film"),
        QVImportTypeStoreToPath, nullptr, QDir::tempPath(), false));
    auto result = share("Take 1: a/b", QVariantMap{{"availableMetadataSets", "Basic"}});
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    ASSERT_TRUE(result->asset);
    EXPECT_TRUE(alerts.isEmpty());
    const QVariantMap location = result->asset->locationInfo();
    EXPECT_EQ(location.value("basename").toString(), "Take 1_ a_b");
    const QString folder = location.value("folder").toUrl().toLocalFile();
    EXPECT_TRUE(folder.startsWith(world->service->packageFolder("lib") + "/Media/Master/"));
    EXPECT_EQ(result->asset->dataOptions().value("metadataSet").toString(), "Basic");
    EXPECT_EQ(result->asset->dataOptions().value("availableMetadataSets").toString(), "Basic");
    EXPECT_TRUE(controller->defaultUploadLocation());

    ASSERT_TRUE(waitUntil([] { return QVExportItemManager::sharedManager().count() == 2; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().first();
    EXPECT_EQ(item->name(), "Take 1_ a_b");
    EXPECT_EQ(item->originalPath(), folder + "/Take 1_ a_b.mov");
    EXPECT_EQ(item->importType(), QVImportTypeInsideLibrary);
    const auto selected = controller->exportTableView()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().row(), 0);
}

TEST_F(Processing, DataOptionsWithoutMetadataSetsAreNotPassedOn) {
    auto result = share("Plain", QVariantMap{{"other", 1}});
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    ASSERT_TRUE(result->asset);
    EXPECT_TRUE(result->asset->dataOptions().isEmpty());
}

TEST_F(Processing, UnusableDefaultsAlertAndFallThroughToTheSheet) {
    struct Case {
        std::function<void()> arrange;
        const char* alert;
    };
    const QString missing = QDir::tempPath() + "/relaydock-no-such-folder";
    const std::vector<Case> cases{
        {[this] { controller->setDefaultProject(nullptr); }, "defaultlibrary.not.selected"},
        {[] { QVPreferenceManager::sharedManager().setStoreTo(true); },
         "defaultlibrary.not.select.external.location"},
        {[missing] {
             QVPreferenceManager::sharedManager().setStoreTo(true);
             QVPreferenceManager::sharedManager().setStoreToPath(missing);
         },
         "defaultlibrary.not.select.external.location.not.exist"}};
    for (const auto& c : cases) {
        SetUp();
        alerts.clear();
        c.arrange();
        auto result = share("Sheet");
        EXPECT_EQ(alerts, QStringList{text(c.alert)});
        QVTesselImportPanel* panel = controller->importPanel();
        ASSERT_TRUE(panel) << c.alert;
        EXPECT_EQ(panel->name(), "Sheet");
        EXPECT_FALSE(result->called);
        // Cancelling the sheet cancels the share and adds nothing.
        panel->endSheet(0);
        ASSERT_TRUE(waitUntil([&] { return result->called; }));
        EXPECT_FALSE(result->asset);
        EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
    }
}

TEST_F(Processing, UseDefaultOffGoesStraightToTheSheet) {
    controller->checkUseDefaultLibraryButton()->setChecked(false);
    auto result = share("Ask");
    EXPECT_TRUE(alerts.isEmpty());
    ASSERT_TRUE(controller->importPanel());
    controller->importPanel()->endSheet(0);
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    EXPECT_FALSE(result->asset);
}

TEST_F(Processing, NoUploadLocationAlertsWithTheErrorAndCancels) {
    world->service->setFault("upload-location", "error", "2:library gone");
    auto result = share("Nowhere");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    EXPECT_FALSE(result->asset);
    EXPECT_FALSE(controller->defaultUploadLocation());
    ASSERT_EQ(alerts.size(), 1);
    const QString prefix = text("uploadlocation.cant.get").section("%@", 0, 0);
    EXPECT_TRUE(alerts[0].startsWith(prefix)) << qPrintable(alerts[0]);
    EXPECT_FALSE(alerts[0].contains("%@"));
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
}

TEST_F(Processing, MissingDestinationFolderAlertsAndCancels) {
    std::shared_ptr<FCPXAsset> asset = std::make_shared<FCPXAsset>();
    bool called = false;
    controller->createFCPXAssetWithName(
        "x", QVariantMap{}, std::nullopt, world->library, world->library->projectWithID("film"),
        QVImportTypeStoreToPath, QDir::tempPath() + "/relaydock-missing-folder", nullptr, false,
        [&](std::shared_ptr<FCPXAsset> a) {
            called = true;
            asset = a;
        });
    EXPECT_TRUE(called);
    EXPECT_FALSE(asset);
    EXPECT_EQ(alerts, QStringList{text("defaultlibrary.not.exist.folder")});
}

TEST_F(Processing, ExportThatAppearsAndVanishesEndsCancelled) {
    QTemporaryDir folder;
    QVPreferenceManager::sharedManager().setStoreTo(true);
    QVPreferenceManager::sharedManager().setStoreToPath(folder.path());
    auto result = share("Vanishing");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    ASSERT_TRUE(result->asset);
    ASSERT_TRUE(waitUntil([] { return QVExportItemManager::sharedManager().count() == 1; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().first();
    EXPECT_EQ(item->exportStatus(), QVExportStatusWaiting);
    QFile movie(item->originalPath());
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    movie.close();
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusExporting; }));
    ASSERT_TRUE(QFile::remove(item->originalPath()));
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusCanceled; }));
}

// The announcement can be handled between two polls of the detector: the
// poll that then finds the file never sets the status back to exporting.
TEST_F(Processing, DetectorNeverMovesAStatusBack) {
    // Polls after the first are held until the test runs them.
    std::mutex mutex;
    std::vector<std::function<void()>> held;
    QVFileDetector::setScheduler([&](int, std::function<void()> poll) {
        std::lock_guard lock(mutex);
        held.push_back(std::move(poll));
    });
    const std::shared_ptr<void> unhook(nullptr, [](void*) { QVFileDetector::setScheduler({}); });
    auto takeHeld = [&] {
        std::lock_guard lock(mutex);
        return std::exchange(held, {});
    };
    QTemporaryDir folder;
    QVPreferenceManager::sharedManager().setStoreTo(true);
    QVPreferenceManager::sharedManager().setStoreToPath(folder.path());
    auto result = share("Overtaken");
    ASSERT_TRUE(waitUntil([] { return QVExportItemManager::sharedManager().count() == 1; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().first();
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return !held.empty();
    }));
    // The announcement was handled first; then the file is there.
    QVLog::Capture log;
    ASSERT_TRUE(item->advanceStatus(QVExportItem::File::Movie, QVExportStatusWaiting,
                                    QVExportStatusCreating));
    QFile movie(item->originalPath());
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    movie.close();
    for (auto& poll : takeHeld()) poll();
    ASSERT_TRUE(waitUntil(
        [&] { return log.contains("Export detected after its registration began: Overtaken"); }));
    EXPECT_EQ(item->exportStatus(), QVExportStatusCreating);
}

TEST_F(Processing, RetryForUpdatingLeavesAnItemWithoutAssetIDAlone) {
    auto item = QVExportItem::exportItemWithName(
        "no id", QVariantMap{}, world->library, world->library->projectWithID("film"),
        QVImportTypeStoreToPath, nullptr, QDir::tempPath(), false);
    ASSERT_TRUE(item);
    item->setExportStatus(QVExportStatusUpdateFailed);
    QVExportItemManager::sharedManager().addExportItem(item);
    controller->retryExportForUpdating(item);
    EXPECT_EQ(item->exportStatus(), QVExportStatusUpdateFailed);
    EXPECT_EQ(world->service->requests("upload").count, 0);
}

// The row of an FCPXML-only item shows its description, so retrying it
// registers the description: created again after a failed creation, its
// asset confirmed after a failed confirmation.
TEST_F(Processing, RetryOfAnFcpxmlOnlyItemRegistersItsDescriptionAndTheRowShowsIt) {
    QTemporaryDir folder;
    auto item = QVExportItem::exportItemWithName(
        "xml only", QVariantMap{{"com.apple.quicktime.description", "d"}}, world->library,
        world->library->projectWithID("film"), QVImportTypeStoreToPath, nullptr, folder.path(),
        true);
    ASSERT_TRUE(item);
    QFile description(item->fcpXMLPath());
    ASSERT_TRUE(description.open(QIODevice::WriteOnly));
    description.write("<fcpxml version=\"1.10\"/>");
    description.close();
    item->setFcpXMLStatus(QVExportStatusExporting);
    QVExportItemManager::sharedManager().setExportItems({item});
    auto* list = controller->exportListView();
    list->reloadExportList();
    list->selectRow(0, false);
    auto rowIcon = [list] {
        QVExportCellView* cell = list->cellViewForRow(0);
        return cell ? cell->imageView.imageName : QString();
    };

    world->service->setFault("create", "error", "9");
    controller->importFCPXMLForExportItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->fcpXMLStatus() == QVExportStatusCreateFailed; }));
    world->service->clearFaults();
    world->service->setFault("upload", "error", "9");
    controller->retryAction();
    ASSERT_TRUE(waitUntil([&] { return item->fcpXMLStatus() == QVExportStatusUpdateFailed; }));
    ASSERT_TRUE(waitUntil([&] { return rowIcon() == "workflow.icon.fail"; }));

    world->service->clearFaults();
    const int creates = world->service->requests("create").count;
    controller->retryAction();
    ASSERT_TRUE(waitUntil([&] { return item->fcpXMLStatus() == QVExportStatusCompleted; }));
    EXPECT_EQ(world->service->requests("create").count, creates);
    EXPECT_EQ(item->exportStatus(), QVExportStatusWaiting);
    ASSERT_TRUE(waitUntil([&] { return rowIcon() == "workflow.icon.success"; }));
    EXPECT_TRUE(list->cellViewForRow(0)->statusField.hidden);
}

// Both files of a share registered while the list's writes are held: the
// creations leave without waiting for the disk, and the confirmations only
// once a write holding the asset IDs has landed (else a crash in between
// registers the files twice). How many writes that takes depends on how the
// answers fall in time; bench_e2e counts them.
TEST_F(Processing, RegistrationWaitsForTheDiskOnlyForItsAssetIDs) {
    QTemporaryDir folder;
    auto item = QVExportItem::exportItemWithName(
        "both files", QVariantMap{{"com.apple.quicktime.description", "d"}}, world->library,
        world->library->projectWithID("film"), QVImportTypeStoreToPath, nullptr, folder.path(),
        false);
    ASSERT_TRUE(item);
    for (const QString& path : {item->originalPath(), item->fcpXMLPath()}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<fcpxml version=\"1.10\"/>");
    }
    item->setExportStatus(QVExportStatusExporting);
    item->setFcpXMLStatus(QVExportStatusExporting);
    auto& manager = QVExportItemManager::sharedManager();
    manager.setExportItems({item});
    ASSERT_TRUE(manager.flush());

    struct HeldWrites {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        std::atomic<int> waiting{0};
        void release() {
            std::lock_guard lock(mutex);
            open = true;
            cv.notify_all();
        }
        ~HeldWrites() {
            release();
            QVExportItemManager::sharedManager().setWriteHook(nullptr);
        }
    } held;
    manager.setWriteHook([&held](quint64) {
        std::unique_lock lock(held.mutex);
        ++held.waiting;
        held.cv.wait(lock, [&held] { return held.open; });
    });
    controller->importMovieForExportItem(item);
    controller->importFCPXMLForExportItem(item);
    ASSERT_TRUE(waitUntil([&] {
        return !item->movieAssetID().isEmpty() && !item->fcpXMLAssetID().isEmpty();
    })) << "a creation waited for the disk";
    ASSERT_TRUE(waitUntil([&] { return held.waiting.load() > 0; }));
    EXPECT_EQ(world->service->requests("upload").count, 0) << "confirmed before the write";

    held.release();
    ASSERT_TRUE(waitUntil([&] {
        return item->exportStatus() == QVExportStatusCompleted &&
               item->fcpXMLStatus() == QVExportStatusCompleted;
    }));
    ASSERT_TRUE(manager.flush());
    EXPECT_EQ(world->service->requests("create").count, 2);
    const auto stored = PropertyList::readFile(manager.listFilePath());
    ASSERT_TRUE(stored);
    const QVariantMap entry = stored->toList().value(0).toMap();
    EXPECT_EQ(entry.value("exportstatus").toLongLong(), QVExportStatusCompleted);
    EXPECT_EQ(entry.value("fcpxmlstatus").toLongLong(), QVExportStatusCompleted);
}

// A pop-over of either panel reloads the registry; the record the window
// took its default from no longer gets the local service's credentials.
TEST_F(Processing, ShareAfterARegistryReloadUsesTheRegistrysRecord) {
    const auto current = QVLibraryManager::sharedManager().libraryForDBName("lib");
    ASSERT_TRUE(current);
    auto replaced = QVLibrary::libraryWithDictionary(*current->libDictionary());
    ASSERT_TRUE(replaced);
    replaced->connection()->setPassword("outdated");
    controller->setDefaultLibrary(replaced);
    auto result = share("After reload");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    EXPECT_TRUE(result->asset);
    EXPECT_TRUE(alerts.isEmpty()) << qPrintable(alerts.join("; "));
    EXPECT_EQ(controller->defaultLibrary(), current);
}

// The start-up order against three libraries whose loads finish in any order.
TEST_F(Processing, StartUpPostsEachLibraryThenCompletionExactlyOnce) {
    FCPXWindowController::setLaunchDelay(600000);
    FCPXDocumentController documents;
    documents.setWindowControllerFactory([](const std::shared_ptr<FCPXDocument>& d) {
        return std::make_shared<FCPXWindowController>(d);
    });
    QStringList order;
    auto& center = NotificationCenter::defaultCenter();
    const auto perLibrary =
        center.addObserver("NOTI_LIBRARY_PROJECTS_LOADED", [&](const Notification& n) {
            const auto* library = std::any_cast<std::shared_ptr<QVLibrary>>(&n.object);
            order << (library && *library ? (*library)->dbName() : QString("?"));
        });
    const auto completed = center.addObserver("NOTI_RELOAD_LIBRARY_COMPLETED",
                                              [&](const Notification&) { order << "completed"; });
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(documents.currentDocument());
    ASSERT_TRUE(waitUntil([&] { return order.contains("completed"); }));
    // Anything still queued would show up now.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    center.removeObserver(perLibrary);
    center.removeObserver(completed);
    ASSERT_EQ(order.size(), 4) << qPrintable(order.join(","));
    EXPECT_EQ(order.last(), "completed");
    QStringList libraries = order.mid(0, 3);
    libraries.sort();
    EXPECT_EQ(libraries, (QStringList{"lib", "lib2", "lib3"}));
    EXPECT_TRUE(delegate.libraryLoaded());

    // Reopen brings the hidden window back; single files are refused.
    QWidget* window = AppDelegate::currentWindowController()->window();
    window->hide();
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(delegate.openFile("/tmp/x.mov"));
    EXPECT_FALSE(delegate.openTempFile("/tmp/x.mov"));
    EXPECT_FALSE(delegate.applicationShouldOpenUntitledFile());
    FCPXWindowController::setLaunchDelay(1000);
}

// A reload replaces the library's tree while an item is being uploaded:
// the upload's blocks keep the item's project above its group.
TEST_F(Processing, UploadBlocksKeepTheItemsProjectAboveItsGroup) {
    auto item = QVExportItem::exportItemWithName(
        "pinned", QVariantMap{}, world->library, world->library->projectWithID("film-cuts"),
        QVImportTypeStoreToPath, nullptr, QDir::tempPath(), false);
    ASSERT_TRUE(item && item->project());
    ASSERT_TRUE(item->project()->rootProject());
    auto block = FCPXWindowController::refreshAndSaveBlock(controller, item);
    std::weak_ptr<QVProject> root = item->project()->rootProject();

    world->library->setProjects({});
    ASSERT_TRUE(root.lock()) << "the block no longer holds the tree";
    EXPECT_EQ(item->project()->rootProject()->id(), "film");
    // Without the blocks nothing holds the old tree.
    block = nullptr;
    EXPECT_FALSE(root.lock());
    bool reloaded = false;
    world->library->loadProjectsWithCompletion(
        [&](const QVProjectList&, const QVErrorOpt&) { reloaded = true; });
    ASSERT_TRUE(waitUntil([&] { return reloaded; }));
}

// An item read at launch before its library's projects arrived is taken up
// when they do.
TEST_F(Processing, ItemWithoutItsProjectYetIsResumedWhenTheProjectsArrive) {
    // The registry's own record (a start-up test may have reloaded it).
    const auto library = QVLibraryManager::sharedManager().libraryForDBName("lib");
    ASSERT_TRUE(library);
    library->setProjects({});
    const QVariantMap stored{{"name", "late"},
                             {"library", "lib"},
                             {"project", "film"},
                             {"original", QDir::tempPath() + "/relaydock-late.mov"},
                             {"fcpxml", QDir::tempPath() + "/relaydock-late.fcpxml"},
                             {"storetopath", QDir::tempPath()},
                             {"importtype", 0},
                             {"exportstatus", 0},
                             {"fcpxmlstatus", -1}};
    auto item = QVExportItem::exportItemWithDictionary(stored);
    ASSERT_TRUE(item && item->library());
    ASSERT_FALSE(item->project());
    QVExportItemManager::sharedManager().setExportItems({item});

    controller->checkExportItems();
    EXPECT_EQ(world->service->requests("create").count, 0);

    bool reloaded = false;
    library->loadProjectsWithCompletion(
        [&](const QVProjectList&, const QVErrorOpt&) { reloaded = true; });
    ASSERT_TRUE(waitUntil([&] { return reloaded; }));
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", library);
    ASSERT_TRUE(item->project());
    EXPECT_EQ(item->projectName(), "Film");
    // The editor never announced the movie: it is registered once it is
    // there and complete.
    QVFileDetector::setQuietPeriod(0);
    QFile movie(item->originalPath());
    ASSERT_TRUE(movie.open(QIODevice::WriteOnly));
    movie.write("movie");
    movie.close();
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusCompleted; }));
    QVFileDetector::setQuietPeriod(10000);
    QFile::remove(item->originalPath());
    EXPECT_EQ(world->service->requests("create").count, 1);
}
