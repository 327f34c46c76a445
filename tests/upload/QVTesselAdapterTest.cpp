#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <mutex>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "UploadFixtures.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/PropertyList.h"
#include "upload/QVTesselAdapter.h"
#include "upload/QVUploadManager.h"

namespace {

// What the adapter reported: the item's status and asset ID at every update
// call, and where the blocks ran.
struct Recorder {
    std::mutex mutex;
    QList<qint64> statuses;
    QStringList assetIDs;
    QList<bool> updateOnMain;
    int completions = 0;
    bool completionOnMain = false;

    QVTesselAdapter::ItemBlock update(bool xml) {
        return [this, xml](const std::shared_ptr<QVExportItem>& item) {
            std::lock_guard lock(mutex);
            statuses << (xml ? item->fcpXMLStatus() : item->exportStatus());
            assetIDs << item->assetID();
            updateOnMain << Dispatch::isMainThread();
        };
    }
    QVTesselAdapter::ItemBlock done() {
        return [this](const std::shared_ptr<QVExportItem>&) {
            std::lock_guard lock(mutex);
            ++completions;
            completionOnMain = Dispatch::isMainThread();
        };
    }
    bool wait() {
        return UploadFixtures::waitFor([this] {
            std::lock_guard lock(mutex);
            return completions > 0;
        });
    }
};

class AdapterTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fx.ready()) << fx.problem().toStdString(); }
    ServiceFixture fx;
};

}  // namespace

TEST_F(AdapterTest, MovieInsideTheLibraryIsCreatedAndCompleted) {
    auto item = fx.insideItem("Clip 1", "p1");
    ASSERT_TRUE(item);
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    Recorder run;
    QVTesselAdapter::updateWithExportItem(item, run.update(false), run.done());
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.statuses, QList<qint64>({4, 5, 2}));
    EXPECT_EQ(run.completions, 1);
    // No step waits for the main thread: the service's answers come to the
    // pool, where the window's painting cannot hold the next request back.
    EXPECT_EQ(run.updateOnMain, QList<bool>({false, false, false}));
    EXPECT_FALSE(run.completionOnMain);
    ASSERT_FALSE(item->assetID().isEmpty());
    EXPECT_EQ(run.assetIDs.at(1), item->assetID());

    const QJsonObject asset = fx.storedAsset(item->assetID());
    ASSERT_FALSE(asset.isEmpty());
    EXPECT_EQ(asset.value("project").toString(), "p1");
    EXPECT_EQ(asset.value("group").toString(), "");
    EXPECT_EQ(asset.value("name").toString(), "Clip 1");
    EXPECT_EQ(asset.value("importtype").toInt(), 1);
    EXPECT_EQ(asset.value("masterpath").toString(),
              item->locationInfo()->mediaPath() + "/Clip 1.mov");
    EXPECT_FALSE(asset.contains("importfrompath"));
    const QJsonObject fcpx = asset.value("fcpx").toObject();
    EXPECT_EQ(fcpx.value("com_apple_proapps_share_episodeID").toString(), "EP-7");
    EXPECT_EQ(fcpx.value("com_apple_proapps_share_episodeNumber").toInt(), 7);
    EXPECT_EQ(fcpx.value("com_apple_quicktime_description").toString(), "Take two, exterior");
    EXPECT_FALSE(fcpx.contains("com.apple.proapps.share.id"));
    EXPECT_EQ(asset.value("tags").toArray(), QJsonArray({"city", "night", " rain"}));
    // 17-digit GMT timestamps of the movie file.
    EXPECT_EQ(QString::number(asset.value("createdate").toInteger()).size(), 17);
    EXPECT_GE(asset.value("modifydate").toInteger(), asset.value("createdate").toInteger());
    EXPECT_EQ(asset.value("importdisklabel").toString(), "Final Cut Pro X");
    EXPECT_EQ(asset.value("importvolume").toString(), "Relaydock for Corvane Pro");
    EXPECT_EQ(asset.value("importer").toString(), "Final Cut Pro X");
    EXPECT_TRUE(asset.value("_completed").toBool());
}

TEST_F(AdapterTest, FailedCreationEndsInStatus6AndKeepsTheAssetID) {
    auto item = fx.insideItem("Clip 2", "p1");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    item->setAssetID("earlier");
    ASSERT_TRUE(fx.service.setFault("create", "error", "35"));
    Recorder run;
    QVTesselAdapter::updateWithExportItem(item, run.update(false), run.done());
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.statuses, QList<qint64>({4, 6}));
    EXPECT_EQ(item->assetID(), "earlier");
    EXPECT_EQ(fx.service.requests("upload").count, 0);

    // A retry starts again from the fields.
    fx.service.clearFaults();
    Recorder retry;
    QVTesselAdapter::updateWithExportItem(item, retry.update(false), retry.done());
    ASSERT_TRUE(retry.wait());
    EXPECT_EQ(retry.statuses, QList<qint64>({4, 5, 2}));
    EXPECT_NE(item->assetID(), "earlier");
}

TEST_F(AdapterTest, FailedConfirmationEndsInStatus7AndCanBeRepeatedAlone) {
    auto item = fx.storeToItem("Clip 3", "g2");
    ASSERT_TRUE(item);
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    ASSERT_TRUE(fx.service.setFault("upload", "error", "12", 1));
    Recorder run;
    QVTesselAdapter::updateWithExportItem(item, run.update(false), run.done());
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.statuses, QList<qint64>({4, 5, 7}));
    const QString assetID = item->assetID();
    ASSERT_FALSE(assetID.isEmpty());
    QJsonObject asset = fx.storedAsset(assetID);
    EXPECT_FALSE(asset.value("_completed").toBool());
    // Stored outside the library: the import path, the root project and the
    // group two levels down.
    EXPECT_EQ(asset.value("importtype").toInt(), 0);
    EXPECT_EQ(asset.value("importfrompath").toString(), item->originalPath());
    EXPECT_EQ(asset.value("project").toString(), "p1");
    EXPECT_EQ(asset.value("group").toString(), "g2");
    EXPECT_TRUE(asset.value("masterpath").toString().endsWith("/Clip 3.mov"));

    // The retry of status 7 repeats only the confirmation, with the stored ID.
    const int creates = fx.service.requests("create").count;
    bool done = false, ok = false;
    QVUploadManager::sharedManager().uploadCompleteWithExportItem(
        item, item->originalPath(), item->assetID(), [&](bool success, const QVErrorOpt&) {
            ok = success;
            done = true;
        });
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return done; }));
    EXPECT_TRUE(ok);
    EXPECT_EQ(fx.service.requests("create").count, creates);
    EXPECT_TRUE(fx.storedAsset(assetID).value("_completed").toBool());
}

TEST_F(AdapterTest, FcpXMLUpdateSeesTheNewAssetIDWhileStillCreating) {
    auto item = fx.insideItem("Clip 4", "g1");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    ASSERT_TRUE(UploadFixtures::touch(item->fcpXMLPath()));
    // The FCPXML file is older than the movie: its own dates must be sent.
    QFile xml(item->fcpXMLPath());
    ASSERT_TRUE(xml.open(QIODevice::ReadWrite));
    ASSERT_TRUE(xml.setFileTime(QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC),
                                QFileDevice::FileModificationTime));
    xml.close();
    Recorder run;
    QVTesselAdapter::updateFCPXMLWithExportItem(item, run.update(true), run.done());
    ASSERT_TRUE(run.wait());
    EXPECT_EQ(run.statuses, QList<qint64>({4, 4, 2}));
    EXPECT_TRUE(run.assetIDs.at(0).isNull());
    EXPECT_FALSE(run.assetIDs.at(1).isEmpty());
    EXPECT_EQ(item->fcpXMLStatus(), QVExportStatusCompleted);
    EXPECT_EQ(item->exportStatus(), QVExportStatusWaiting);
    const QJsonObject asset = fx.storedAsset(item->assetID());
    EXPECT_EQ(asset.value("masterpath").toString(),
              item->locationInfo()->mediaPath() + "/Clip 4.fcpxml");
    EXPECT_EQ(asset.value("modifydate").toInteger(), 20200506070809000LL);
    EXPECT_EQ(asset.value("project").toString(), "p1");
    EXPECT_EQ(asset.value("group").toString(), "g1");
}

TEST_F(AdapterTest, NothingIsSentForAnItemWithoutProjectOrFile) {
    auto item = fx.insideItem("Clip 5", "p2");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    ASSERT_TRUE(UploadFixtures::touch(item->fcpXMLPath()));
    item->setProject(nullptr);
    item->setExportStatus(QVExportStatusCreateFailed);
    Recorder movie, fcpxml;
    QVTesselAdapter::updateWithExportItem(item, movie.update(false), movie.done());
    QVTesselAdapter::updateFCPXMLWithExportItem(item, fcpxml.update(true), fcpxml.done());
    ASSERT_TRUE(movie.wait());
    ASSERT_TRUE(fcpxml.wait());
    EXPECT_TRUE(movie.statuses.isEmpty());
    EXPECT_TRUE(fcpxml.statuses.isEmpty());
    EXPECT_EQ(item->exportStatus(), QVExportStatusCreateFailed);
    EXPECT_EQ(item->fcpXMLStatus(), QVExportStatusNone);

    // Files that are not there: only the completions, whatever the status.
    auto missing = fx.insideItem("Clip 6", "p2");
    missing->setExportStatus(QVExportStatusExporting);
    Recorder absentMovie, absentXml;
    QVTesselAdapter::updateWithExportItem(missing, absentMovie.update(false), absentMovie.done());
    QVTesselAdapter::updateFCPXMLWithExportItem(missing, absentXml.update(true), absentXml.done());
    ASSERT_TRUE(absentMovie.wait());
    ASSERT_TRUE(absentXml.wait());
    EXPECT_TRUE(absentMovie.statuses.isEmpty());
    EXPECT_TRUE(absentXml.statuses.isEmpty());
    EXPECT_EQ(missing->exportStatus(), QVExportStatusExporting);
    EXPECT_EQ(missing->fcpXMLStatus(), QVExportStatusNone);
    EXPECT_EQ(fx.service.requests("create").count, 0);
}

// The editor's announcement and a launch's resumption can ask for the same
// file at once: one run registers it.
TEST_F(AdapterTest, RegistrationsAskedForTheSameStatusMakeOneAsset) {
    auto item = fx.insideItem("Clip 7", "p1");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    item->setExportStatus(QVExportStatusExporting);
    Recorder first, second;
    QVTesselAdapter::updateWithExportItem(item, first.update(false), first.done());
    QVTesselAdapter::updateWithExportItem(item, second.update(false), second.done());
    ASSERT_TRUE(first.wait());
    ASSERT_TRUE(second.wait());
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return item->exportStatus() == 2; }));
    EXPECT_EQ(fx.service.requests("create").count, 1);
    EXPECT_EQ(first.statuses + second.statuses, QList<qint64>({4, 5, 2}));
}

// The detector polls on its own and may see the movie appear after the
// editor's announcement was taken but before the registration ran: the
// file is registered all the same.
TEST_F(AdapterTest, AnnouncementOvertakenByTheDetectorStillRegisters) {
    auto item = fx.insideItem("Clip 8", "p1");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    item->setExportStatus(QVExportStatusWaiting);
    // Every background thread held, so the registration runs only after
    // the detector has moved the status.
    std::mutex gate;
    std::unique_lock hold(gate);
    for (int i = 0; i < Dispatch::globalThreadLimit(); ++i)
        Dispatch::global([&gate] { std::lock_guard wait(gate); });
    Recorder movie;
    QVTesselAdapter::updateWithExportItem(item, movie.update(false), movie.done());
    ASSERT_TRUE(item->advanceStatus(QVExportItem::File::Movie, QVExportStatusWaiting,
                                    QVExportStatusExporting));
    hold.unlock();
    ASSERT_TRUE(movie.wait());
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return item->exportStatus() == 2; }));
    EXPECT_EQ(fx.service.requests("create").count, 1);
}

// The two files of a share are answered apart: neither confirmation waits
// for the other file, the list is written once for the whole share, and a
// service slow to answer holds the list's writes back only for a while.
TEST_F(AdapterTest, BothFilesOfAShareConfirmAtOnceAndWriteTheListOnce) {
    auto& list = QVExportItemManager::sharedManager();
    auto shared = fx.insideItem("Clip 9", "p1");
    auto alone = fx.insideItem("Clip 10", "p1");
    for (const auto& item : {shared, alone}) {
        ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
        ASSERT_TRUE(UploadFixtures::touch(item->fcpXMLPath()));
    }
    // The shared list writes where the first test's home was; leave no
    // folder behind there.
    const bool folderExisted = QFileInfo::exists(list.folder());
    list.setExportItems({shared, alone});
    auto register_ = [](const std::shared_ptr<QVExportItem>& item) {
        auto movie = std::make_shared<Recorder>(), xml = std::make_shared<Recorder>();
        QVTesselAdapter::updateWithExportItem(item, movie->update(false), movie->done());
        QVTesselAdapter::updateFCPXMLWithExportItem(item, xml->update(true), xml->done());
        return movie->wait() && xml->wait() && item->exportStatus() == QVExportStatusCompleted &&
               item->fcpXMLStatus() == QVExportStatusCompleted;
    };
    auto lastAnswer = [this](const char* endpoint) {
        qint64 last = 0;
        for (const auto& r : fx.service.requests(endpoint).list)
            last = std::max(last, r.answeredUs);
        return last;
    };
    auto firstArrival = [this](const char* endpoint) {
        qint64 first = std::numeric_limits<qint64>::max();
        for (const auto& r : fx.service.requests(endpoint).list)
            first = std::min(first, r.receivedUs);
        return first;
    };

    // One creation answered 300 ms after the other.
    QVTesselAdapter::setPairWaitMilliseconds(60000);
    ASSERT_TRUE(fx.service.setFault("create", "delay", "300", 1));
    const quint64 writes = list.writeCount();
    ASSERT_TRUE(register_(shared));
    ASSERT_TRUE(list.flush());
    EXPECT_EQ(list.writeCount() - writes, 1u);
    EXPECT_LT(firstArrival("upload"), lastAnswer("create"));
    const QVariantList stored = PropertyList::readFile(list.listFilePath())->toList();
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0].toMap().value("movieassetid").toString(), shared->movieAssetID());
    EXPECT_EQ(stored[0].toMap().value("fcpxmlassetid").toString(), shared->fcpXMLAssetID());

    // Beyond the wait, the list is written before the slow answer too.
    QVTesselAdapter::setPairWaitMilliseconds(50);
    ASSERT_TRUE(fx.service.setFault("create", "delay", "3000", 1));
    const quint64 before = list.writeCount();
    ASSERT_TRUE(register_(alone));
    ASSERT_TRUE(list.flush());
    EXPECT_GE(list.writeCount() - before, 2u);

    QVTesselAdapter::setPairWaitMilliseconds(-1);
    list.setExportItems({});
    if (!folderExisted) QDir(list.folder()).removeRecursively();
}
