// Credentials, system information, library listings and the second address.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "HttpProbe.h"
#include "TestSeeds.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

namespace {

QStringList dbNames(const QJsonObject& answer) {
    QStringList names;
    for (const QJsonValue& item : answer.value("items").toArray())
        names.append(item.toObject().value("dbname").toString());
    return names;
}

class TesselServiceAuth : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.start()) << service.errorString().toStdString();
        url = service.baseUrl();
    }
    TempHome home;
    TesselServiceProcess service{{.seed = TestSeeds::standard()}};
    QString url;
};

}  // namespace

TEST_F(TesselServiceAuth, SystemInfoNeedsNoCredentialsButAnId) {
    const auto answer = HttpProbe::get(url + "/tessel/system?id=C02XYZ");
    ASSERT_EQ(answer.status, 200);
    const QJsonObject json = answer.json();
    EXPECT_EQ(json.value("error").toInt(-1), 0);
    EXPECT_FALSE(json.value("domain").toString().isEmpty());
    EXPECT_FALSE(json.value("message").toString().isEmpty());
    EXPECT_EQ(json.value("id").toString(), "local-user");
    EXPECT_EQ(json.value("password").toString(), "local-pass");

    const auto noId = HttpProbe::get(url + "/tessel/system");
    EXPECT_NE(noId.json().value("error").toInt(0), 0);
}

TEST_F(TesselServiceAuth, RefusesMissingAndWrongCredentialsWith401) {
    const QStringList paths = {"/tessel/libraries?type=0", "/tessel/libraries/main",
                               "/tessel/libraries/main/projects",
                               "/tessel/libraries/main/assets/upload"};
    for (const QString& path : paths) {
        EXPECT_EQ(HttpProbe::get(url + path).status, 401) << path.toStdString();
        EXPECT_EQ(HttpProbe::get(url + path, "local-user", "nope").status, 401)
            << path.toStdString();
        EXPECT_EQ(HttpProbe::get(url + path, "local-user", "local-pass").status, 200)
            << path.toStdString();
    }
    const auto create = HttpProbe::post(url + "/tessel/libraries/main/assets/create",
                                        R"({"items":[{"name":"x"}]})", "intruder", "local-pass");
    EXPECT_EQ(create.status, 401);
    EXPECT_TRUE(service.assets("main").isEmpty());
}

TEST_F(TesselServiceAuth, NetworkLibrariesTakeTheUppercaseMd5OfThePassword) {
    const QString path = url + "/tessel/libraries/remote";
    EXPECT_EQ(HttpProbe::get(path, "alice", TesselServiceProcess::md5("wonderland")).status, 200);
    EXPECT_EQ(HttpProbe::get(path, "bob", TesselServiceProcess::md5("builder")).status, 200);
    // The clear password, a lower-case digest, another user's digest and the
    // local user are all refused.
    EXPECT_EQ(HttpProbe::get(path, "alice", "wonderland").status, 401);
    EXPECT_EQ(
        HttpProbe::get(path, "alice", TesselServiceProcess::md5("wonderland").toLower()).status,
        401);
    EXPECT_EQ(HttpProbe::get(path, "alice", TesselServiceProcess::md5("builder")).status, 401);
    EXPECT_EQ(HttpProbe::get(path, "local-user", "local-pass").status, 401);
    // ...and a network user cannot reach a local library.
    EXPECT_EQ(HttpProbe::get(url + "/tessel/libraries/main", "alice",
                             TesselServiceProcess::md5("wonderland"))
                  .status,
              401);
}

TEST_F(TesselServiceAuth, LibraryAnswersCarryTheLibraryObject) {
    const QJsonObject json =
        HttpProbe::get(url + "/tessel/libraries/main", "local-user", "local-pass").json();
    EXPECT_EQ(json.value("error").toInt(-1), 0);
    const QJsonArray items = json.value("items").toArray();
    ASSERT_EQ(items.size(), 1);
    const QJsonObject main = items[0].toObject();
    EXPECT_EQ(main.value("dbname").toString(), "main");
    EXPECT_EQ(main.value("name").toString(), "Main Library");
    EXPECT_EQ(main.value("desc").toString(), "the main one");
    EXPECT_EQ(main.value("packagefolder").toString(), service.packageFolder("main"));

    const auto unknown =
        HttpProbe::get(url + "/tessel/libraries/nosuch", "local-user", "local-pass");
    EXPECT_NE(unknown.json().value("error").toInt(0), 0);
    EXPECT_TRUE(unknown.json().contains("message"));
}

TEST_F(TesselServiceAuth, ListsTheLibrariesTheCallerMayUse) {
    EXPECT_EQ(
        dbNames(
            HttpProbe::get(url + "/tessel/libraries?type=0", "local-user", "local-pass").json()),
        QStringList({"main", "remote", "hidden", "odd"}));
    EXPECT_EQ(dbNames(HttpProbe::get(url + "/tessel/libraries?type=0", "bob",
                                     TesselServiceProcess::md5("builder"))
                          .json()),
              QStringList({"remote"}));
    EXPECT_EQ(HttpProbe::get(url + "/tessel/libraries?type=0", "bob", "builder").status, 401);
}

TEST_F(TesselServiceAuth, ProjectTreeKeepsOrderTypesAndNesting) {
    const QJsonObject json =
        HttpProbe::get(url + "/tessel/libraries/main/projects", "local-user", "local-pass").json();
    EXPECT_EQ(json.value("error").toInt(-1), 0);
    const QJsonArray projects = json.value("projects").toArray();
    ASSERT_EQ(projects.size(), 2);
    const QJsonObject alpha = projects[0].toObject();
    EXPECT_EQ(alpha.value("id").toString(), "proj-a");
    EXPECT_EQ(alpha.value("name").toString(), "Alpha");
    EXPECT_EQ(alpha.value("dbname").toString(), "main");
    EXPECT_EQ(alpha.value("type").toInt(-1), 0);
    const QJsonObject interviews = alpha.value("group").toArray()[0].toObject();
    EXPECT_EQ(interviews.value("id").toString(), "grp-a1");
    EXPECT_EQ(interviews.value("type").toInt(-1), 1);
    EXPECT_EQ(interviews.value("group").toArray()[0].toObject().value("id").toString(), "grp-a2");
    EXPECT_EQ(projects[1].toObject().value("id").toString(), "proj-b");
}

// A network library on a second loopback address stands for another host:
// it is served there and nowhere else, and the first address keeps its own.
TEST(TesselServiceAddresses, ServesANetworkLibraryOnASecondLoopbackAddress) {
    TempHome home;
    QJsonObject seed = TestSeeds::standard();
    QJsonArray libraries = seed.value("libraries").toArray();
    QJsonObject remote = libraries[1].toObject();
    remote.insert("address", "127.0.0.2");
    libraries[1] = remote;
    seed.insert("libraries", libraries);
    TesselServiceProcess service({.seed = seed, .bind = {"127.0.0.1", "127.0.0.2"}});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    const QString md5 = TesselServiceProcess::md5("wonderland");
    const QString second = QStringLiteral("http://127.0.0.2:%1").arg(service.port());

    EXPECT_EQ(HttpProbe::get(second + "/tessel/libraries/remote/projects", "alice", md5).status,
              200);
    EXPECT_EQ(HttpProbe::get(service.baseUrl() + "/tessel/libraries/remote", "alice", md5).status,
              404);
    EXPECT_EQ(HttpProbe::get(second + "/tessel/libraries/main", "local-user", "local-pass").status,
              404);
    EXPECT_EQ(dbNames(HttpProbe::get(second + "/tessel/libraries?type=0", "alice", md5).json()),
              QStringList({"remote"}));
    const auto entry = HttpProbe::get(second + "/tessel/libraries/remote", "alice", md5).json();
    EXPECT_EQ(entry.value("items").toArray()[0].toObject().value("address").toString(),
              "127.0.0.2");
}
