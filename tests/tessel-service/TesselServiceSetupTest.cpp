// Start-up of the stand-in service: registry files, package folders, seeds.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include "HttpProbe.h"
#include "TestSeeds.h"
#include "platform/PropertyList.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

namespace {

QVariantMap readPlist(const QString& path) {
    const auto value = PropertyList::readFile(path);
    return value ? value->toMap() : QVariantMap{};
}

QVariantMap entryFor(const QVariantMap& registry, const QString& dbName) {
    for (const QVariant& entry : registry.value("library").toList())
        if (entry.toMap().value("dbname") == dbName) return entry.toMap();
    return {};
}

}  // namespace

TEST(TesselServiceSetup, WritesRegistryFilesIntoTheGroupContainer) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard()});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    EXPECT_EQ(service.groupContainer(), home.groupContainer());
    const QString folder = home.groupContainer() + "/Tessel/Preference";

    EXPECT_EQ(readPlist(folder + "/preference.plist").value("PREF_SERVICE_PORT").toInt(),
              service.port());

    const QVariantMap local = readPlist(folder + "/localLibrary.plist");
    const QVariantMap main = entryFor(local, "main");
    EXPECT_EQ(main.value("name").toString(), "Main Library");
    EXPECT_EQ(main.value("desc").toString(), "the main one");
    EXPECT_EQ(main.value("type").toInt(), 0);
    EXPECT_EQ(main.value("address").toString(), "127.0.0.1");
    EXPECT_EQ(main.value("port").toInt(), service.port());
    EXPECT_TRUE(main.value("shared").toBool());
    EXPECT_EQ(main.value("packagefolder").toString(), service.packageFolder("main"));
    EXPECT_TRUE(entryFor(local, "remote").isEmpty());

    // A registry override drops "address" and adds a key, nothing else.
    const QVariantMap odd = entryFor(local, "odd");
    EXPECT_FALSE(odd.contains("address"));
    EXPECT_EQ(odd.value("extra").toString(), "x");
    EXPECT_EQ(odd.value("name").toString(), "Odd");

    const QVariantMap network = readPlist(folder + "/networkLibrary.plist");
    const QVariantMap remote = entryFor(network, "remote");
    EXPECT_EQ(remote.value("type").toInt(), 1);
    EXPECT_EQ(remote.value("mountpath").toString(), service.packageFolder("remote"));

    // The first user of a remembered network library, with the digest the
    // agent sends as it stands.
    const QVariantMap users = readPlist(folder + "/networkUsers.plist");
    EXPECT_EQ(users.value("remote").toMap().value("userid").toString(), "alice");
    EXPECT_EQ(users.value("remote").toMap().value("userpassword").toString(),
              TesselServiceProcess::md5("wonderland"));
    EXPECT_FALSE(users.contains("hidden"));
    EXPECT_FALSE(users.contains("main"));
}

TEST(TesselServiceSetup, CreatesEveryPackageWithTheLibraryLayout) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard()});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    for (const QString db : {"main", "remote", "hidden", "odd"}) {
        const QDir package(service.packageFolder(db));
        for (const QString sub :
             {"Project", "Media/Master", "Media/Thumbnail", "Media/Preview", "Workflow", "Extra"})
            EXPECT_TRUE(QFileInfo(package.filePath(sub)).isDir()) << qPrintable(db + "/" + sub);
        EXPECT_TRUE(QFileInfo::exists(package.filePath("Database/" + db))) << qPrintable(db);
        EXPECT_EQ(readPlist(package.filePath("library.plist")).value("dbname").toString(), db);
    }
    const QVariantList projects =
        readPlist(service.packageFolder("main") + "/Project/project.plist")
            .value("projects")
            .toList();
    ASSERT_EQ(projects.size(), 2);
    EXPECT_EQ(projects[0].toMap().value("group").toList()[0].toMap().value("id").toString(),
              "grp-a1");
}

TEST(TesselServiceSetup, NoRegistryLeavesTheGroupContainerAlone) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard(), .writeRegistry = false});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.groupContainer() + "/Tessel/Preference/preference.plist"));
    EXPECT_TRUE(QFileInfo::exists(service.packageFolder("main") + "/Database/main"));
}

TEST(TesselServiceSetup, RefusesBadSeedsWithAMessage) {
    TempHome home;
    const QList<QJsonObject> bad = {
        QJsonObject{},                                                       // no libraries
        QJsonObject{{"libraries", QJsonArray{QJsonObject{{"name", "x"}}}}},  // no dbname
        QJsonObject{{"libraries", QJsonArray{QJsonObject{{"dbname", "a/../b"}, {"name", "x"}}}}},
        QJsonObject{{"libraries", QJsonArray{QJsonObject{{"dbname", "a"}, {"name", "x"}},
                                             QJsonObject{{"dbname", "a"}, {"name", "y"}}}}},
        QJsonObject{
            {"libraries", QJsonArray{QJsonObject{
                              {"dbname", "a"},
                              {"name", "x"},
                              {"projects", QJsonArray{QJsonObject{{"id", "p"}, {"name", "P"}},
                                                      QJsonObject{{"id", "p"}, {"name", "Q"}}}}}}}},
    };
    for (const QJsonObject& seed : bad) {
        TesselServiceProcess service({.seed = seed, .startTimeoutMs = 10000});
        EXPECT_FALSE(service.start()) << QJsonDocument(seed).toJson().toStdString();
    }
}

// Qt's JSON reader stops at a nesting depth of 1024: a seed file nested far
// deeper must still load, and the answer must carry the whole chain.
TEST(TesselServiceSetup, ServesProjectTreesDeeperThanQtCanParse) {
    TempHome home;
    QTemporaryDir dir;
    const int depth = 3000;
    QByteArray seed =
        R"({"localuser":{"id":"u","password":"p"},"libraries":[{"dbname":"deep","name":"Deep","projects":[)";
    for (int level = 0; level <= depth; ++level)
        seed += "{\"id\":\"n" + QByteArray::number(level) + "\",\"name\":\"N\",\"group\":[";
    for (int level = 0; level <= depth; ++level) seed += "]}";
    seed += "]}]}";
    QFile file(dir.filePath("seed.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(seed);
    file.close();

    TesselServiceProcess service({.seedFile = file.fileName(), .deepTrees = {"deep:chain:10000"}});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    const auto answer =
        HttpProbe::get(service.baseUrl() + "/tessel/libraries/deep/projects", "u", "p");
    ASSERT_EQ(answer.status, 200);
    // One "group" list per node: the file's chain, the generated project and
    // its 10000 groups.
    EXPECT_EQ(answer.body.count("\"group\":["), depth + 1 + 1 + 10000);
    EXPECT_TRUE(answer.body.contains("\"id\":\"n3000\""));
    EXPECT_TRUE(answer.body.contains("\"id\":\"chain-10000\",\"name\":\"Level 10000\""));
    EXPECT_EQ(answer.body.count('['), answer.body.count(']'));
    EXPECT_TRUE(answer.body.endsWith("]}]}]}"));
}

TEST(TesselServiceSetup, RunsUnderTheCompanionApplicationsName) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard(), .asCorvane = true});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    QFile comm(QStringLiteral("/proc/%1/comm").arg(service.processId()));
    ASSERT_TRUE(comm.open(QIODevice::ReadOnly));
    EXPECT_EQ(comm.readAll().trimmed(), "corvane");
    EXPECT_EQ(HttpProbe::get(service.baseUrl() + "/tessel/system?id=1").status, 200);
}

// Names reach the answers exactly, whatever JSON or XML would make of them.
TEST(TesselServiceSetup, NamesWithQuotesControlCharactersAndMarkupSurvive) {
    TempHome home;
    const QString name =
        QString::fromUtf8("Caf\xc3\xa9 \"cut\" <b>&amp;</b>\ttab\\n \xf0\x9f\x8e\xac");
    const QJsonObject seed{
        {"localuser", QJsonObject{{"id", "u"}, {"password", "p"}}},
        {"libraries",
         QJsonArray{QJsonObject{
             {"dbname", "lib"},
             {"name", name},
             {"projects",
              QJsonArray{QJsonObject{{"id", "p\"1"},
                                     {"name", name},
                                     {"group", QJsonArray{QJsonObject{{"name", name}}}}}}}}}}};
    TesselServiceProcess service({.seed = seed});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    const QString url = service.baseUrl() + "/tessel/libraries/lib/projects";
    const QJsonObject project =
        HttpProbe::get(url, "u", "p").json().value("projects")[0].toObject();
    EXPECT_EQ(project.value("id").toString(), "p\"1");
    EXPECT_EQ(project.value("name").toString(), name);
    EXPECT_EQ(project.value("group")[0].toObject().value("name").toString(), name);

    ASSERT_TRUE(service.setFault("projects", "plist"));
    const auto plist = PropertyList::read(HttpProbe::get(url, "u", "p").body);
    ASSERT_TRUE(plist.has_value());
    EXPECT_EQ(plist->toMap().value("projects").toList()[0].toMap().value("name").toString(), name);
    const QVariantMap local =
        readPlist(home.groupContainer() + "/Tessel/Preference/localLibrary.plist");
    EXPECT_EQ(entryFor(local, "lib").value("name").toString(), name);
}

// A test that dies without stopping its service must not leave it running:
// the service ends when its standard input closes.
TEST(TesselServiceSetup, StopsWhenItsParentGoesAway) {
    TempHome home;
    QTemporaryDir dir;
    QFile seed(dir.filePath("seed.json"));
    ASSERT_TRUE(seed.open(QIODevice::WriteOnly));
    seed.write(QJsonDocument(TestSeeds::standard()).toJson());
    seed.close();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(RELAYDOCK_BIN_DIR "/tessel-service",
                  {"--data", dir.filePath("data"), "--seed", seed.fileName(), "--no-registry",
                   "--exit-on-stdin-eof"});
    ASSERT_TRUE(process.waitForReadyRead(15000));
    EXPECT_TRUE(process.readLine().startsWith("listening on 127.0.0.1:"));
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(15000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}
