#include "ShareFixture.h"

#include <atomic>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "FCPX/FCPXAsset.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Localization.h"
#include "support/Wait.h"
#include "upload/QVUploadManager.h"

void ShareTest::SetUp() {
    home = std::make_unique<TempHome>();
    const QJsonArray projects{
        QJsonObject{{"id", "film"},
                    {"name", "Film"},
                    {"group", QJsonArray{QJsonObject{{"id", "film-cuts"}, {"name", "Cuts"}}}}}};
    TesselServiceProcess::Options options;
    options.seed = QJsonObject{
        {"libraries",
         QJsonArray{
             QJsonObject{{"dbname", "lib"}, {"name", "Lib"}, {"projects", projects}},
             QJsonObject{{"dbname", "lib2"},
                         {"name", "Lib 2"},
                         {"projects", QJsonArray{QJsonObject{{"id", "p2"}, {"name", "P2"}}}}}}}};
    options.asCorvane = true;
    service = std::make_unique<TesselServiceProcess>(options);
    ASSERT_TRUE(service->start()) << qPrintable(service->errorString());
    ASSERT_TRUE(QVUploadManager::sharedManager().syncTessel());
    std::atomic<bool> done{false};
    QVLibraryManager::sharedManager().loadAllLibrariesWithCompletion(
        [&done](const QVLibraryList&) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    library = QVLibraryManager::sharedManager().libraryForDBName("lib");
    ASSERT_TRUE(library);
    std::atomic<bool> loaded{false};
    library->loadProjectsWithCompletion(
        [&](const QVProjectList&, const QVErrorOpt&) { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded.load(); }));

    QVFileDetector::setPollInterval(20);
    QVExportItemManager::sharedManager().setExportItems({});
    auto& preferences = QVPreferenceManager::sharedManager();
    preferences.setUseDefaultLibrary(true);
    preferences.setDefaultLibraryID("lib");
    preferences.setDefaultProjectID("film-cuts");
    preferences.setStoreTo(false);
    preferences.setStoreToPath(QString());
    preferences.setExportFCPXMLOnly(false);
    processor = makeProcessor();
    processor->destination().setLibrary(library);
    processor->destination().setProject(project("film-cuts"));
}

void ShareTest::TearDown() {
    processor.reset();
    QVExportItemManager::sharedManager().flush();
    QVExportItemManager::sharedManager().setExportItems({});
    service.reset();
    home.reset();
}

std::shared_ptr<QVExportProcessor> ShareTest::makeProcessor(QVShareEnvironment environment) {
    auto made = std::make_shared<QVExportProcessor>(&person, std::move(environment));
    QObject::connect(made.get(), &QVExportProcessor::itemAdded,
                     [this](const std::shared_ptr<QVExportItem>& item) { added << item; });
    QObject::connect(made.get(), &QVExportProcessor::itemChanged,
                     [this](const std::shared_ptr<QVExportItem>& item) { changed << item; });
    return made;
}

std::shared_ptr<ShareTest::Result> ShareTest::share(const QString& name,
                                                    const std::optional<QVariantMap>& dataOptions) {
    auto result = std::make_shared<Result>();
    processor->newAssetWithName(name, QVariantMap{{"com.apple.quicktime.description", "d"}},
                                dataOptions, [result](std::shared_ptr<FCPXAsset> asset) {
                                    EXPECT_FALSE(result->called) << "completion called twice";
                                    result->called = true;
                                    result->asset = std::move(asset);
                                });
    return result;
}

std::shared_ptr<QVExportItem> ShareTest::storedItem(const QString& name, const QString& folder,
                                                    bool fcpXMLOnly) {
    return QVExportItem::exportItemWithName(
        name, QVariantMap{{"com.apple.quicktime.description", "d"}}, library, project("film"),
        QVImportTypeStoreToPath, nullptr, folder, fcpXMLOnly);
}

std::shared_ptr<QVProject> ShareTest::project(const QString& id) const {
    return library->projectWithID(id);
}

bool ShareTest::write(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QString ShareTest::text(const char* key) {
    return Localization::localized(key);
}
