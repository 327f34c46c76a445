#include "UploadFixtures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/RunningApplications.h"
#include "upload/QVUploadManager.h"

namespace UploadFixtures {

QJsonObject seed() {
    const QJsonArray groups{
        QJsonObject{{"id", "g1"},
                    {"name", "Group One"},
                    {"group", QJsonArray{QJsonObject{{"id", "g2"}, {"name", "Group Two"}}}}}};
    const QJsonArray projects{QJsonObject{{"id", "p1"}, {"name", "Project One"}, {"group", groups}},
                              QJsonObject{{"id", "p2"}, {"name", "Project Two"}}};
    const QJsonObject media{
        {"dbname", "media"}, {"name", "Media"}, {"type", 0}, {"projects", projects}};
    const QJsonObject awkward{{"dbname", kAwkwardName},
                              {"name", "Awkward"},
                              {"type", 0},
                              {"projects", QJsonArray{QJsonObject{{"id", "a1"}, {"name", "Odd"}}}}};
    return QJsonObject{{"localuser", QJsonObject{{"id", "agent"}, {"password", "agent-secret"}}},
                       {"libraries", QJsonArray{media, awkward}}};
}

QVariantMap fcpMetaData() {
    return {{"com.apple.quicktime.description", "Take two, exterior"},
            {"com.apple.quicktime.keywords", "city,night, rain"},
            {"com.apple.proapps.share.episodeID", "EP-7"},
            {"com.apple.proapps.share.episodeNumber", 7},
            {"com.apple.proapps.share.id", "SHARE-1"}};
}

bool waitFor(const std::function<bool()>& done, int limitMs) {
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("movie bytes") > 0;
}

}  // namespace UploadFixtures

ServiceFixture::ServiceFixture()
    : service(TesselServiceProcess::Options{.seed = UploadFixtures::seed()}) {
    if (!service.start()) {
        problem_ = service.errorString();
        return;
    }
    RunningApplications::registerExecutable(
        QString::fromLatin1(QVUploadManager::kCompanionBundleIdentifier),
        QStringLiteral("tessel-service"));
    auto& registry = QVLibraryManager::sharedManager();
    const auto locals = registry.localLibraries();
    if (!locals || locals->isEmpty()) {
        problem_ = QStringLiteral("no local library in the registry");
        return;
    }
    registry.setLibraries(*locals);
    if (!QVUploadManager::sharedManager().syncTessel()) {
        problem_ = QStringLiteral("syncTessel failed");
        return;
    }
    library = registry.libraryForDBName(QStringLiteral("media"));
    QVErrorOpt error;
    if (!library || !library->loadProjectsWithError(&error)) {
        problem_ = QStringLiteral("projects not loaded");
        return;
    }
    ready_ = true;
}

ServiceFixture::~ServiceFixture() {
    QVLibraryManager::sharedManager().setLibraries({});
}

std::shared_ptr<QVProject> ServiceFixture::node(const QString& id) const {
    return library->projectWithID(id);
}

std::shared_ptr<QVUploadLocation> ServiceFixture::uploadLocation(std::shared_ptr<QVLibrary> of) {
    std::shared_ptr<QVUploadLocation> location;
    bool done = false;
    QVUploadManager::sharedManager().uploadLocationWithLibrary(
        of ? of : library,
        [&](bool, const std::shared_ptr<QVUploadLocation>& result, const QVErrorOpt&) {
            location = result;
            done = true;
        });
    UploadFixtures::waitFor([&] { return done; });
    return location;
}

std::shared_ptr<QVExportItem> ServiceFixture::insideItem(const QString& name, const QString& nodeID,
                                                         bool fcpXMLOnly) {
    return QVExportItem::exportItemWithName(name, UploadFixtures::fcpMetaData(), library,
                                            node(nodeID), QVImportTypeInsideLibrary,
                                            uploadLocation(), QString(), fcpXMLOnly);
}

std::shared_ptr<QVExportItem> ServiceFixture::storeToItem(const QString& name,
                                                          const QString& nodeID) {
    return QVExportItem::exportItemWithName(name, UploadFixtures::fcpMetaData(), library,
                                            node(nodeID), QVImportTypeStoreToPath, uploadLocation(),
                                            home.path() + "/Exports", false);
}

QJsonObject ServiceFixture::storedAsset(const QString& assetID) {
    for (const QJsonValue& asset : service.assets(QStringLiteral("media")))
        if (asset.toObject().value("_id").toString() == assetID) return asset.toObject();
    return {};
}
