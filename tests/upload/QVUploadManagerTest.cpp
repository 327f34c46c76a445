#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "UploadFixtures.h"
#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/Dispatch.h"
#include "platform/QVLog.h"
#include "platform/RunningApplications.h"
#include "service/QVConnection.h"
#include "upload/QVUploadManager.h"

namespace {

class UploadManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fx.ready()) << fx.problem().toStdString(); }
    ServiceFixture fx;
    QVUploadManager& manager = QVUploadManager::sharedManager();
};

void expectLocalError(const QVErrorOpt& error, const char* description) {
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "QVUploadManager");
    EXPECT_EQ(error->code, -1);
    EXPECT_EQ(error->localizedDescription(), description);
}

}  // namespace

TEST_F(UploadManagerTest, SyncTesselFillsLocalCredentialsOnlyWhenTheCompanionRuns) {
    const auto connection = fx.library->connection();
    EXPECT_EQ(connection->userID(), "agent");
    EXPECT_EQ(connection->password(), "agent-secret");
    EXPECT_EQ(connection->port(), fx.service.port());
    EXPECT_EQ(QVLibraryManager::sharedManager().localLibraryUserID(), "agent");
    EXPECT_EQ(QVLibraryManager::sharedManager().servicePort(), fx.service.port());
    EXPECT_EQ(manager.userID(), "agent");

    connection->setUserID("kept");
    const QString companion = QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier);
    RunningApplications::registerExecutable(companion, "no-such-companion");
    fx.service.clearRequests();
    EXPECT_FALSE(manager.syncTessel());
    EXPECT_EQ(fx.service.requests("system").count, 0);
    EXPECT_EQ(connection->userID(), "kept");

    RunningApplications::registerExecutable(companion, "tessel-service");
    ASSERT_TRUE(fx.service.setFault("system", "error", "3"));
    EXPECT_FALSE(manager.syncTessel());
    EXPECT_EQ(connection->userID(), "kept");
    fx.service.clearFaults();
    EXPECT_TRUE(manager.syncTessel());
    EXPECT_EQ(connection->userID(), "agent");
}

TEST_F(UploadManagerTest, MissingParametersCompleteAtOnceOnTheCallingThread) {
    QVErrorOpt error;
    bool called = false;
    manager.uploadLocationWithLibrary(
        nullptr,
        [&](bool ok, const std::shared_ptr<QVUploadLocation>& location, const QVErrorOpt& e) {
            called = !ok && !location;
            error = e;
        });
    EXPECT_TRUE(called);
    expectLocalError(error, "Parameter is nil");

    const QVariantMap metas{{"name", "x"}};
    auto expectCreateRefused = [&](const std::shared_ptr<QVLibrary>& library,
                                   const std::shared_ptr<QVProject>& node, const QString& path,
                                   const std::optional<QVariantMap>& m) {
        called = false;
        manager.createAssetWithLibrary(library, node, path, m,
                                       [&](bool ok, const QString& id, const QVErrorOpt& e) {
                                           called = !ok && id.isNull();
                                           error = e;
                                       });
        EXPECT_TRUE(called);
        expectLocalError(error, "Parameter is nil");
    };
    expectCreateRefused(nullptr, fx.node("p1"), "/f", metas);
    expectCreateRefused(fx.library, nullptr, "/f", metas);
    expectCreateRefused(fx.library, fx.node("p1"), QString(), metas);
    expectCreateRefused(fx.library, fx.node("p1"), "/f", std::nullopt);

    auto item = fx.insideItem("NoLibrary", "p1");
    item->setLibrary(nullptr);
    auto complete = [&](const std::shared_ptr<QVExportItem>& i, const QString& id) {
        called = false;
        manager.uploadCompleteWithExportItem(i, "/f", id, [&](bool ok, const QVErrorOpt& e) {
            called = !ok;
            error = e;
        });
        EXPECT_TRUE(called);
        expectLocalError(error, "Parameter is nil");
    };
    complete(item, "id");
    complete(fx.insideItem("NoID", "p1"), QString());
    called = false;
    manager.updateAssetWithLibrary(fx.library, QString(), metas, [&](bool ok, const QVErrorOpt& e) {
        called = !ok;
        error = e;
    });
    EXPECT_TRUE(called);
    expectLocalError(error, "Parameter is nil");
    EXPECT_EQ(fx.service.requests("create").count, 0);
    EXPECT_EQ(fx.service.requests("upload").count, 0);
    EXPECT_EQ(fx.service.requests("update").count, 0);
}

TEST_F(UploadManagerTest, UploadLocationAndServiceErrorsPassedOn) {
    auto location = fx.uploadLocation();
    ASSERT_TRUE(location);
    EXPECT_TRUE(location->mediaPath().startsWith("Media/Master/"));
    EXPECT_EQ(location->dbName(), "media");
    const auto requests = fx.service.requests("upload-location");
    ASSERT_GE(requests.count, 1);
    EXPECT_EQ(requests.list.last().method, "GET");
    EXPECT_EQ(requests.list.last().path, "/tessel/libraries/media/assets/upload");

    ASSERT_TRUE(fx.service.setFault("upload-location", "error", "41", 1));
    bool done = false, ok = true, onMain = false;
    QVErrorOpt error;
    manager.uploadLocationWithLibrary(
        fx.library,
        [&](bool success, const std::shared_ptr<QVUploadLocation>& result, const QVErrorOpt& e) {
            ok = success || result;
            error = e;
            onMain = Dispatch::isMainThread();
            done = true;
        });
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return done; }));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(onMain);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 41);
    EXPECT_NE(error->domain, "QVUploadManager");
}

TEST_F(UploadManagerTest, CreateSendsOneItemAndUpdateReplacesTheID) {
    auto item = fx.insideItem("Updated", "p2");
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    const auto metas = QVUploadManager::metaDataWithExportItem(item, "mov");
    ASSERT_TRUE(metas);
    bool done = false;
    QString assetID;
    manager.createAssetWithLibrary(fx.library, item->project(), item->originalPath(), metas,
                                   [&](bool ok, const QString& id, const QVErrorOpt& e) {
                                       EXPECT_TRUE(ok);
                                       EXPECT_FALSE(e);
                                       assetID = id;
                                       done = true;
                                   });
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return done; }));
    ASSERT_FALSE(assetID.isEmpty());
    const auto create = fx.service.requests("create");
    ASSERT_EQ(create.count, 1);
    const QJsonObject body = QJsonDocument::fromJson(create.list.first().body).object();
    ASSERT_EQ(body.value("items").toArray().size(), 1);
    EXPECT_EQ(body.value("items").toArray().first().toObject().value("name").toString(), "Updated");

    QVariantMap changed = *metas;
    changed.insert("name", "Renamed");
    changed.insert("_id", "stale-id");
    QVLog::Capture capture;
    done = false;
    manager.updateAssetWithLibrary(fx.library, assetID, changed, [&](bool ok, const QVErrorOpt&) {
        EXPECT_TRUE(ok);
        done = true;
    });
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return done; }));
    EXPECT_EQ(fx.storedAsset(assetID).value("name").toString(), "Renamed");
    EXPECT_TRUE(capture.contains("response : "));

    // An unknown asset is the service's error, passed on.
    done = false;
    manager.updateAssetWithLibrary(fx.library, "no-such-asset", changed,
                                   [&](bool ok, const QVErrorOpt& e) {
                                       EXPECT_FALSE(ok);
                                       EXPECT_TRUE(e);
                                       done = true;
                                   });
    ASSERT_TRUE(UploadFixtures::waitFor([&] { return done; }));
}

// Registry, reload, projects, access check, upload location, create and
// upload for a library whose name holds "/", "?", "#", "%1", a space and
// non-ASCII letters: each call carries the name as one encoded segment, and
// the service files the asset under that library.
TEST_F(UploadManagerTest, AnAwkwardLibraryNameIsOneSegmentOnEveryCall) {
    using UploadFixtures::waitFor;
    const QString name = UploadFixtures::kAwkwardName;
    auto library = QVLibraryManager::sharedManager().libraryForDBName(name);
    ASSERT_TRUE(library);
    bool done = false, ok = false;
    QVLibraryManager::sharedManager().reloadLibrary(library, [&](bool success, const QVErrorOpt&) {
        ok = success;
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(library->onlineStatus());
    EXPECT_EQ(library->name(), "Awkward");

    QVErrorOpt error;
    ASSERT_TRUE(library->loadProjectsWithError(&error));
    auto project = library->projectWithID("a1");
    ASSERT_TRUE(project);
    done = ok = false;
    QStringList failed;
    project->accessibilityForReferenceFilePaths(
        {"/no/such/clip.mov"}, [&](bool success, const QVErrorOpt&, const QStringList& paths) {
            ok = success;
            failed = paths;
            done = true;
        });
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(ok);
    EXPECT_EQ(failed, QStringList{"/no/such/clip.mov"});

    auto location = fx.uploadLocation(library);
    ASSERT_TRUE(location);
    EXPECT_EQ(location->dbName(), name);
    auto item = QVExportItem::exportItemWithName("Odd Clip", UploadFixtures::fcpMetaData(), library,
                                                 project, QVImportTypeInsideLibrary, location,
                                                 QString(), false);
    ASSERT_TRUE(item);
    ASSERT_TRUE(UploadFixtures::touch(item->originalPath()));
    QString assetID;
    done = false;
    manager.createAssetWithLibrary(library, project, item->originalPath(),
                                   QVUploadManager::metaDataWithExportItem(item, "mov"),
                                   [&](bool, const QString& id, const QVErrorOpt&) {
                                       assetID = id;
                                       done = true;
                                   });
    ASSERT_TRUE(waitFor([&] { return done; }));
    ASSERT_FALSE(assetID.isEmpty());
    done = ok = false;
    manager.uploadCompleteWithExportItem(item, item->originalPath(), assetID,
                                         [&](bool success, const QVErrorOpt&) {
                                             ok = success;
                                             done = true;
                                         });
    ASSERT_TRUE(waitFor([&] { return done; }));
    EXPECT_TRUE(ok);
    const QJsonArray stored = fx.service.assets(name);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.first().toObject().value("_id").toString(), assetID);
    EXPECT_TRUE(stored.first().toObject().value("_completed").toBool());

    const QString prefix =
        "/tessel/libraries/" + QString::fromLatin1(QUrl::toPercentEncoding(name));
    for (const char* endpoint :
         {"library", "projects", "access", "upload-location", "create", "upload"}) {
        const auto requests = fx.service.requests(endpoint);
        ASSERT_GE(requests.count, 1) << endpoint;
        const QString path = requests.list.last().path;
        EXPECT_TRUE(path == prefix || path.startsWith(prefix + "/")) << path.toStdString();
    }

    // Errors of the service name the library they are about.
    ASSERT_TRUE(fx.service.setFault("upload-location", "error", "41", 1));
    done = false;
    manager.uploadLocationWithLibrary(
        library, [&](bool, const std::shared_ptr<QVUploadLocation>&, const QVErrorOpt& e) {
            error = e;
            done = true;
        });
    ASSERT_TRUE(waitFor([&] { return done; }));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->userInfo.value("dbname").toString(), name);
}

TEST(QVUploadManagerPaths, MasterPathStartsAtTheFirstMediaMaster) {
    EXPECT_EQ(
        QVUploadManager::masterPathWithFilePath("/Libraries/A.lib/Media/Master/2016/clip.mov"),
        "/Media/Master/2016/clip.mov");
    EXPECT_EQ(QVUploadManager::masterPathWithFilePath("/x/Media/Master/a/Media/Master/b.mov"),
              "/Media/Master/a/Media/Master/b.mov");
    EXPECT_TRUE(QVUploadManager::masterPathWithFilePath("/x/Media/Preview/b.mov").isNull());
}
