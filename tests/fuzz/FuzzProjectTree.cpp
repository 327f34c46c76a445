#include <QUrl>

#include "FuzzEntries.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "service/QVTesselUtil.h"

namespace FuzzEntries {

int projectTree(const uint8_t* data, size_t size) {
    initialize();
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QUrl url(QStringLiteral("http://127.0.0.1:7662/tessel/libraries/fz/projects"));
    const auto outcome = QVTesselUtil::decodeResponse(url, body, std::nullopt);
    if (outcome.error) return 0;

    auto library = QVLibrary::libraryWithDictionary(
        QVariantMap{{QStringLiteral("dbname"), QStringLiteral("fz")},
                    {QStringLiteral("name"), QStringLiteral("Fuzz")},
                    {QStringLiteral("packagefolder"), QStringLiteral("/nonexistent/fz")},
                    {QStringLiteral("address"), QStringLiteral("127.0.0.1")}});
    check(library != nullptr, "the fixed library entry builds");

    // The tree is built as a project load builds it.
    QVProjectList projects;
    const QVariant list = outcome.result.toMap().value(QStringLiteral("projects"));
    for (const QVariant& object : list.toList()) {
        auto project = QVProject::projectWithDictionary(object);
        if (!project) continue;
        project->setLibrary(library);
        project->setRootProject(project);
        projects.append(project);
        library->loadGroupsWithParent(object, project, project);
    }
    library->setProjects(projects);

    for (const auto& project : projects) {
        check(library->projectWithID(project->id()) != nullptr, "a loaded project is found");
        // Down the first branch: levels count up, the root stays the project.
        auto node = project;
        qint64 level = 0;
        while (!node->childGroups().isEmpty()) {
            node = node->childGroups().first();
            check(node->level() == ++level, "levels count the depth");
            check(node->rootProject() == project, "every group knows its project");
        }
        check(!node->pathString().isNull() || node->name().isNull(), "a path for every node");
        library->projectWithID(node->id());

        // Written back and built again, the tree has the same size.
        QVariantMap written = *project->projectDictionary();
        QVLibrary::loadGroupWithProject(project, written);
        auto rebuilt = QVProject::projectWithDictionary(written);
        check(rebuilt != nullptr, "a written project builds again");
        library->loadGroupsWithParent(written, rebuilt, rebuilt);
        check(rebuilt->descendantCount() == project->descendantCount(),
              "a written tree builds to the same size");
    }
    library->setProjects({});
    return 0;
}

}  // namespace FuzzEntries
