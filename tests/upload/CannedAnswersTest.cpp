// Answers the stand-in service does not give, from a canned server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "UploadFixtures.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "platform/RunningApplications.h"
#include "service/CannedHttpServer.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "upload/QVUploadManager.h"

namespace {

struct CreateResult {
    bool done = false, ok = false;
    QString assetID;
    QVErrorOpt error;
};

CreateResult create(const QByteArray& body) {
    CannedHttpServer server(CannedHttpServer::response(200, body));
    auto library = QVLibrary::libraryWithName(
        "L", "", 0, false, "/L.lib", QString(),
        QVConnection::connectionWithAddress("127.0.0.1", server.port(), "u", "p"));
    auto project = QVProject::projectWithID("p", "P", library->dbName(), 0);
    CreateResult result;
    QVUploadManager::sharedManager().createAssetWithLibrary(
        library, project, "/L.lib/a.mov", QVariantMap{{"name", "a"}},
        [&](bool ok, const QString& id, const QVErrorOpt& error) {
            result = {true, ok, id, error};
        });
    UploadFixtures::waitFor([&] { return result.done; });
    return result;
}

}  // namespace

TEST(CannedAnswers, CreateNeedsANonEmptyItemsArray) {
    CreateResult empty = create(R"({"error":0,"domain":"d","message":"OK","items":[]})");
    ASSERT_TRUE(empty.done);
    EXPECT_FALSE(empty.ok);
    ASSERT_TRUE(empty.error);
    EXPECT_EQ(empty.error->domain, "QVUploadManager");
    EXPECT_EQ(empty.error->localizedDescription(), "Invalid response");

    CreateResult missing = create(R"({"error":0,"domain":"d","message":"OK"})");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->localizedDescription(), "Invalid response");

    CreateResult noID = create(R"({"error":0,"domain":"d","message":"OK","items":[{"name":"a"}]})");
    EXPECT_TRUE(noID.ok);
    EXPECT_FALSE(noID.error);
    EXPECT_TRUE(noID.assetID.isNull());
}

TEST(CannedAnswers, SystemInfoWithOnlyAPasswordIsEnough) {
    TempHome home;
    CannedHttpServer server(CannedHttpServer::response(
        200, R"({"error":0,"domain":"d","message":"OK","password":"pw"})"));
    QDir().mkpath(QFileInfo(QVTesselUtil::preferencePlist()).absolutePath());
    ASSERT_TRUE(PropertyList::writeFile(QVTesselUtil::preferencePlist(),
                                        QVariantMap{{"PREF_SERVICE_PORT", server.port()}}));
    // This test program stands in for the companion.
    RunningApplications::registerExecutable(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier),
        QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    auto local = QVLibrary::libraryWithName("L", "", 0, false, "/L.lib", QString(),
                                            std::make_shared<QVConnection>());
    auto network = QVLibrary::libraryWithName(
        "N", "", 1, false, "/N.lib", "/mnt/N",
        QVConnection::connectionWithAddress("10.0.0.9", 7000, "net", "NETPW"));
    QVLibraryManager::sharedManager().setLibraries({local, network});

    EXPECT_TRUE(QVUploadManager::sharedManager().syncTessel());
    EXPECT_TRUE(QVUploadManager::sharedManager().userID().isNull());
    EXPECT_EQ(local->connection()->password(), "pw");
    EXPECT_EQ(local->connection()->port(), server.port());
    EXPECT_EQ(network->connection()->password(), "NETPW");
    EXPECT_EQ(network->connection()->port(), 7000);
    QVLibraryManager::sharedManager().setLibraries({});
}
