// Choosing where a share goes: the default destination, the alerts that
// send the user to the sheet, the sheet itself.

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "ShareFixture.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "service/QVConnection.h"
#include "support/Wait.h"
#include "upload/QVUploadManager.h"

TEST_F(ShareTest, DefaultDestinationMakesTheAssetInTheLibraryAndTheItemOnTop) {
    auto older = storedItem("older", QDir::tempPath());
    QVExportItemManager::sharedManager().addExportItem(older);
    auto result = share("Take 1: a/b", QVariantMap{{"availableMetadataSets", "Basic"}});
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    ASSERT_TRUE(result->asset);
    EXPECT_TRUE(person.alerts.isEmpty());
    EXPECT_TRUE(person.sheetsAsked.isEmpty());
    const QVariantMap location = result->asset->locationInfo();
    EXPECT_EQ(location.value("basename").toString(), "Take 1_ a_b");
    const QString folder = location.value("folder").toUrl().toLocalFile();
    EXPECT_TRUE(folder.startsWith(service->packageFolder("lib") + "/Media/Master/"));
    EXPECT_EQ(result->asset->dataOptions().value("metadataSet").toString(), "Basic");
    EXPECT_EQ(result->asset->dataOptions().value("availableMetadataSets").toString(), "Basic");
    EXPECT_TRUE(processor->destination().uploadLocation());

    // The item is on top, announced to whoever shows the list.
    const auto items = QVExportItemManager::sharedManager().exportItems();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items.first()->name(), "Take 1_ a_b");
    EXPECT_EQ(items.first()->originalPath(), folder + "/Take 1_ a_b.mov");
    EXPECT_EQ(items.first()->importType(), QVImportTypeInsideLibrary);
    ASSERT_EQ(added.size(), 1);
    EXPECT_EQ(added.first(), items.first());

    // Data options without metadata sets are not passed on.
    auto plain = share("Plain", QVariantMap{{"other", 1}});
    ASSERT_TRUE(waitUntil([&] { return plain->called; }));
    ASSERT_TRUE(plain->asset);
    EXPECT_TRUE(plain->asset->dataOptions().isEmpty());
}

TEST_F(ShareTest, UnusableDefaultsAlertThenTheSheetDecides) {
    struct Case {
        std::function<void()> arrange;
        const char* alert;
    };
    auto& preferences = QVPreferenceManager::sharedManager();
    const QString missing = QDir::tempPath() + "/relaydock-no-such-folder";
    const std::vector<Case> cases{
        {[this] { processor->destination().setLibrary(nullptr); }, "defaultlibrary.not.selected"},
        {[&] { preferences.setStoreTo(true); }, "defaultlibrary.not.select.external.location"},
        {[&] {
             preferences.setStoreTo(true);
             preferences.setStoreToPath(missing);
         },
         "defaultlibrary.not.select.external.location.not.exist"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alert);
        person.alerts.clear();
        person.sheetsAsked.clear();
        preferences.setStoreTo(false);
        preferences.setStoreToPath(QString());
        processor->destination().setLibrary(library);
        processor->destination().setProject(project("film-cuts"));
        c.arrange();
        auto result = share("Sheet");
        EXPECT_EQ(person.alerts, QStringList{text(c.alert)});
        EXPECT_EQ(person.sheetsAsked, QStringList{"Sheet"});
        EXPECT_FALSE(result->called);
        // Cancelling the sheet cancels the share and adds nothing.
        person.endSheet(std::nullopt);
        EXPECT_TRUE(result->called);
        EXPECT_FALSE(result->asset);
        EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
    }

    // With the switch off the sheet comes without an alert.
    person.alerts.clear();
    person.useDefault = false;
    auto asked = share("Ask");
    EXPECT_TRUE(person.alerts.isEmpty());
    person.endSheet(std::nullopt);
    EXPECT_TRUE(asked->called);
    EXPECT_FALSE(asked->asset);
}

// One sheet at a time: a share that comes while the user is choosing is
// cancelled at once; the chosen destination makes the first one's asset.
TEST_F(ShareTest, SheetAcceptedSharesThereWhileASecondShareIsCancelled) {
    person.useDefault = false;
    QTemporaryDir folder;
    QVPreferenceManager::sharedManager().setStoreTo(true);
    QVPreferenceManager::sharedManager().setStoreToPath(folder.path());
    auto first = share("First");
    ASSERT_EQ(person.sheetsAsked, QStringList{"First"});
    EXPECT_TRUE(processor->choosingDestination());
    auto second = share("Second");
    EXPECT_TRUE(second->called);
    EXPECT_FALSE(second->asset);
    EXPECT_EQ(person.sheetsAsked.size(), 1);

    person.endSheet(QVChosenDestination{"Renamed: here", library, project("film"), nullptr, true});
    // The editor is answered once the new item is on disk.
    ASSERT_TRUE(waitUntil([&] { return first->called; }));
    ASSERT_TRUE(first->asset);
    EXPECT_FALSE(processor->choosingDestination());
    EXPECT_EQ(first->asset->locationInfo().value("basename").toString(), "Renamed_ here");
    EXPECT_EQ(first->asset->locationInfo().value("folder").toUrl().toLocalFile(), folder.path());
    const auto items = QVExportItemManager::sharedManager().exportItems();
    ASSERT_EQ(items.size(), 1);
    EXPECT_TRUE(items.first()->fcpXMLOnly());
    EXPECT_EQ(items.first()->fcpXMLPath(), folder.path() + "/Renamed_ here.fcpxml");
}

TEST_F(ShareTest, AFailedDestinationAlertsAndCancelsTheShare) {
    service->setFault("upload-location", "error", "2:library gone");
    auto result = share("Nowhere");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    EXPECT_FALSE(result->asset);
    EXPECT_FALSE(processor->destination().uploadLocation());
    ASSERT_EQ(person.alerts.size(), 1);
    EXPECT_TRUE(person.alerts[0].startsWith(text("uploadlocation.cant.get").section("%@", 0, 0)))
        << qPrintable(person.alerts[0]);
    EXPECT_FALSE(person.alerts[0].contains("%@"));

    // A destination folder that is gone.
    bool called = false;
    processor->createFCPXAssetWithName("x", QVariantMap{}, std::nullopt, library, project("film"),
                                       QVImportTypeStoreToPath,
                                       QDir::tempPath() + "/relaydock-missing-folder", nullptr,
                                       false, [&](std::shared_ptr<FCPXAsset> asset) {
                                           called = true;
                                           EXPECT_FALSE(asset);
                                       });
    EXPECT_TRUE(called);
    EXPECT_EQ(person.alerts.last(), text("defaultlibrary.not.exist.folder"));
    EXPECT_EQ(QVExportItemManager::sharedManager().count(), 0);
}

// A pop-over reloads the registry; the record the default was taken from
// no longer gets the local service's credentials.
TEST_F(ShareTest, ShareAfterARegistryReloadUsesTheRegistrysRecord) {
    auto replaced = QVLibrary::libraryWithDictionary(*library->libDictionary());
    ASSERT_TRUE(replaced);
    replaced->connection()->setPassword("outdated");
    processor->destination().setLibrary(replaced);
    auto result = share("After reload");
    ASSERT_TRUE(waitUntil([&] { return result->called; }));
    EXPECT_TRUE(result->asset);
    EXPECT_TRUE(person.alerts.isEmpty()) << qPrintable(person.alerts.join("; "));
    EXPECT_EQ(processor->destination().library(), library);
}
