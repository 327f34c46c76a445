#include <gtest/gtest.h>

#include "LibraryFixtures.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "support/TempHome.h"

using LibraryFixtures::node;

namespace {

std::shared_ptr<QVLibrary> makeLibrary() {
    return QVLibrary::libraryWithDictionary(
        LibraryFixtures::libraryEntry("lib", "Library", 0, "/nonexistent/lib"));
}

// P { A { A1 { x }, A2 }, B }, built through the library's tree builder.
std::shared_ptr<QVProject> sampleTree(const std::shared_ptr<QVLibrary>& library) {
    const QVariantMap object =
        node("P", "P", 0,
             {node("A", "A", 1, {node("A1", "A1", 1, {node("x", "x", 1)}), node("A2", "A2", 1)}),
              node("B", "B", 1)});
    auto project = QVProject::projectWithDictionary(object);
    project->setLibrary(library);
    project->setRootProject(project);
    library->loadGroupsWithParent(object, project, project);
    return project;
}

}  // namespace

TEST(QVProjectTest, DictionaryFormsReadTolerantlyAndRefuseMissingStrings) {
    auto project = QVProject::projectWithDictionary(
        QVariantMap{{"id", "p1"}, {"name", "One"}, {"dbname", "lib"}, {"type", "1"}});
    ASSERT_TRUE(project);
    EXPECT_EQ(project->projectType(), 1);
    EXPECT_EQ(project->level(), 0);
    EXPECT_EQ(*project->projectDictionary(),
              (QVariantMap{{"id", "p1"}, {"name", "One"}, {"dbname", "lib"}, {"type", 1}}));

    auto typeless = QVProject::projectWithDictionary(
        QVariantMap{{"id", "p2"}, {"name", "Two"}, {"dbname", "lib"}});
    ASSERT_TRUE(typeless);
    EXPECT_EQ(typeless->projectType(), -1);

    // A number where a string belongs counts as absent.
    EXPECT_FALSE(
        QVProject::projectWithDictionary(QVariantMap{{"id", 7}, {"name", "x"}, {"dbname", "lib"}}));
    EXPECT_FALSE(QVProject::projectWithDictionary(QVariantMap{{"id", "x"}, {"name", "x"}}));
    EXPECT_FALSE(QVProject::projectWithDictionary(QVariantList{QVariantMap{}}));
    EXPECT_FALSE(QVProject::projectWithID("a", QString(), "db", 0));

    auto fresh = QVProject::projectWithName("N", "db", 1);
    auto other = QVProject::projectWithName("N", "db", 1);
    ASSERT_TRUE(fresh && other);
    EXPECT_FALSE(fresh->id().isEmpty());
    EXPECT_NE(fresh->id(), other->id());

    QVLog::Capture log;
    QVProject blank;
    blank.setId("only-id");
    EXPECT_FALSE(blank.projectDictionary());
    EXPECT_TRUE(log.contains("libDictionary exception: "));
    EXPECT_TRUE(project->description().contains("name = One;"));
}

TEST(QVProjectTest, TreeBuildingSetsLevelsRootsParentsAndLibrary) {
    auto library = makeLibrary();
    auto project = sampleTree(library);
    ASSERT_EQ(project->childGroups().size(), 2);
    auto a = project->childGroups()[0];
    auto a1 = a->childGroups()[0];
    auto x = a1->childGroups()[0];
    EXPECT_EQ(a->name(), "A");
    EXPECT_EQ(project->childGroups()[1]->name(), "B");
    EXPECT_EQ(a1->level(), 2);
    EXPECT_EQ(x->level(), 3);
    EXPECT_EQ(x->rootProject(), project);
    EXPECT_EQ(x->parent(), a1);
    EXPECT_EQ(a->parent(), project);
    EXPECT_EQ(x->library(), library);
    EXPECT_FALSE(project->parent());
    EXPECT_EQ(project->rootProject(), project);
}

TEST(QVProjectTest, BrokenEntriesAreSkippedWithTheirSubtrees) {
    auto library = makeLibrary();
    QVariantMap broken = node("bad", "bad", 1, {node("under-bad", "u", 1)});
    broken.remove("dbname");
    QVariantMap object = node("P", "P", 0, {broken, node("ok", "ok", 1)});
    auto project = QVProject::projectWithDictionary(object);
    library->loadGroupsWithParent(object, project, project);
    ASSERT_EQ(project->childGroups().size(), 1);
    EXPECT_EQ(project->childGroups()[0]->id(), "ok");
    EXPECT_FALSE(project->groupWithID("under-bad"));

    // A "group" value that is not a list counts as none.
    QVariantMap odd = node("Q", "Q", 0);
    odd.insert("group", node("g", "g", 1));
    auto q = QVProject::projectWithDictionary(odd);
    library->loadGroupsWithParent(odd, q, q);
    EXPECT_TRUE(q->childGroups().isEmpty());
}

TEST(QVProjectTest, LookupsCountsAndPaths) {
    auto library = makeLibrary();
    auto project = sampleTree(library);
    auto a = project->childGroups()[0];
    auto a1 = a->childGroups()[0];

    EXPECT_EQ(project->groupWithID("P"), project);
    EXPECT_EQ(project->groupWithID("x"), a1->childGroups()[0]);
    EXPECT_FALSE(project->groupWithID("missing"));

    std::shared_ptr<QVProject> found = project;  // an occupied slot is left alone
    QVProject::findGroupWithID("A2", project, &found);
    EXPECT_EQ(found, project);

    auto sameID = QVProject::projectWithID("B", "other", "lib", 1);
    EXPECT_EQ(project->indexOfGroup(sameID), 1);
    EXPECT_EQ(project->indexOfGroup(QVProject::projectWithID("z", "z", "lib", 1)), -1);

    EXPECT_TRUE(project->isExistNameInChildGroups("B"));
    EXPECT_FALSE(project->isExistNameInChildGroups("A1"));
    EXPECT_TRUE(project->isExistNameInChildGroups("A1", a));
    EXPECT_FALSE(a->isExistNameInChildGroups("B", a));

    EXPECT_EQ(project->descendantCount(), 5);
    EXPECT_EQ(a->descendantCount(), 3);
    EXPECT_EQ(a1->childGroups()[0]->descendantCount(), 0);

    EXPECT_EQ(project->pathString(), "P");
    EXPECT_EQ(a1->childGroups()[0]->pathString(), "P/A/A1/x");
    EXPECT_EQ(QVProject::parentPath(a, "tail"), "P/A/tail");

    EXPECT_EQ(QVProject::findProjectWithGroup(a1), project);
    EXPECT_EQ(QVProject::findProjectWithGroup(project), project);
    EXPECT_FALSE(QVProject::findProjectWithGroup(nullptr));
    a->setProjectType(-1);  // type-less groups have no top-level project
    EXPECT_FALSE(QVProject::findProjectWithGroup(a1));
}

TEST(QVProjectTest, PreOrderLookupPrefersShallowerBranchOrder) {
    // P { A { dup }, dup } : pre-order meets A's child first.
    auto library = makeLibrary();
    QVariantMap object =
        node("P", "P", 0, {node("A", "A", 1, {node("dup", "deep", 1)}), node("dup", "near", 1)});
    auto project = QVProject::projectWithDictionary(object);
    library->loadGroupsWithParent(object, project, project);
    EXPECT_EQ(project->groupWithID("dup")->name(), "deep");
}

TEST(QVProjectTest, HandWiredCyclesDoNotLoop) {
    auto a = QVProject::projectWithID("a", "a", "lib", 1);
    auto b = QVProject::projectWithID("b", "b", "lib", 1);
    a->addChildGroup(b);
    b->addChildGroup(a);
    b->setParent(a);
    a->setParent(b);
    EXPECT_EQ(a->descendantCount(), 1);
    EXPECT_FALSE(a->groupWithID("zzz"));
    EXPECT_EQ(a->pathString(), "a/b/a");  // each ancestor named once
    EXPECT_FALSE(QVProject::findProjectWithGroup(a));
    QVariantMap dictionary;
    QVLibrary::loadGroupWithProject(a, dictionary);
    EXPECT_EQ(dictionary.value("group").toList().size(), 1);
    b->setChildGroups({});  // break the cycle so both are freed
}

TEST(QVProjectTest, AccessCheckWithoutServiceOrCredentialsReportsParameterError) {
    TempHome home;
    auto library = makeLibrary();
    auto project = sampleTree(library);
    int calls = 0;
    project->accessibilityForReferenceFilePaths(
        {"/a", "/b"}, [&](bool success, const QVErrorOpt& error, const QStringList& failed) {
            ++calls;
            EXPECT_FALSE(success);
            ASSERT_TRUE(error);
            EXPECT_EQ(error->code, 10000);
            EXPECT_EQ(failed, (QStringList{"/a", "/b"}));
        });
    EXPECT_EQ(calls, 1);  // the credential check answers at once

    auto detached = QVProject::projectWithID("o", "o", "lib", 0);
    detached->accessibilityForReferenceFilePaths(
        {"/c"}, [&](bool success, const QVErrorOpt& error, const QStringList& failed) {
            ++calls;
            EXPECT_FALSE(success);
            EXPECT_TRUE(error);
            EXPECT_EQ(failed, QStringList{"/c"});
        });
    EXPECT_EQ(calls, 2);
}
