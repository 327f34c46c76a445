#pragma once

#include <functional>

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// Builders shared by the library tests: registry entries and files, and
// project answers shaped like the service's.
namespace LibraryFixtures {

QVariantMap libraryEntry(const QString& dbName, const QString& name, qint64 type,
                         const QString& packageFolder, const QString& address = "127.0.0.1",
                         qint64 port = 7662);
// Writes {"library": entries} as a property list.
void writeRegistry(const QString& path, const QVariantList& entries);
void writeNetworkUsers(const QVariantMap& users);

QVariantMap node(const QString& id, const QString& name, qint64 type,
                 const QVariantList& groups = {});
// A project whose single chain of groups is depth levels deep; ids are
// "g1" ... "g<depth>".
QVariantMap deepChain(const QString& projectID, int depth);

// Runs the event loop until done() or a generous limit; false on timeout.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 30000);

}  // namespace LibraryFixtures
