// A launch takes up what the last run left: every unfinished status, items
// whose project has not arrived yet, and a list that cannot be read.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "ShareFixture.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "support/Wait.h"

namespace {

// The launch's delays run at once, and the end of the application is
// recorded.
struct Launch {
    int delays = 0;
    int ended = 0;
    QVShareEnvironment environment() {
        QVShareEnvironment e;
        e.launchDelayMs = 600000;
        e.after = [this](int ms, std::function<void()> fn) {
            EXPECT_EQ(ms, 600000);
            ++delays;
            fn();
        };
        e.terminate = [this] { ++ended; };
        return e;
    }
};

bool storeList(const QVExportItemList& items) {
    QVariantList entries;
    for (const auto& item : items) entries << item->exportItemDictionary();
    // A save the registrations above asked for must not land over the file
    // written here.
    Dispatch::waitForGlobal();
    if (!QVExportItemManager::sharedManager().flush()) return false;
    QVExportItemManager::sharedManager().setExportItems({});
    return PropertyList::writeFile(QVExportItemManager::sharedManager().listFilePath(), entries);
}

}  // namespace

// Every status but done and cancelled is taken up: files the editor never
// announced are registered once complete, registrations that had begun go
// on from where they stopped, without a second asset for a created file.
TEST_F(ShareTest, ALaunchFinishesEveryUnfinishedShare) {
    QVFileDetector::setQuietPeriod(0);
    const std::shared_ptr<void> quiet(nullptr,
                                      [](void*) { QVFileDetector::setQuietPeriod(10000); });
    QTemporaryDir folder;
    QVExportItemList items;
    auto add = [&](const QString& name, qint64 movie, qint64 description, bool fcpXMLOnly = false) {
        auto item = storedItem(name, folder.path(), fcpXMLOnly);
        EXPECT_TRUE(write(item->fcpXMLPath()));
        if (!fcpXMLOnly) {
            EXPECT_TRUE(write(item->originalPath(), "movie"));
        }
        item->setExportStatus(movie);
        item->setFcpXMLStatus(description);
        items << item;
        return item;
    };
    add("waiting", QVExportStatusWaiting, QVExportStatusNone);
    add("exporting", QVExportStatusExporting, QVExportStatusWaiting);
    add("creating", QVExportStatusCreating, QVExportStatusCreating);
    add("create failed", QVExportStatusCreateFailed, QVExportStatusCreateFailed);
    add("xml only", QVExportStatusWaiting, QVExportStatusExporting, true);
    add("done", QVExportStatusCompleted, QVExportStatusCompleted);
    add("cancelled", QVExportStatusCanceled, QVExportStatusNone);
    // Created before the last run ended: only the confirmation is missing.
    auto created = add("uploading", QVExportStatusExporting, QVExportStatusCompleted);
    auto failed = add("upload failed", QVExportStatusExporting, QVExportStatusCompleted);
    service->setFault("upload", "error", "9");
    for (const auto& item : {created, failed}) {
        processor->importMovieForExportItem(item);
        ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusUpdateFailed; }));
        ASSERT_FALSE(item->movieAssetID().isEmpty());
    }
    created->setExportStatus(QVExportStatusUploading);
    service->clearFaults();
    ASSERT_TRUE(storeList(items));
    service->clearRequests();

    Launch launch;
    processor = makeProcessor(launch.environment());
    bool loaded = false;
    QObject::connect(processor.get(), &QVExportProcessor::listLoaded, [&] { loaded = true; });
    processor->loadExportItems();
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    EXPECT_EQ(launch.delays, 1);
    const auto list = QVExportItemManager::sharedManager().exportItems();
    ASSERT_EQ(list.size(), items.size());
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& item : list) {
            const bool cancelled = item->name() == "cancelled";
            if (item->status() != (cancelled ? QVExportStatusCanceled : QVExportStatusCompleted))
                return false;
            if (!item->fcpXMLOnly() && !cancelled &&
                item->fcpXMLStatus() != QVExportStatusCompleted)
                return false;
        }
        return true;
    }));
    // Two files each for four movie items, one for the FCPXML-only one.
    EXPECT_EQ(service->requests("create").count, 9);
    EXPECT_EQ(service->requests("upload").count, 11);
    EXPECT_EQ(launch.ended, 0);
    EXPECT_TRUE(person.alerts.isEmpty());
    // The default destination comes from the preferences once the list is in.
    EXPECT_EQ(processor->destination().library(), library);
}

TEST_F(ShareTest, AListThatCannotBeReadAlertsAndEndsTheApplication) {
    const QString folder = QVExportItemManager::sharedManager().folder();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(write(folder, "not a folder"));
    Launch launch;
    processor = makeProcessor(launch.environment());
    processor->loadExportItems();
    ASSERT_TRUE(waitUntil([&] { return launch.ended > 0; }));
    EXPECT_EQ(person.alerts, QStringList{text("exportitems.cant.load")});
    QFile::remove(folder);
}

// An item read at launch before its library's projects arrived is taken up
// when they do.
TEST_F(ShareTest, ItemWithoutItsProjectYetIsResumedWhenTheProjectsArrive) {
    library->setProjects({});
    QTemporaryDir folder;
    const QVariantMap stored{{"name", "late"},
                             {"library", "lib"},
                             {"project", "film"},
                             {"original", folder.path() + "/late.mov"},
                             {"fcpxml", folder.path() + "/late.fcpxml"},
                             {"storetopath", folder.path()},
                             {"importtype", 0},
                             {"exportstatus", 0},
                             {"fcpxmlstatus", -1}};
    auto item = QVExportItem::exportItemWithDictionary(stored);
    ASSERT_TRUE(item && item->library());
    ASSERT_FALSE(item->project());
    QVExportItemManager::sharedManager().setExportItems({item});
    processor->checkExportItems();

    bool reloaded = false;
    library->loadProjectsWithCompletion(
        [&](const QVProjectList&, const QVErrorOpt&) { reloaded = true; });
    ASSERT_TRUE(waitUntil([&] { return reloaded; }));
    bool projects = false;
    QObject::connect(processor.get(), &QVExportProcessor::projectsLoaded, [&] { projects = true; });
    NotificationCenter::defaultCenter().post("NOTI_LIBRARY_PROJECTS_LOADED", library);
    EXPECT_TRUE(projects);
    ASSERT_TRUE(item->project());
    EXPECT_EQ(item->projectName(), "Film");
    EXPECT_EQ(service->requests("create").count, 0);
    // The editor never announced the movie: it is registered once it is
    // there and complete.
    QVFileDetector::setQuietPeriod(0);
    ASSERT_TRUE(write(item->originalPath(), "movie"));
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusCompleted; }));
    QVFileDetector::setQuietPeriod(10000);
    EXPECT_EQ(service->requests("create").count, 1);
}
