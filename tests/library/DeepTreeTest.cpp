#include <gtest/gtest.h>

#include "LibraryFixtures.h"
#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"

// Trees far deeper than any native recursion could walk on a thread's stack.
// Every operation below runs on the test's main thread.
namespace {
constexpr int kDepth = 10000;
}

TEST(DeepTreeTest, TenThousandLevelsBuildWalkArchiveCompareAndFree) {
    auto library = QVLibrary::libraryWithDictionary(
        LibraryFixtures::libraryEntry("lib", "L", 0, "/nonexistent"));
    const QVariantMap object = LibraryFixtures::deepChain("root", kDepth);
    auto project = QVProject::projectWithDictionary(object);
    project->setLibrary(library);
    project->setRootProject(project);
    library->loadGroupsWithParent(object, project, project);
    library->setProjects({project});

    EXPECT_EQ(project->descendantCount(), kDepth);
    auto deepest = library->projectWithID(QStringLiteral("g%1").arg(kDepth));
    ASSERT_TRUE(deepest);
    EXPECT_EQ(deepest->level(), kDepth);
    EXPECT_EQ(deepest->rootProject(), project);
    EXPECT_EQ(QVProject::findProjectWithGroup(deepest), project);
    const QString path = deepest->pathString();
    EXPECT_TRUE(path.startsWith("root/G1/G2/"));
    EXPECT_TRUE(path.endsWith(QStringLiteral("/G%1").arg(kDepth)));

    QVariantMap written = *project->projectDictionary();
    QVLibrary::loadGroupWithProject(project, written);
    EXPECT_EQ(written, object);

    bool updated = false;
    QVLibraryManager::loadGroupsWithNewProject(project, project, &updated);
    EXPECT_FALSE(updated);
    auto other = QVProject::projectWithDictionary(object);
    library->loadGroupsWithParent(object, other, other);
    deepest->setName("renamed");
    QVLibraryManager::loadGroupsWithNewProject(other, project, &updated);
    EXPECT_TRUE(updated);

    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(library);
    auto decoded = KeyedUnarchiver::unarchivedObjectOfClass<QVLibrary>(data);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->projects().value(0)->descendantCount(), kDepth);
    EXPECT_EQ(decoded->projectWithID(QStringLiteral("g%1").arg(kDepth))->name(), "renamed");

    // Releasing the last owner frees the whole chain.
    std::weak_ptr<QVProject> watch = deepest;
    deepest.reset();
    library->setProjects({});
    project.reset();
    EXPECT_TRUE(watch.expired());
}
