#include "LibraryFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "platform/PropertyList.h"
#include "service/QVTesselUtil.h"

namespace LibraryFixtures {

QVariantMap libraryEntry(const QString& dbName, const QString& name, qint64 type,
                         const QString& packageFolder, const QString& address, qint64 port) {
    QVariantMap entry{{"dbname", dbName},   {"name", name}, {"packagefolder", packageFolder},
                      {"address", address}, {"port", port}, {"shared", false}};
    if (type != -1) entry.insert("type", type);
    return entry;
}

void writeRegistry(const QString& path, const QVariantList& entries) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    PropertyList::writeFile(path, QVariantMap{{"library", entries}});
}

void writeNetworkUsers(const QVariantMap& users) {
    const QString path = QVTesselUtil::networkUserPlist();
    QDir().mkpath(QFileInfo(path).absolutePath());
    PropertyList::writeFile(path, users);
}

QVariantMap node(const QString& id, const QString& name, qint64 type, const QVariantList& groups) {
    QVariantMap map{{"id", id}, {"name", name}, {"dbname", "lib"}, {"type", type}};
    if (!groups.isEmpty()) map.insert("group", groups);
    return map;
}

QVariantMap deepChain(const QString& projectID, int depth) {
    QVariantMap current;
    for (int level = depth; level >= 1; --level) {
        QVariantMap group =
            node(QStringLiteral("g%1").arg(level), QStringLiteral("G%1").arg(level), 1);
        if (!current.isEmpty()) group.insert("group", QVariantList{current});
        current = group;
    }
    return node(projectID, projectID, 0, QVariantList{current});
}

bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

}  // namespace LibraryFixtures
