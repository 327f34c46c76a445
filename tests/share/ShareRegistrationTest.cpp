// From the detected export to registered assets: detection before and
// after the editor's announcement, a cancelled export, the list's writes
// on the way, and both retries.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "ShareFixture.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "library/QVLibrary.h"
#include "library/QVPreferenceManager.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "support/Wait.h"

namespace {

// Shares to a store-to folder of its own.
struct StoreTo {
    StoreTo() {
        QVPreferenceManager::sharedManager().setStoreTo(true);
        QVPreferenceManager::sharedManager().setStoreToPath(folder.path());
    }
    QTemporaryDir folder;
};

}  // namespace

// The editor writes the files, the detector sees the movie, then the
// editor announces both: both are registered once.
TEST_F(ShareTest, DetectedThenAnnouncedRegistersBothFiles) {
    StoreTo to;
    auto result = share("Whole");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().value(0);
    ASSERT_TRUE(item);
    ASSERT_TRUE(write(item->originalPath(), "movie"));
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusExporting; }));
    ASSERT_TRUE(write(item->fcpXMLPath()));
    QVExportProcessor::finishExport({item->originalPath(), item->fcpXMLPath()}, processor);
    ASSERT_TRUE(waitUntil([&] {
        return item->exportStatus() == QVExportStatusCompleted &&
               item->fcpXMLStatus() == QVExportStatusCompleted;
    }));
    EXPECT_EQ(service->requests("create").count, 2);
    EXPECT_EQ(service->requests("upload").count, 2);
    ASSERT_TRUE(waitUntil([&] { return changed.contains(item); }));
}

TEST_F(ShareTest, ExportThatAppearsAndVanishesEndsCancelled) {
    StoreTo to;
    auto result = share("Vanishing");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().value(0);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->exportStatus(), QVExportStatusWaiting);
    ASSERT_TRUE(write(item->originalPath(), ""));
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusExporting; }));
    ASSERT_TRUE(QFile::remove(item->originalPath()));
    ASSERT_TRUE(waitUntil([&] { return item->exportStatus() == QVExportStatusCanceled; }));
}

// The announcement can be handled between two polls of the detector: the
// poll that then finds the file never sets the status back to exporting.
TEST_F(ShareTest, DetectionAfterTheRegistrationBeganChangesNothing) {
    std::mutex mutex;
    std::vector<std::function<void()>> held;
    QVFileDetector::setScheduler([&](int, std::function<void()> poll) {
        std::lock_guard lock(mutex);
        held.push_back(std::move(poll));
    });
    const std::shared_ptr<void> unhook(nullptr, [](void*) { QVFileDetector::setScheduler({}); });
    StoreTo to;
    auto result = share("Overtaken");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    const auto item = QVExportItemManager::sharedManager().exportItems().value(0);
    ASSERT_TRUE(item);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return !held.empty();
    }));
    QVLog::Capture log;
    ASSERT_TRUE(item->advanceStatus(QVExportItem::File::Movie, QVExportStatusWaiting,
                                    QVExportStatusCreating));
    ASSERT_TRUE(write(item->originalPath(), ""));
    std::vector<std::function<void()>> polls;
    {
        std::lock_guard lock(mutex);
        polls = std::exchange(held, {});
    }
    for (auto& poll : polls) poll();
    ASSERT_TRUE(waitUntil(
        [&] { return log.contains("Export detected after its registration began: Overtaken"); }));
    EXPECT_EQ(item->exportStatus(), QVExportStatusCreating);
}

// Both files registered while the list's writes are held: the creations
// leave without waiting for the disk, and the confirmations only once the
// asset IDs are on disk (else a crash in between registers the files
// twice): in the journal beside the list, without its write.
TEST_F(ShareTest, RegistrationWaitsForTheDiskOnlyForItsAssetIDs) {
    QTemporaryDir folder;
    auto item = storedItem("both files", folder.path());
    ASSERT_TRUE(item);
    ASSERT_TRUE(write(item->originalPath()));
    ASSERT_TRUE(write(item->fcpXMLPath()));
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
    processor->importMovieForExportItem(item);
    processor->importFCPXMLForExportItem(item);
    ASSERT_TRUE(waitUntil([&] {
        return !item->movieAssetID().isEmpty() && !item->fcpXMLAssetID().isEmpty();
    })) << "a creation waited for the disk";
    ASSERT_TRUE(waitUntil([&] { return service->requests("upload").count == 2; }))
        << "a confirmation waited for the list's write";
    QFile journal(manager.folder() + "/assets.journal");
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QByteArray records = journal.readAll();
    EXPECT_TRUE(records.contains("movie\t" + QUrl::toPercentEncoding(item->originalPath()) + "\t" +
                                 item->movieAssetID().toUtf8()));
    EXPECT_TRUE(records.contains("description\t" + QUrl::toPercentEncoding(item->fcpXMLPath()) +
                                 "\t" + item->fcpXMLAssetID().toUtf8()));
    ASSERT_TRUE(waitUntil([&] { return held.waiting.load() > 0; }));

    held.release();
    ASSERT_TRUE(waitUntil([&] {
        return item->exportStatus() == QVExportStatusCompleted &&
               item->fcpXMLStatus() == QVExportStatusCompleted;
    }));
    ASSERT_TRUE(manager.flush());
    EXPECT_EQ(service->requests("create").count, 2);
    const auto stored = PropertyList::readFile(manager.listFilePath());
    ASSERT_TRUE(stored);
    const QVariantMap entry = stored->toList().value(0).toMap();
    EXPECT_EQ(entry.value("exportstatus").toLongLong(), QVExportStatusCompleted);
    EXPECT_EQ(entry.value("fcpxmlstatus").toLongLong(), QVExportStatusCompleted);
    EXPECT_EQ(QFileInfo(journal).size(), 0) << "the list's write did not empty the journal";
}

// A failed creation is created again; a failed confirmation is confirmed
// again without a second asset; an item without its asset ID is left alone.
// The row of an FCPXML-only item shows its description, so retrying it
// registers the description.
TEST_F(ShareTest, BothRetriesFinishWhatFailed) {
    QTemporaryDir folder;
    auto movie = storedItem("movie", folder.path());
    ASSERT_TRUE(movie && write(movie->originalPath(), "movie"));
    movie->setExportStatus(QVExportStatusExporting);
    auto xmlOnly = storedItem("xml only", folder.path(), true);
    ASSERT_TRUE(xmlOnly && write(xmlOnly->fcpXMLPath()));
    xmlOnly->setFcpXMLStatus(QVExportStatusExporting);
    auto noID = storedItem("no id", folder.path());
    noID->setExportStatus(QVExportStatusUpdateFailed);
    QVExportItemManager::sharedManager().setExportItems({movie, xmlOnly, noID});

    for (const auto& item : {movie, xmlOnly}) {
        SCOPED_TRACE(qPrintable(item->name()));
        service->setFault("create", "error", "9");
        if (item->fcpXMLOnly())
            processor->importFCPXMLForExportItem(item);
        else
            processor->importMovieForExportItem(item);
        ASSERT_TRUE(waitUntil([&] { return item->status() == QVExportStatusCreateFailed; }));
        service->clearFaults();
        service->setFault("upload", "error", "9");
        EXPECT_TRUE(processor->retryExportItem(item));
        ASSERT_TRUE(waitUntil([&] { return item->status() == QVExportStatusUpdateFailed; }));
        service->clearFaults();
        const int creates = service->requests("create").count;
        changed.clear();
        EXPECT_TRUE(processor->retryExportItem(item));
        ASSERT_TRUE(waitUntil([&] { return item->status() == QVExportStatusCompleted; }));
        EXPECT_EQ(service->requests("create").count, creates);
        EXPECT_FALSE(processor->retryExportItem(item)) << "nothing failed";
        ASSERT_TRUE(waitUntil([&] { return changed.contains(item); }));
    }
    EXPECT_EQ(xmlOnly->exportStatus(), QVExportStatusWaiting);

    const int uploads = service->requests("upload").count;
    processor->retryExportForUpdating(noID);
    EXPECT_EQ(noID->exportStatus(), QVExportStatusUpdateFailed);
    EXPECT_EQ(service->requests("upload").count, uploads);
}

// A reload replaces the library's tree while an item is being uploaded:
// the upload's blocks keep the item's project above its group.
TEST_F(ShareTest, UploadBlocksKeepTheItemsProjectAboveItsGroup) {
    auto item =
        QVExportItem::exportItemWithName("pinned", QVariantMap{}, library, project("film-cuts"),
                                         QVImportTypeStoreToPath, nullptr, QDir::tempPath(), false);
    ASSERT_TRUE(item && item->project() && item->project()->rootProject());
    auto block = QVExportProcessor::refreshAndSaveBlock(processor, item);
    std::weak_ptr<QVProject> root = item->project()->rootProject();
    library->setProjects({});
    ASSERT_TRUE(root.lock()) << "the block no longer holds the tree";
    EXPECT_EQ(item->project()->rootProject()->id(), "film");
    block = nullptr;
    EXPECT_FALSE(root.lock());
}
