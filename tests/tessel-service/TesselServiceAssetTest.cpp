// Upload location, create, upload complete, update, access and read-back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "HttpProbe.h"
#include "TestSeeds.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

namespace {

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("movie") == 5;
}

QByteArray items(const QJsonObject& item) {
    return QJsonDocument(QJsonObject{{"items", QJsonArray{item}}}).toJson();
}

class TesselServiceAssets : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.start()) << service.errorString().toStdString(); }

    HttpProbe::Result call(const QString& what, const QByteArray& body) {
        return HttpProbe::post(service.baseUrl() + "/tessel/libraries/main/assets/" + what, body,
                               "local-user", "local-pass");
    }
    // Asks for the upload location and puts a file there, as the editor would.
    QJsonObject insideLibraryAsset(const QString& fileName) {
        const QJsonObject location =
            HttpProbe::get(service.baseUrl() + "/tessel/libraries/main/assets/upload", "local-user",
                           "local-pass")
                .json();
        const QString master = location.value("mediapath").toString() + "/" + fileName;
        EXPECT_TRUE(touch(service.packageFolder("main") + "/" + master));
        return QJsonObject{
            {"name", fileName},     {"project", "proj-a"},
            {"group", "grp-a2"},    {"importtype", 1},
            {"masterpath", master}, {"fcpx", QJsonObject{{"com_apple_proapps_share_id", "42"}}}};
    }

    TempHome home;
    TesselServiceProcess service{{.seed = TestSeeds::standard()}};
};

}  // namespace

TEST_F(TesselServiceAssets, UploadLocationNamesAnExistingFolderInsideTheLibrary) {
    const QJsonObject location =
        HttpProbe::get(service.baseUrl() + "/tessel/libraries/main/assets/upload", "local-user",
                       "local-pass")
            .json();
    EXPECT_EQ(location.value("error").toInt(-1), 0);
    EXPECT_EQ(location.value("dbname").toString(), "main");
    EXPECT_TRUE(location.value("mediapath").toString().startsWith("Media/Master/"));
    EXPECT_FALSE(location.value("path").toString().isEmpty());
    EXPECT_FALSE(location.value("url").toString().isEmpty());
    EXPECT_TRUE(
        QFileInfo(service.packageFolder("main") + "/" + location.value("mediapath").toString())
            .isDir());
}

TEST_F(TesselServiceAssets, CreateCompleteAndUpdateAreReadBackWithAllFields) {
    const QJsonObject fields = insideLibraryAsset("clip.mov");
    const auto created = call("create", items(fields));
    ASSERT_EQ(created.json().value("error").toInt(-1), 0) << created.body.toStdString();
    const QString id =
        created.json().value("items").toArray()[0].toObject().value("_id").toString();
    ASSERT_FALSE(id.isEmpty());

    QJsonArray stored = service.assets("main");
    ASSERT_EQ(stored.size(), 1);
    QJsonObject asset = stored[0].toObject();
    EXPECT_EQ(asset.value("_id").toString(), id);
    EXPECT_FALSE(asset.value("_completed").toBool(true));
    EXPECT_EQ(asset.value("masterpath"), fields.value("masterpath"));
    EXPECT_EQ(asset.value("fcpx"), fields.value("fcpx"));
    EXPECT_EQ(asset.value("group").toString(), "grp-a2");

    EXPECT_EQ(call("upload", items({{"_id", id}})).json().value("error").toInt(-1), 0);
    EXPECT_TRUE(service.assets("main")[0].toObject().value("_completed").toBool());

    const auto updated =
        call("update", items({{"_id", id}, {"name", "renamed"}, {"tags", QJsonArray{"a"}}}));
    EXPECT_EQ(updated.json().value("error").toInt(-1), 0);
    asset = service.assets("main")[0].toObject();
    EXPECT_EQ(asset.value("name").toString(), "renamed");
    EXPECT_EQ(asset.value("tags").toArray(), QJsonArray{"a"});
    EXPECT_EQ(asset.value("masterpath"), fields.value("masterpath"));  // merged, not replaced
    EXPECT_TRUE(asset.value("_completed").toBool());
    EXPECT_TRUE(service.assets("remote").isEmpty());
}

TEST_F(TesselServiceAssets, CreateRefusesAnAbsentFileAndKeepsNothing) {
    QJsonObject inside = insideLibraryAsset("present.mov");
    inside.insert("masterpath", inside.value("masterpath").toString().replace("present", "absent"));
    EXPECT_EQ(call("create", items(inside)).json().value("error").toInt(), 7);

    QJsonObject outside{{"name", "x"},
                        {"project", "proj-b"},
                        {"group", ""},
                        {"importtype", 0},
                        {"importfrompath", "/nonexistent/folder/x.mov"}};
    EXPECT_EQ(call("create", items(outside)).json().value("error").toInt(), 7);

    // One good and one bad item: nothing is stored.
    const QByteArray mixed =
        QJsonDocument(QJsonObject{{"items", QJsonArray{insideLibraryAsset("good.mov"), inside}}})
            .toJson();
    EXPECT_NE(call("create", mixed).json().value("error").toInt(), 0);
    EXPECT_TRUE(service.assets("main").isEmpty());
}

TEST_F(TesselServiceAssets, CreateAcceptsAFileOutsideTheLibraryByItsImportPath) {
    QTemporaryDir folder;
    ASSERT_TRUE(touch(folder.filePath("out.mov")));
    const QJsonObject fields{{"name", "out"},
                             {"project", "proj-b"},
                             {"group", "grp-b1"},
                             {"importtype", 0},
                             {"importfrompath", folder.filePath("out.mov")}};
    const auto created = call("create", items(fields));
    ASSERT_EQ(created.json().value("error").toInt(-1), 0) << created.body.toStdString();
    const QString id =
        created.json().value("items").toArray()[0].toObject().value("_id").toString();
    // Completing needs the file still in place.
    QFile::remove(folder.filePath("out.mov"));
    EXPECT_EQ(call("upload", items({{"_id", id}})).json().value("error").toInt(), 7);
    EXPECT_FALSE(service.assets("main")[0].toObject().value("_completed").toBool(true));
}

TEST_F(TesselServiceAssets, CreateChecksProjectGroupAndPaths) {
    const QJsonObject good = insideLibraryAsset("clip.mov");
    auto with = [&](const QString& key, const QJsonValue& value) {
        QJsonObject item = good;
        item.insert(key, value);
        return call("create", items(item)).json().value("error").toInt();
    };
    EXPECT_EQ(with("project", "nosuch"), 5);
    EXPECT_EQ(with("project", "grp-a1"), 5);  // a group is not a project
    EXPECT_EQ(with("group", "grp-b1"), 6);    // group of another project
    EXPECT_EQ(with("group", "nosuch"), 6);
    EXPECT_EQ(with("masterpath", "../../../../etc/passwd"), 4);
    EXPECT_EQ(with("importtype", 2), 4);
    EXPECT_EQ(with("name", ""), 4);
    EXPECT_EQ(call("create", "not json").json().value("error").toInt(), 4);
    EXPECT_EQ(call("create", R"({"items":[]})").json().value("error").toInt(), 4);
    EXPECT_TRUE(service.assets("main").isEmpty());
    EXPECT_EQ(with("group", ""), 0);
}

TEST_F(TesselServiceAssets, CompleteAndUpdateOfUnknownAssetsFail) {
    EXPECT_EQ(
        call("upload", items({{"_id", "0123456789abcdef01234567"}})).json().value("error").toInt(),
        8);
    EXPECT_EQ(call("update", items({{"_id", "0123456789abcdef01234567"}, {"name", "n"}}))
                  .json()
                  .value("error")
                  .toInt(),
              8);
    EXPECT_EQ(call("upload", items({{"name", "no id"}})).json().value("error").toInt(), 4);
}

TEST_F(TesselServiceAssets, AccessReportsThePathsTheServiceCannotReach) {
    QTemporaryDir folder;
    const QByteArray body =
        QJsonDocument(QJsonObject{{"items", QJsonArray{QJsonObject{{"path", folder.path()}},
                                                       QJsonObject{{"path", "/nonexistent/place"}},
                                                       QJsonObject{{"path", "relative/place"}},
                                                       QJsonObject{{"nopath", 1}}}}})
            .toJson();
    const QJsonObject json = call("access", body).json();
    EXPECT_EQ(json.value("error").toInt(-1), 0);
    QStringList failed;
    for (const QJsonValue& failure : json.value("failures").toArray())
        failed.append(failure.toObject().value("path").toString());
    EXPECT_EQ(failed, QStringList({"/nonexistent/place", "relative/place"}));
}
