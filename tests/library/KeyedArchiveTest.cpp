#include <gtest/gtest.h>

#include "LibraryFixtures.h"
#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "service/QVConnection.h"

using LibraryFixtures::node;

namespace {

std::shared_ptr<QVLibrary> libraryWithTree() {
    QVariantMap entry = LibraryFixtures::libraryEntry("lib", "Library", 1, "/pkg", "host", 81);
    entry.insert("mountpath", "/mnt/lib");
    entry.insert("shared", true);
    auto library = QVLibrary::libraryWithDictionary(entry);
    library->connection()->setUserID("user");
    library->connection()->setPassword("5EBE2294ECD0E0F08EAB7690D2A6EE69");
    library->setOnlineStatus(true);
    const QVariantMap object = node("p", "P", 0, {node("g", "G", 1, {node("h", "H", 1)})});
    auto project = QVProject::projectWithDictionary(object);
    project->setLibrary(library);
    project->setRootProject(project);
    library->loadGroupsWithParent(object, project, project);
    library->setProjects({project, QVProject::projectWithID("q", "Q", "lib", 0)});
    return library;
}

}  // namespace

TEST(KeyedArchiveTest, LibraryRoundTripKeepsFieldsTreeAndBackReferences) {
    auto library = libraryWithTree();
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(library);
    // The connection, and so the password, stays out of the archive.
    EXPECT_FALSE(data.contains("5EBE2294ECD0E0F08EAB7690D2A6EE69"));
    EXPECT_FALSE(data.contains("host"));
    QString error;
    auto decoded = KeyedUnarchiver::unarchivedObjectOfClass<QVLibrary>(data, &error);
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_FALSE(decoded->connection());
    EXPECT_EQ(decoded->dbName(), "lib");
    EXPECT_EQ(decoded->packageFolder(), "/pkg");
    EXPECT_EQ(decoded->mountPath(), "/mnt/lib");
    EXPECT_EQ(decoded->libraryType(), 1);
    EXPECT_TRUE(decoded->isShared());
    EXPECT_TRUE(decoded->onlineStatus());
    EXPECT_TRUE(decoded->desc().isNull());  // absent stays absent

    const QVProjectList projects = decoded->projects();
    ASSERT_EQ(projects.size(), 2);
    auto project = projects[0];
    auto group = project->childGroups().value(0);
    ASSERT_TRUE(group);
    auto leaf = group->childGroups().value(0);
    ASSERT_TRUE(leaf);
    EXPECT_EQ(leaf->id(), "h");
    EXPECT_EQ(leaf->dbName(), "lib");
    EXPECT_EQ(leaf->projectType(), 1);
    EXPECT_EQ(leaf->parent(), group);
    EXPECT_EQ(leaf->rootProject(), project);
    EXPECT_EQ(project->rootProject(), project);
    EXPECT_EQ(leaf->library(), decoded);
    EXPECT_EQ(leaf->level(), 0);  // depth is not archived
    EXPECT_EQ(leaf->pathString(), "P/G/H");
}

TEST(KeyedArchiveTest, ArchiveUsesFieldNamesAndSharesObjects) {
    auto library = libraryWithTree();
    const QVariantMap archive = KeyedArchiver::archivedRootObject(library);
    const QVariantList objects = archive.value("$objects").toList();
    // One entry per object however often it is referenced: the library and
    // four nodes.
    EXPECT_EQ(objects.size(), 5);
    const QVariantMap root = objects[0].toMap();
    EXPECT_EQ(root.value("$class"), "QVLibrary");
    for (const char* key : {"libraryType", "isShared", "onlineStatus", "dbName", "name",
                            "packageFolder", "mountPath", "projects"})
        EXPECT_TRUE(root.contains(key)) << key;
    EXPECT_FALSE(root.contains("connection"));
    const QVariantMap project = objects[1].toMap();
    for (const char* key :
         {"library", "rootProject", "id", "name", "dbName", "childGroups", "projectType"})
        EXPECT_TRUE(project.contains(key)) << key;
    EXPECT_FALSE(project.contains("level"));
    EXPECT_FALSE(project.contains("parent"));  // a top-level project has none
}

TEST(KeyedArchiveTest, ArchivesThatStillHoldAConnectionDecodeWithoutIt) {
    QVariantMap archive = KeyedArchiver::archivedRootObject(libraryWithTree());
    QVariantList objects = archive.value("$objects").toList();
    QVariantMap root = objects[0].toMap();
    root.insert("connection", QVariantMap{{"address", "host"},
                                          {"port", 81},
                                          {"userID", "user"},
                                          {"password", "5EBE2294ECD0E0F08EAB7690D2A6EE69"}});
    objects[0] = root;
    archive.insert("$objects", objects);
    QString error;
    auto decoded =
        std::dynamic_pointer_cast<QVLibrary>(KeyedUnarchiver::unarchiveRootObject(archive, &error));
    ASSERT_TRUE(decoded) << error.toStdString();
    EXPECT_EQ(decoded->name(), "Library");
    EXPECT_EQ(decoded->projects().size(), 2);
    EXPECT_FALSE(decoded->connection());
}

TEST(KeyedArchiveTest, MalformedArchivesFailCleanly) {
    QString error;
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData("not a plist", &error));
    EXPECT_FALSE(error.isEmpty());

    error.clear();
    QVariantMap unknown{{"$top", 0}, {"$objects", QVariantList{QVariantMap{{"$class", "Nope"}}}}};
    EXPECT_FALSE(KeyedUnarchiver::unarchiveRootObject(unknown, &error));
    EXPECT_TRUE(error.contains("Nope"));

    QVariantMap outOfRange{{"$top", 3},
                           {"$objects", QVariantList{QVariantMap{{"$class", "QVProject"}}}}};
    EXPECT_FALSE(KeyedUnarchiver::unarchiveRootObject(outOfRange));

    // References to missing objects decode as null; wrong kinds are ignored.
    QVariantMap dangling{
        {"$top", 0},
        {"$objects", QVariantList{QVariantMap{{"$class", "QVProject"},
                                              {"id", 5},
                                              {"name", "n"},
                                              {"parent", QVariantMap{{"$uid", 9}}},
                                              {"childGroups", QVariantList{"x", QVariantMap{}}}}}}};
    auto project =
        std::dynamic_pointer_cast<QVProject>(KeyedUnarchiver::unarchiveRootObject(dangling));
    ASSERT_TRUE(project);
    EXPECT_TRUE(project->id().isNull());
    EXPECT_EQ(project->name(), "n");
    EXPECT_FALSE(project->parent());
    EXPECT_TRUE(project->childGroups().isEmpty());

    // A library asked for where a project was archived is refused.
    auto lone = QVProject::projectWithID("a", "b", "c", 0);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<QVLibrary>(
        KeyedArchiver::archivedDataWithRootObject(lone)));
    EXPECT_FALSE(KeyedUnarchiver::unarchiveObjectWithData(
        KeyedArchiver::archivedDataWithRootObject(nullptr)));
}
