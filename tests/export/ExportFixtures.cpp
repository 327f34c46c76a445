#include "ExportFixtures.h"

#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "service/QVConnection.h"

ExportFixture::ExportFixture(const QString& root) {
    library = QVLibrary::libraryWithName("Library A", "", 0, false, root + "/A.lib", QString(),
                                         std::make_shared<QVConnection>());
    library->setDbName("lib-a");
    project = QVProject::projectWithID("p1", "Project One", "lib-a", 0);
    group = QVProject::projectWithID("g1", "Group One", "lib-a", 1);
    subgroup = QVProject::projectWithID("g2", "Group Two", "lib-a", 1);
    for (const auto& node : {project, group, subgroup}) {
        node->setLibrary(library);
        node->setRootProject(project);
    }
    group->setParent(project);
    subgroup->setParent(group);
    project->addChildGroup(group);
    group->addChildGroup(subgroup);
    library->setProjects({project});
    QVLibraryManager::sharedManager().setLibraries({library});
}

ExportFixture::~ExportFixture() {
    QVLibraryManager::sharedManager().setLibraries({});
}

QVariantMap ExportFixture::metaData(int index) {
    return {
        {"com.apple.quicktime.description",
         QString("Interview take %1 with the director, recorded on location. ")
             .repeated(4)
             .arg(index)},
        {"com.apple.quicktime.keywords", "interview,director, exterior"},
        {"com.apple.proapps.share.episodeID", QString("EP-%1").arg(index)},
        {"com.apple.proapps.share.episodeNumber", index},
        {"com.apple.proapps.share.id", QString("4C1F0E7A-%1").arg(index, 8, 10, QChar('0'))},
        {"com.apple.quicktime.author", "Relaydock Ünïcode & <markup>"},
        {"com.apple.proapps.studio.reel", "A001"},
        {"com.apple.proapps.studio.scene", "12"},
        {"com.apple.proapps.studio.shot", "3"},
        {"com.apple.proapps.studio.angle", "wide"},
        {"com.apple.proapps.share.duration", 12.5},
    };
}

std::shared_ptr<QVExportItem> ExportFixture::insideItem(const QString& name,
                                                        bool fcpXMLOnly) const {
    auto location = QVUploadLocation::uploadLocationWithDictionary(
        QVariantMap{{"mediapath", "Media/Master/x"}, {"path", "x"}, {"dbname", "lib-a"}});
    return QVExportItem::exportItemWithName(name, metaData(), library, project,
                                            QVImportTypeInsideLibrary, location, QString(),
                                            fcpXMLOnly);
}

std::shared_ptr<QVExportItem> ExportFixture::storeToItem(const QString& name, const QString& folder,
                                                         bool fcpXMLOnly) const {
    return QVExportItem::exportItemWithName(name, metaData(), library, group,
                                            QVImportTypeStoreToPath, nullptr, folder, fcpXMLOnly);
}
