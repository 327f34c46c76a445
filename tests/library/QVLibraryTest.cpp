#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "LibraryFixtures.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "support/TempHome.h"

using LibraryFixtures::libraryEntry;
using LibraryFixtures::node;

TEST(QVLibraryTest, RecordFromDictionaryReadsEveryField) {
    TempHome home;
    const QString package = home.path() + "/Main.library";
    QDir().mkpath(package);
    QVariantMap entry = libraryEntry("db1", "Main", 0, package, "10.1.2.3", 9000);
    entry.insert("desc", "About");
    entry.insert("mountpath", "/mnt/main");
    entry.insert("shared", 1);
    auto library = QVLibrary::libraryWithDictionary(entry);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->dbName(), "db1");
    EXPECT_EQ(library->name(), "Main");
    EXPECT_EQ(library->desc(), "About");
    EXPECT_EQ(library->packageFolder(), package);
    EXPECT_EQ(library->mountPath(), "/mnt/main");
    EXPECT_EQ(library->libraryType(), 0);
    EXPECT_TRUE(library->isShared());
    EXPECT_TRUE(library->onlineStatus());  // local and the package exists
    EXPECT_EQ(library->connection()->address(), "10.1.2.3");
    EXPECT_EQ(library->connection()->port(), 9000);
    EXPECT_TRUE(library->connection()->userID().isNull());
    EXPECT_TRUE(library->isLocalLibrary());
    EXPECT_EQ(library->libraryTypeString(), "Local Library");
    EXPECT_EQ(library->icon(), "librarybar.local");
    EXPECT_TRUE(library->projects().isEmpty());
}

TEST(QVLibraryTest, DictionaryEdgeCases) {
    QVariantMap noAddress = libraryEntry("db", "n", 0, "/p");
    noAddress.remove("address");
    EXPECT_FALSE(QVLibrary::libraryWithDictionary(noAddress));
    for (const char* key : {"dbname", "name", "packagefolder"}) {
        QVariantMap entry = libraryEntry("db", "n", 0, "/p");
        entry.remove(key);
        EXPECT_FALSE(QVLibrary::libraryWithDictionary(entry)) << key;
    }
    EXPECT_FALSE(QVLibrary::libraryWithDictionary(QVariant()));

    QVariantMap noShared = libraryEntry("db", "n", 1, "/p");
    noShared.remove("shared");
    EXPECT_TRUE(QVLibrary::libraryWithDictionary(noShared)->isShared());  // -1 is non-zero

    QVariantMap noPort = libraryEntry("db", "n", 1, "/p");
    noPort.remove("port");
    EXPECT_EQ(QVLibrary::libraryWithDictionary(noPort)->connection()->port(), -1);

    for (qint64 type : {qint64(2), qint64(-1)}) {
        auto odd = QVLibrary::libraryWithDictionary(libraryEntry("db", "n", type, "/"));
        ASSERT_TRUE(odd);
        EXPECT_EQ(odd->libraryType(), type);
        EXPECT_EQ(odd->libraryTypeString(), "");
        EXPECT_EQ(odd->icon(), "librarybar.network");
        EXPECT_FALSE(odd->onlineStatus());  // "/" exists, but only local records look
        EXPECT_FALSE(odd->isLocalLibrary());
    }
    auto network = QVLibrary::libraryWithDictionary(libraryEntry("db", "n", 1, "/"));
    EXPECT_EQ(network->libraryTypeString(), "Network Library");
    EXPECT_FALSE(network->onlineStatus());

    QVLog::Capture log;
    EXPECT_FALSE(QVLibrary::libraryWithDictionary(QVariantList{1, 2}));
    EXPECT_FALSE(QVLibrary::libraryWithDictionary(QString("entry")));
    EXPECT_TRUE(log.contains("libraryWithDictionary exception:"));
}

TEST(QVLibraryTest, LibDictionaryWritesNineKeysAndRefusesMissingValues) {
    auto library = QVLibrary::libraryWithDictionary(libraryEntry("db", "Name", 1, "/pkg", "h", 5));
    const auto dictionary = library->libDictionary();
    ASSERT_TRUE(dictionary);
    EXPECT_EQ(*dictionary, (QVariantMap{{"dbname", "db"},
                                        {"name", "Name"},
                                        {"desc", ""},
                                        {"packagefolder", "/pkg"},
                                        {"mountpath", ""},
                                        {"type", 1},
                                        {"address", "h"},
                                        {"port", 5},
                                        {"shared", false}}));
    EXPECT_EQ(dictionary->value("shared").typeId(), QMetaType::Bool);
    // The dictionary form reads back into an equal record.
    auto again = QVLibrary::libraryWithDictionary(*dictionary);
    EXPECT_EQ(*again->libDictionary(), *dictionary);
    EXPECT_TRUE(library->description().contains("dbname = db;"));

    auto made = QVLibrary::libraryWithName("N", QString(), 0, false, "/pkg", QString(),
                                           QVConnection::connectionWithAddress("a", 1, {}, {}));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->dbName().size(), 36);  // a fresh UUID
    EXPECT_FALSE(made->onlineStatus());
    EXPECT_FALSE(QVLibrary::libraryWithName("N", {}, 0, false, "/pkg", {}, nullptr));
    EXPECT_FALSE(QVLibrary::libraryWithName({}, {}, 0, false, "/pkg", {},
                                            QVConnection::connectionWithAddress("a", 1, {}, {})));

    QVLog::Capture log;
    made->connection()->setAddress(QString());
    EXPECT_FALSE(made->libDictionary());
    EXPECT_TRUE(log.contains("libDictionary exception: "));
}

TEST(QVLibraryTest, DescriptionStringRules) {
    auto library = QVLibrary::libraryWithDictionary(libraryEntry("db", "n", 0, "/pkg"));
    EXPECT_EQ(library->descriptionString(), "/pkg");
    library->connection()->setUserID("user");
    EXPECT_EQ(library->descriptionString(), "/pkg");  // corvane://user@... has no "tessel"
    library->connection()->setUserID("tesseluser");
    EXPECT_EQ(library->descriptionString(), "corvane://tesseluser@127.0.0.1:7662");
    library->setDesc("");
    EXPECT_EQ(library->descriptionString(), "corvane://tesseluser@127.0.0.1:7662");
    library->setDesc("Words");
    EXPECT_EQ(library->descriptionString(), "Words");

    auto network = QVLibrary::libraryWithDictionary(libraryEntry("nb", "n", 1, "/pkg"));
    EXPECT_EQ(network->descriptionString(), "Network Library");
    auto odd = QVLibrary::libraryWithDictionary(libraryEntry("ob", "n", 5, "/pkg"));
    EXPECT_EQ(odd->descriptionString(), "");
}

TEST(QVLibraryTest, MountedAndWritableFollowTheDatabaseFolder) {
    TempHome home;
    const QString package = home.path() + "/L.library";
    QDir().mkpath(package);
    auto local = QVLibrary::libraryWithDictionary(libraryEntry("ldb", "L", 0, package));
    EXPECT_FALSE(local->isMountedLibrary());  // no Database/ldb yet
    EXPECT_FALSE(local->isWritableLibrary());
    QDir().mkpath(package + "/Database/ldb");
    EXPECT_TRUE(QVLibrary::isMountedPath(package, "ldb"));
    EXPECT_TRUE(QVLibrary::isMountedPath(package + "/", "ldb"));
    EXPECT_FALSE(QVLibrary::isMountedPath(package, "other"));
    EXPECT_FALSE(QVLibrary::isMountedPath(QString(), "ldb"));
    EXPECT_TRUE(local->isMountedLibrary());
    EXPECT_TRUE(local->isWritableLibrary());
    local->setOnlineStatus(false);
    EXPECT_FALSE(local->isWritableLibrary());

    // Any other type is judged at its mount path, not its package folder.
    const QString mount = home.path() + "/mnt";
    QDir().mkpath(mount + "/Database/ndb");
    QVariantMap entry = libraryEntry("ndb", "N", 2, package);
    entry.insert("mountpath", mount);
    auto other = QVLibrary::libraryWithDictionary(entry);
    EXPECT_TRUE(other->isMountedLibrary());
    EXPECT_FALSE(other->isWritableLibrary());  // offline
    other->setOnlineStatus(true);
    EXPECT_TRUE(other->isWritableLibrary());
    other->setMountPath(QString());
    EXPECT_FALSE(other->isMountedLibrary());
}

TEST(QVLibraryTest, ProjectLookupsPreferTopLevelProjects) {
    auto library = QVLibrary::libraryWithDictionary(libraryEntry("lib", "L", 0, "/x"));
    const QVariantMap first = node("p1", "One", 0, {node("dup", "deep", 1, {node("g", "g", 1)})});
    const QVariantMap second = node("dup", "Two", 0);
    QVProjectList projects;
    for (const QVariantMap& object : {first, second}) {
        auto project = QVProject::projectWithDictionary(object);
        project->setLibrary(library);
        project->setRootProject(project);
        library->loadGroupsWithParent(object, project, project);
        projects.append(project);
    }
    library->setProjects(projects);
    EXPECT_EQ(library->projectWithID("dup"), projects[1]);
    EXPECT_EQ(library->projectWithID("g")->pathString(), "One/deep/g");
    EXPECT_FALSE(library->projectWithID("none"));
    EXPECT_EQ(library->indexOfProject(QVProject::projectWithID("dup", "x", "lib", 0)), 1);
    EXPECT_EQ(library->indexOfProject(QVProject::projectWithID("g", "x", "lib", 0)), -1);
    EXPECT_TRUE(library->isExistNameInProjects("Two"));
    EXPECT_FALSE(library->isExistNameInProjects("deep"));
    EXPECT_TRUE(library->findLibrary(QVariantMap{{"lib", 1}}));
    EXPECT_FALSE(library->findLibrary(QVariantMap{{"other", 1}}));
}

TEST(QVLibraryTest, GroupsWriteBackInTheShapeTheyWereRead) {
    auto library = QVLibrary::libraryWithDictionary(libraryEntry("lib", "L", 0, "/x"));
    const QVariantList groups{node("a", "A", 1, {node("a1", "A1", 1), node("a2", "A2", 1)}),
                              node("b", "B", 1)};
    const QVariantMap object = node("p", "P", 0, groups);
    auto project = QVProject::projectWithDictionary(object);
    library->loadGroupsWithParent(object, project, project);
    QVariantMap written = *project->projectDictionary();
    QVLibrary::loadGroupWithProject(project, written);
    EXPECT_EQ(written, object);

    QVariantMap leafDictionary{{"keep", 1}};
    QVLibrary::loadGroupWithProject(project->childGroups()[1], leafDictionary);
    EXPECT_EQ(leafDictionary, (QVariantMap{{"keep", 1}}));  // no children, no "group"
}

TEST(QVLibraryTest, IndexIsThePositionInTheRegistry) {
    auto& manager = QVLibraryManager::sharedManager();
    const QVLibraryList saved = manager.libraries();
    auto a = QVLibrary::libraryWithDictionary(libraryEntry("a", "A", 0, "/x"));
    auto b = QVLibrary::libraryWithDictionary(libraryEntry("b", "B", 0, "/x"));
    auto twin = QVLibrary::libraryWithDictionary(libraryEntry("b", "B", 0, "/x"));
    manager.setLibraries({a, b});
    EXPECT_EQ(a->index(), 0);
    EXPECT_EQ(b->index(), 1);
    EXPECT_EQ(twin->index(), -1);  // identity, not dbName
    manager.setLibraries(saved);
}
