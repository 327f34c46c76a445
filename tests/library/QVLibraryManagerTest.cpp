#include <gtest/gtest.h>

#include <QThread>

#include "LibraryFixtures.h"
#include "library/QVLibraryManager.h"
#include "platform/Dispatch.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"

using LibraryFixtures::libraryEntry;
using LibraryFixtures::waitFor;

namespace {

QStringList names(const QVLibraryList& libraries) {
    QStringList result;
    for (const auto& library : libraries) result.append(library->name());
    return result;
}

QVLibraryList fullLoad(QVLibraryManager& manager, bool* onMainThread = nullptr) {
    std::atomic<bool> done{false};
    QVLibraryList result;
    bool main = true;
    manager.loadAllLibrariesWithCompletion([&](const QVLibraryList& libraries) {
        result = libraries;
        main = Dispatch::isMainThread();
        done = true;
    });
    EXPECT_TRUE(waitFor([&] { return done.load(); }));
    Dispatch::waitForGlobal();
    if (onMainThread) *onMainThread = main;
    return result;
}

class QVLibraryManagerTest : public ::testing::Test {
  protected:
    TempHome home;
};

}  // namespace

TEST_F(QVLibraryManagerTest, PlistFileRecordsGetCredentialsByType) {
    LibraryFixtures::writeNetworkUsers(
        {{"net1", QVariantMap{{"userid", "alice"}, {"userpassword", "HASH"}}},
         {"broken", QString("not a dictionary")}});
    QVLibraryManager manager;
    manager.setLocalLibraryUserID("local-id");
    manager.setLocalLibraryPassword("local-pw");
    manager.setServicePort(7777);
    const QString path = home.path() + "/lists/registry.plist";
    QVariantMap invalid = libraryEntry("bad", "Bad", 0, "/p");
    invalid.remove("address");
    LibraryFixtures::writeRegistry(
        path, {libraryEntry("loc", "Loc", 0, "/p", "127.0.0.1", 1),
               libraryEntry("net1", "Net", 1, "/p", "remote", 2),  // type decides, not the file
               libraryEntry("net2", "Unknown user", 1, "/p", "remote", 3),
               libraryEntry("odd", "Odd", -1, "/p", "x", 4), invalid, QString("junk")});

    const auto records = manager.loadLibrariesWithPlistFile(path);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 4);
    const auto loc = (*records)[0]->connection();
    EXPECT_EQ(loc->userID(), "local-id");
    EXPECT_EQ(loc->password(), "local-pw");
    EXPECT_EQ(loc->port(), 7777);
    const auto net1 = (*records)[1]->connection();
    EXPECT_EQ(net1->userID(), "alice");
    EXPECT_EQ(net1->password(), "HASH");
    EXPECT_EQ(net1->port(), 2);
    EXPECT_TRUE((*records)[2]->connection()->userID().isNull());
    EXPECT_TRUE((*records)[2]->connection()->password().isNull());
    EXPECT_TRUE((*records)[3]->connection()->userID().isNull());
    EXPECT_EQ((*records)[3]->connection()->port(), 4);
    EXPECT_TRUE(manager.libraries().isEmpty());  // one file never touches the registry

    EXPECT_TRUE(manager.networkUserIDWithDBName("broken").isNull());
    EXPECT_TRUE(manager.networkUserPasswordWithDBName("missing").isNull());
    EXPECT_FALSE(manager.loadLibrariesWithPlistFile(home.path() + "/none.plist"));
    EXPECT_FALSE(manager.loadLibrariesWithPlistFile(QString()));
}

TEST_F(QVLibraryManagerTest, FullLoadSortsByTypeThenCharacterCode) {
    LibraryFixtures::writeRegistry(
        QVTesselUtil::localLibraryPlist(),
        {libraryEntry("b", "beta", 0, "/p"), libraryEntry("z", "Zeta", 0, "/p"),
         libraryEntry("a", "alpha", 0, "/p"), libraryEntry("t", "typeless", -1, "/p")});
    LibraryFixtures::writeRegistry(
        QVTesselUtil::networkLibraryPlist(),
        {libraryEntry("A", "Alpha", 1, "/p"), libraryEntry("two", "Two", 2, "/p")});
    QVLibraryManager manager;
    EXPECT_TRUE(manager.libraries().isEmpty());
    bool onMain = true;
    const QVLibraryList loaded = fullLoad(manager, &onMain);
    EXPECT_FALSE(onMain);  // the completion stays on the background queue
    EXPECT_EQ(names(loaded), (QStringList{"typeless", "Zeta", "alpha", "beta", "Alpha", "Two"}));
    EXPECT_EQ(manager.libraries(), loaded);

    manager.setLibraries({loaded[4], loaded[1]});
    manager.sortLibraries();
    EXPECT_EQ(names(manager.libraries()), (QStringList{"Zeta", "Alpha"}));
}

TEST_F(QVLibraryManagerTest, EveryFullLoadReplacesTheRecords) {
    LibraryFixtures::writeRegistry(QVTesselUtil::localLibraryPlist(),
                                   {libraryEntry("one", "One", 0, "/p")});
    QVLibraryManager manager;
    const QVLibraryList first = fullLoad(manager);
    ASSERT_EQ(first.size(), 1);
    auto old = first[0];
    EXPECT_EQ(manager.indexOfLibrary(old), 0);

    LibraryFixtures::writeRegistry(
        QVTesselUtil::localLibraryPlist(),
        {libraryEntry("one", "One", 0, "/p"), libraryEntry("two", "Two", 0, "/p")});
    fullLoad(manager);
    EXPECT_EQ(manager.libraries().size(), 2);
    EXPECT_EQ(manager.indexOfLibrary(old), -1);  // same dbName, but another object
    EXPECT_TRUE(manager.findLibrary(old));
    auto current = manager.libraryForDBName("one");
    ASSERT_TRUE(current);
    EXPECT_NE(current, old);
    EXPECT_EQ(manager.indexOfLibrary(current), 0);
    EXPECT_FALSE(manager.libraryForDBName("ONE"));
    EXPECT_EQ(manager.indexOfLibrary(nullptr), -1);

    // Unreadable registry files leave an empty registry.
    QFile::remove(QVTesselUtil::localLibraryPlist());
    EXPECT_TRUE(fullLoad(manager).isEmpty());
    EXPECT_FALSE(manager.findLibrary(current));
}

TEST_F(QVLibraryManagerTest, FullLoadRereadsNetworkUsers) {
    LibraryFixtures::writeRegistry(QVTesselUtil::networkLibraryPlist(),
                                   {libraryEntry("n", "N", 1, "/p")});
    QVLibraryManager manager;
    EXPECT_TRUE(fullLoad(manager)[0]->connection()->userID().isNull());
    LibraryFixtures::writeNetworkUsers(
        {{"n", QVariantMap{{"userid", "bob"}, {"userpassword", "PW"}}}});
    EXPECT_EQ(fullLoad(manager)[0]->connection()->userID(), "bob");
    EXPECT_EQ(manager.networkUserDict().size(), 1);
}

TEST_F(QVLibraryManagerTest, CurrentLibrarySlotClearsProjects) {
    QVLibraryManager manager;
    auto library = QVLibrary::libraryWithDictionary(libraryEntry("c", "C", 0, "/p"));
    manager.setCurrentProjects({QVProject::projectWithID("p", "p", "c", 0)});
    manager.setCurrentLibrary(library);
    EXPECT_EQ(manager.currentLibrary(), library);
    EXPECT_TRUE(manager.currentProjects().isEmpty());
}

TEST_F(QVLibraryManagerTest, SubtreeComparisonFindsShapeAndNameChanges) {
    auto build = [](const QVariantMap& object) {
        auto library = QVLibrary::libraryWithDictionary(libraryEntry("c", "C", 0, "/p"));
        auto project = QVProject::projectWithDictionary(object);
        library->loadGroupsWithParent(object, project, project);
        return project;
    };
    using LibraryFixtures::node;
    auto base =
        build(node("p", "P", 0, {node("a", "A", 1, {node("x", "X", 1)}), node("b", "B", 1)}));
    auto same =
        build(node("q", "Q", 0, {node("a2", "A", 1, {node("y", "X", 1)}), node("b", "B", 1)}));
    auto renamedDeep =
        build(node("p", "P", 0, {node("a", "A", 1, {node("x", "Changed", 1)}), node("b", "B", 1)}));
    auto moreChildren = build(node("p", "P", 0, {node("a", "A", 1), node("b", "B", 1)}));

    bool updated = false;
    QVLibraryManager::loadGroupsWithNewProject(same, base, &updated);
    EXPECT_FALSE(updated);  // ids and the nodes' own names do not count
    QVLibraryManager::loadGroupsWithNewProject(renamedDeep, base, &updated);
    EXPECT_TRUE(updated);
    updated = false;
    QVLibraryManager::loadGroupsWithNewProject(moreChildren, base, &updated);
    EXPECT_TRUE(updated);
    updated = false;
    QVLibraryManager::loadGroupsWithNewProject(base, nullptr, &updated);
    EXPECT_TRUE(updated);
    QVLibraryManager::loadGroupsWithNewProject(base, base, nullptr);  // no slot: nothing to do
}

TEST_F(QVLibraryManagerTest, ParameterErrorsOfReloadAndListing) {
    QVLibraryManager manager;
    int calls = 0;
    manager.reloadLibrary(nullptr, [&](bool success, const QVErrorOpt& error) {
        ++calls;
        EXPECT_FALSE(success);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code, 10000);
        EXPECT_EQ(error->domain, "TESSEL Exporter SDK");
    });
    EXPECT_EQ(calls, 1);  // on the caller's thread, at once

    auto library = QVLibrary::libraryWithDictionary(libraryEntry("n", "N", 1, "/p"));
    library->setOnlineStatus(true);
    std::atomic<bool> done{false};
    std::atomic<bool> onMain{true};
    QVErrorOpt reloadError;
    manager.reloadLibrary(library, [&](bool success, const QVErrorOpt& error) {
        EXPECT_FALSE(success);
        reloadError = error;
        onMain = Dispatch::isMainThread();
        done = true;
    });
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    ASSERT_TRUE(reloadError);
    EXPECT_EQ(reloadError->code, 10000);
    EXPECT_FALSE(onMain.load());
    EXPECT_TRUE(library->onlineStatus());  // unchanged: nothing was asked

    done = false;
    QVErrorOpt listError;
    manager.connetToNetworkLibraryWithHost(QString(), 80, "u", "p",
                                           [&](const QVLibraryList& found, const QVErrorOpt& e) {
                                               EXPECT_TRUE(found.isEmpty());
                                               listError = e;
                                               done = true;
                                           });
    ASSERT_TRUE(waitFor([&] { return done.load(); }));
    ASSERT_TRUE(listError);
    EXPECT_EQ(listError->code, 10000);
    Dispatch::waitForGlobal();
}
