#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LibraryFixtures.h"
#include "library/QVLibraryManager.h"
#include "platform/Dispatch.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"

// Full loads on background threads against readers on the main thread and
// elsewhere. Run under ThreadSanitizer as well: any unguarded field shows
// up there even when the checks below pass.
TEST(LibraryStressTest, FiftyFullLoadsWhileTheMainThreadReads) {
    TempHome home;
    constexpr int kLibraries = 24;
    constexpr int kLoads = 50;
    QVariantList local, network;
    for (int i = 0; i < kLibraries; ++i) {
        const QString dbName = QStringLiteral("lib%1").arg(i);
        const qint64 type = i % 3 == 0 ? 1 : 0;
        auto entry = LibraryFixtures::libraryEntry(dbName, QStringLiteral("Name %1").arg(i % 7),
                                                   type, home.path());
        (type == 0 ? local : network).append(entry);
    }
    LibraryFixtures::writeRegistry(QVTesselUtil::localLibraryPlist(), local);
    LibraryFixtures::writeRegistry(QVTesselUtil::networkLibraryPlist(), network);
    LibraryFixtures::writeNetworkUsers(
        {{"lib0", QVariantMap{{"userid", "u"}, {"userpassword", "p"}}}});

    QVLibraryManager manager;
    std::atomic<int> completed{0};
    std::atomic<int> wrongSize{0};
    for (int i = 0; i < kLoads; ++i)
        manager.loadAllLibrariesWithCompletion([&](const QVLibraryList& libraries) {
            if (libraries.size() != kLibraries) ++wrongSize;
            completed.fetch_add(1);
        });

    // Another thread changes the state fields that readers look at.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const QVariantMap object = LibraryFixtures::node(
            "p", "P", 0,
            {LibraryFixtures::node("g", "G", 1, {LibraryFixtures::node("h", "H", 1)})});
        for (int round = 0; !stop.load(); ++round) {
            for (const auto& library : manager.libraries()) {
                library->setOnlineStatus(round % 2 == 0);
                auto project = QVProject::projectWithDictionary(object);
                project->setLibrary(library);
                project->setRootProject(project);
                library->loadGroupsWithParent(object, project, project);
                library->setProjects(round % 2 == 0 ? QVProjectList{project} : QVProjectList{});
                library->setName(QStringLiteral("Name %1").arg(round % 7));
            }
            manager.setCurrentLibrary(manager.libraryForDBName("lib1"));
        }
    });

    int snapshots = 0;
    int partial = 0;
    int unsorted = 0;
    while (completed.load() < kLoads) {
        const QVLibraryList libraries = manager.libraries();
        ++snapshots;
        if (!libraries.isEmpty() && libraries.size() != kLibraries) ++partial;
        for (qsizetype i = 1; i < libraries.size(); ++i)
            if (libraries[i - 1]->libraryType() > libraries[i]->libraryType()) ++unsorted;
        for (const auto& library : libraries) {
            if (auto project = library->projectWithID("h")) {
                EXPECT_EQ(project->level(), 2);
            }
            library->onlineStatus();
            library->descriptionString();
            library->isExistNameInProjects("P");
        }
        if (auto found = manager.libraryForDBName("lib5")) {
            EXPECT_EQ(found->dbName(), "lib5");
            manager.indexOfLibrary(found);
            manager.findLibrary(found);
        }
        manager.currentLibrary();
        manager.networkUserIDWithDBName("lib0");
    }
    stop = true;
    writer.join();
    Dispatch::waitForGlobal();

    EXPECT_EQ(completed.load(), kLoads);
    EXPECT_EQ(wrongSize.load(), 0);
    EXPECT_EQ(partial, 0);
    EXPECT_EQ(unsorted, 0);
    EXPECT_GT(snapshots, 0);
    ASSERT_EQ(manager.libraries().size(), kLibraries);
    EXPECT_EQ(manager.libraryForDBName("lib0")->connection()->userID(), "u");
}
