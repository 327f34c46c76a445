#include <gtest/gtest.h>

#include <thread>

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "LibraryFixtures.h"
#include "library/QVLibraryManager.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

// The library model against the real stand-in service: a local library on
// 127.0.0.1 and network libraries served only on 127.0.0.2.
namespace {

using LibraryFixtures::waitFor;

const QString kLocalUser = QStringLiteral("tessel-local-user");
const QString kLocalPassword = QStringLiteral("local-secret");

QJsonObject group(const QString& id, const QString& name, const QJsonArray& groups = {}) {
    QJsonObject object{{"id", id}, {"name", name}};
    if (!groups.isEmpty()) object.insert("group", groups);
    return object;
}

QJsonObject seed() {
    const QJsonArray projects{
        group("p1", "Film",
              {group("g1", "Scenes", {group("g11", "Night"), group("g12", "Day")}),
               group("g2", "Music")}),
        group("p2", "Trailer")};
    return QJsonObject{
        {"localuser", QJsonObject{{"id", kLocalUser}, {"password", kLocalPassword}}},
        {"libraries",
         QJsonArray{
             QJsonObject{{"dbname", "loc"},
                         {"name", "Local One"},
                         {"desc", "on this machine"},
                         {"type", 0},
                         {"projects", projects}},
             QJsonObject{
                 {"dbname", "net"},
                 {"name", "Remote Net"},
                 {"desc", "far away"},
                 {"type", 1},
                 {"address", "127.0.0.2"},
                 {"users", QJsonArray{QJsonObject{{"userid", "alice"}, {"password", "secret"}}}},
                 {"projects", QJsonArray{group("np", "Net Project")}}},
             QJsonObject{
                 {"dbname", "lonely"},
                 {"name", "Forgotten"},
                 {"type", 1},
                 {"address", "127.0.0.2"},
                 {"rememberuser", false},
                 {"users", QJsonArray{QJsonObject{{"userid", "bob"}, {"password", "pw"}}}}}}}};
}

struct ProjectsAnswer {
    std::atomic<bool> done{false};
    bool onMainThread = false;
    QVProjectList projects;
    QVErrorOpt error;
};

class LibraryServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TesselServiceProcess::Options options{.seed = seed()};
        options.bind = {"127.0.0.1", "127.0.0.2"};
        options.deepTrees = deepTrees();
        service_ = std::make_unique<TesselServiceProcess>(options);
        ASSERT_TRUE(service_->start()) << service_->errorString().toStdString();
        manager_.setLocalLibraryUserID(kLocalUser);
        manager_.setLocalLibraryPassword(kLocalPassword);
        manager_.setServicePort(QVTesselUtil::servicePort());
        std::atomic<bool> loaded{false};
        manager_.loadAllLibrariesWithCompletion([&](const QVLibraryList&) { loaded = true; });
        ASSERT_TRUE(waitFor([&] { return loaded.load(); }));
        Dispatch::waitForGlobal();
        ASSERT_EQ(manager_.libraries().size(), 3);
    }

    void TearDown() override { Dispatch::waitForGlobal(); }
    virtual QStringList deepTrees() const { return {}; }

    std::shared_ptr<QVLibrary> library(const QString& dbName) {
        return manager_.libraryForDBName(dbName);
    }

    void loadProjects(const std::shared_ptr<QVLibrary>& library, ProjectsAnswer& answer) {
        library->loadProjectsWithCompletion(
            [&answer](const QVProjectList& projects, const QVErrorOpt& error) {
                answer.projects = projects;
                answer.error = error;
                answer.onMainThread = Dispatch::isMainThread();
                answer.done = true;
            });
        ASSERT_TRUE(waitFor([&] { return answer.done.load(); }));
    }

    struct Reload {
        std::atomic<bool> done{false};
        bool success = false;
        bool onMainThread = false;
        QVErrorOpt error;
    };
    void reload(const std::shared_ptr<QVLibrary>& library, Reload& answer) {
        manager_.reloadLibrary(library, [&answer](bool success, const QVErrorOpt& error) {
            answer.success = success;
            answer.error = error;
            answer.onMainThread = Dispatch::isMainThread();
            answer.done = true;
        });
        ASSERT_TRUE(waitFor([&] { return answer.done.load(); }));
    }

    TempHome home_;
    std::unique_ptr<TesselServiceProcess> service_;
    QVLibraryManager manager_;
};

class DeepLibraryServiceTest : public LibraryServiceTest {
  protected:
    QStringList deepTrees() const override { return {"loc:deep:10000"}; }
};

}  // namespace

TEST_F(LibraryServiceTest, RegistryFromTheServiceFilesCarriesCredentials) {
    const QVLibraryList libraries = manager_.libraries();
    EXPECT_EQ(libraries[0]->dbName(), "loc");  // local first
    EXPECT_EQ(libraries[1]->name(), "Forgotten");
    EXPECT_EQ(libraries[2]->name(), "Remote Net");
    auto loc = library("loc");
    EXPECT_TRUE(loc->onlineStatus());
    EXPECT_TRUE(loc->isMountedLibrary());
    EXPECT_EQ(loc->connection()->port(), service_->port());
    EXPECT_EQ(loc->connection()->userID(), kLocalUser);
    auto net = library("net");
    EXPECT_FALSE(net->onlineStatus());
    EXPECT_EQ(net->connection()->address(), "127.0.0.2");
    EXPECT_EQ(net->connection()->userID(), "alice");
    EXPECT_EQ(net->connection()->password(), TesselServiceProcess::md5("secret"));
    EXPECT_TRUE(library("lonely")->connection()->userID().isNull());
}

TEST_F(LibraryServiceTest, ProjectTreeLoadsWithLevelsRootsAndParents) {
    auto loc = library("loc");
    ProjectsAnswer answer;
    loadProjects(loc, answer);
    ASSERT_FALSE(answer.error) << answer.error->localizedDescription().toStdString();
    EXPECT_TRUE(answer.onMainThread);
    ASSERT_EQ(answer.projects.size(), 2);
    EXPECT_EQ(loc->projects(), answer.projects);
    auto film = answer.projects[0];
    EXPECT_EQ(film->name(), "Film");
    EXPECT_EQ(film->projectType(), 0);
    EXPECT_EQ(film->library(), loc);
    EXPECT_EQ(film->rootProject(), film);
    EXPECT_EQ(film->descendantCount(), 4);
    auto night = loc->projectWithID("g11");
    ASSERT_TRUE(night);
    EXPECT_EQ(night->level(), 2);
    EXPECT_EQ(night->rootProject(), film);
    EXPECT_EQ(night->parent(), loc->projectWithID("g1"));
    EXPECT_EQ(night->library(), loc);
    EXPECT_EQ(night->projectType(), 1);
    EXPECT_EQ(night->pathString(), "Film/Scenes/Night");
    EXPECT_EQ(loc->projectWithID("p2"), answer.projects[1]);
    EXPECT_EQ(loc->indexOfProject(answer.projects[1]), 1);

    const auto requests = service_->requests("projects");
    ASSERT_EQ(requests.count, 1);
    EXPECT_EQ(requests.list[0].method, "GET");
    EXPECT_EQ(requests.list[0].path, "/tessel/libraries/loc/projects");

    // The synchronous load gives the same tree.
    QVErrorOpt error;
    const auto again = loc->loadProjectsWithError(&error);
    ASSERT_TRUE(again);
    EXPECT_FALSE(error);
    EXPECT_EQ(again->size(), 2);
    EXPECT_EQ(loc->projects(), *again);
    EXPECT_NE(loc->projectWithID("g11"), night);  // a new tree replaced the old one
}

TEST_F(DeepLibraryServiceTest, TenThousandLevelTreeFromTheService) {
    auto loc = library("loc");
    ProjectsAnswer answer;
    loadProjects(loc, answer);
    ASSERT_FALSE(answer.error) << answer.error->localizedDescription().toStdString();
    auto deep = loc->projectWithID("deep");
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->descendantCount(), 10000);
    auto bottom = loc->projectWithID("deep-10000");
    ASSERT_TRUE(bottom);
    EXPECT_EQ(bottom->level(), 10000);
    EXPECT_EQ(bottom->rootProject(), deep);
    EXPECT_TRUE(bottom->pathString().endsWith("/Level 10000"));
}

TEST_F(LibraryServiceTest, ListIsEmptyWhileALoadRunsAndAfterAFailure) {
    auto loc = library("loc");
    ProjectsAnswer first;
    loadProjects(loc, first);
    ASSERT_FALSE(loc->projects().isEmpty());

    ProjectsAnswer second;
    loc->loadProjectsWithCompletion([&](const QVProjectList& projects, const QVErrorOpt& error) {
        second.projects = projects;
        second.error = error;
        second.done = true;
    });
    // The answer is handled on the main queue, which this loop holds back: the
    // load has begun once the list is empty, and the answer cannot refill it
    // before the loop lets events run.
    const QDeadlineTimer deadline(30000);
    while (!loc->projects().isEmpty() && !deadline.hasExpired()) std::this_thread::yield();
    EXPECT_TRUE(loc->projects().isEmpty());
    EXPECT_FALSE(second.done.load());
    ASSERT_TRUE(waitFor([&] { return second.done.load(); }));
    EXPECT_EQ(loc->projects().size(), 2);

    QVLog::Capture log;
    service_->setFault("projects", "error", "5:no such thing", 1);
    ProjectsAnswer failed;
    loadProjects(loc, failed);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->code, 5);
    EXPECT_TRUE(failed.projects.isEmpty());
    EXPECT_TRUE(loc->projects().isEmpty());
    EXPECT_TRUE(log.contains("loadProjectsWithCompletion error:"));

    // A success without "projects" is an empty tree, not an error.
    service_->setFault("projects", "error", "0:fine", 1);
    ProjectsAnswer bare;
    loadProjects(loc, bare);
    EXPECT_FALSE(bare.error);
    EXPECT_TRUE(bare.projects.isEmpty());

    QVErrorOpt syncError;
    service_->setFault("projects", "html", {}, 1);
    EXPECT_FALSE(loc->loadProjectsWithError(&syncError));
    ASSERT_TRUE(syncError);
    EXPECT_EQ(syncError->code, QVTesselErrorUnreadableAnswer);
}

TEST_F(LibraryServiceTest, AccessCheckOutcomes) {
    auto loc = library("loc");
    ProjectsAnswer tree;
    loadProjects(loc, tree);
    auto node = loc->projectWithID("g1");
    const QString present = home_.path() + "/present.mov";
    QFile file(present);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const QStringList paths{present, home_.path() + "/absent.mov", "relative.mov"};

    struct Outcome {
        bool done = false;
        bool success = false;
        bool onMainThread = false;
        QVErrorOpt error;
        QStringList failed;
    };
    auto check = [&] {
        auto outcome = std::make_shared<Outcome>();
        node->accessibilityForReferenceFilePaths(
            paths, [outcome](bool success, const QVErrorOpt& error, const QStringList& failed) {
                EXPECT_FALSE(outcome->done);  // exactly once
                *outcome = {true, success, Dispatch::isMainThread(), error, failed};
            });
        EXPECT_TRUE(waitFor([&] { return outcome->done; }));
        return *outcome;
    };

    const Outcome fine = check();
    EXPECT_TRUE(fine.success);
    EXPECT_FALSE(fine.error);
    EXPECT_TRUE(fine.onMainThread);
    EXPECT_EQ(fine.failed, paths.mid(1));
    const auto requests = service_->requests("access");
    ASSERT_EQ(requests.count, 1);
    EXPECT_EQ(requests.list[0].method, "POST");
    EXPECT_EQ(requests.list[0].path, "/tessel/libraries/loc/assets/access");
    const QJsonArray items =
        QJsonDocument::fromJson(requests.list[0].body).object().value("items").toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].toObject(), (QJsonObject{{"path", present}}));

    service_->setFault("access", "error", "35:no permission", 1);
    const Outcome denied = check();
    EXPECT_FALSE(denied.success);
    EXPECT_FALSE(denied.error);
    EXPECT_EQ(denied.failed, paths);

    service_->setFault("access", "nomessage", {}, 1);
    const Outcome old = check();
    EXPECT_FALSE(old.success);
    ASSERT_TRUE(old.error);
    EXPECT_EQ(old.error->code, 10022);
    EXPECT_EQ(old.error->localizedDescription(),
              Localization::localizedString("version.need.update"));
    EXPECT_EQ(old.failed, paths);

    service_->setFault("access", "error", "9:disk", 1);
    const Outcome broken = check();
    EXPECT_FALSE(broken.success);
    ASSERT_TRUE(broken.error);
    EXPECT_EQ(broken.error->code, 9);
    EXPECT_EQ(broken.error->localizedDescription(), "disk");
    EXPECT_EQ(broken.failed, paths);
}

TEST_F(LibraryServiceTest, ReloadOfANetworkLibraryGoesOnlineAndPostsOnce) {
    auto net = library("net");
    net->setName("stale");
    int posts = 0;
    QString postedObject;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        "QVNetworkLibraryStatusOnNotification", [&](const Notification& notification) {
            ++posts;
            postedObject = std::any_cast<QString>(notification.object);
        });
    Reload answer;
    reload(net, answer);
    EXPECT_TRUE(answer.success);
    EXPECT_FALSE(answer.error);
    EXPECT_TRUE(answer.onMainThread);
    EXPECT_TRUE(net->onlineStatus());
    EXPECT_EQ(net->name(), "Remote Net");
    EXPECT_EQ(net->desc(), "far away");
    EXPECT_TRUE(waitFor([&] { return posts > 0; }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    NotificationCenter::defaultCenter().removeObserver(token);
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(postedObject, "net");
    const auto requests = service_->requests("library");
    ASSERT_EQ(requests.count, 1);
    EXPECT_EQ(requests.list[0].path, "/tessel/libraries/net");
    EXPECT_EQ(
        requests.list[0].headers.value("Authorization").toString(),
        "Basic " + QByteArray("alice:" + TesselServiceProcess::md5("secret").toUtf8()).toBase64());
}

TEST_F(LibraryServiceTest, ReloadOfALocalLibraryAndReloadFailures) {
    auto loc = library("loc");
    loc->setDesc("old");
    Reload ok;
    reload(loc, ok);
    EXPECT_TRUE(ok.success);
    EXPECT_TRUE(loc->onlineStatus());
    EXPECT_EQ(loc->desc(), "on this machine");

    QVLog::Capture log;
    service_->setFault("library", "error", "9:storage failure", 1);
    Reload failed;
    reload(loc, failed);
    EXPECT_FALSE(failed.success);
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->code, 9);
    EXPECT_TRUE(failed.onMainThread);
    EXPECT_FALSE(loc->onlineStatus());
    EXPECT_TRUE(log.contains("reloadLibrary error:"));
    EXPECT_EQ(loc->desc(), "on this machine");

    // A success that lists no matching item changes nothing.
    loc->setName("kept");
    service_->setFault("library", "error", "0:fine", 1);
    Reload empty;
    reload(loc, empty);
    EXPECT_TRUE(empty.success);
    EXPECT_FALSE(loc->onlineStatus());
    EXPECT_EQ(loc->name(), "kept");

    auto impostor = QVLibrary::libraryWithDictionary(*loc->libDictionary());
    impostor->setConnection(loc->connection());
    impostor->setDbName("loc-twin");
    // The service answers 404 for an unknown library: a failure, offline.
    Reload unknown;
    reload(impostor, unknown);
    EXPECT_FALSE(unknown.success);
    EXPECT_FALSE(impostor->onlineStatus());

    // No credentials for a network library: 10000, state unchanged.
    auto lonely = library("lonely");
    lonely->setOnlineStatus(true);
    Reload refused;
    reload(lonely, refused);
    EXPECT_FALSE(refused.success);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, 10000);
    EXPECT_FALSE(refused.onMainThread);
    EXPECT_TRUE(lonely->onlineStatus());
    EXPECT_EQ(service_->requests("library").count, 4);  // nothing sent without credentials
}

TEST_F(LibraryServiceTest, ConnectingToANetworkServiceListsItsLibraries) {
    struct Listing {
        std::atomic<bool> done{false};
        QVLibraryList libraries;
        QVErrorOpt error;
    };
    auto connect = [&](const QString& password, Listing& listing) {
        manager_.connetToNetworkLibraryWithHost(
            "127.0.0.2", service_->port(), "alice", password,
            [&listing](const QVLibraryList& libraries, const QVErrorOpt& error) {
                listing.libraries = libraries;
                listing.error = error;
                listing.done = true;
            });
        ASSERT_TRUE(waitFor([&] { return listing.done.load(); }));
    };
    const QVLibraryList before = manager_.libraries();
    Listing listing;
    connect("secret", listing);
    ASSERT_FALSE(listing.error) << listing.error->localizedDescription().toStdString();
    ASSERT_EQ(listing.libraries.size(), 1);  // alice's library on that address
    auto found = listing.libraries[0];
    EXPECT_EQ(found->dbName(), "net");
    EXPECT_EQ(found->libraryType(), 1);
    EXPECT_TRUE(found->onlineStatus());
    EXPECT_EQ(found->connection()->address(), "127.0.0.2");
    EXPECT_EQ(found->connection()->port(), service_->port());
    EXPECT_EQ(found->connection()->userID(), "alice");
    EXPECT_EQ(found->connection()->password(), TesselServiceProcess::md5("secret"));
    EXPECT_EQ(manager_.libraries(), before);
    EXPECT_EQ(manager_.indexOfLibrary(found), -1);

    const auto requests = service_->requests("libraries");
    ASSERT_EQ(requests.count, 1);
    EXPECT_EQ(requests.list[0].path, "/tessel/libraries?type=0");
    EXPECT_EQ(
        requests.list[0].headers.value("Authorization").toString(),
        "Basic " + QByteArray("alice:" + TesselServiceProcess::md5("secret").toUtf8()).toBase64());

    QVLog::Capture log;
    Listing refused;
    connect("wrong", refused);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, QVTesselErrorAuthentication);
    EXPECT_TRUE(refused.libraries.isEmpty());
    EXPECT_TRUE(log.contains("connetToNetworkLibraryWithHost error:"));
}
