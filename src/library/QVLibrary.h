#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include "library/KeyedCoding.h"
#include "library/QVProject.h"
#include "platform/QVError.h"

class QVConnection;
class QVLibrary;
using QVLibraryList = QList<std::shared_ptr<QVLibrary>>;

// One media library of the Tessel service: its identity (dbName), kind
// (0 local, 1 network, anything else neither), package folder, the
// connection to the service that serves it, whether it is usable now, and
// its project tree. Equality is identity.
//
// Every field may be read from any thread. The project list is replaced
// whole, so a reader always sees either an empty list (a load is running)
// or a complete tree.
class QVLibrary : public KeyedCoding, public std::enable_shared_from_this<QVLibrary> {
  public:
    QVLibrary() = default;
    QVLibrary(const QVLibrary&) = delete;
    QVLibrary& operator=(const QVLibrary&) = delete;

    // A record with a fresh UUID as dbName; null without name, package
    // folder or connection.
    static std::shared_ptr<QVLibrary> libraryWithName(
        const QString& name, const QString& desc, qint64 libType, bool shared,
        const QString& packageFolder, const QString& mountPath,
        const std::shared_ptr<QVConnection>& connection);
    // A record from a registry or service entry; null when "dbname", "name",
    // "packagefolder" or "address" is missing.
    static std::shared_ptr<QVLibrary> libraryWithDictionary(const QVariant& dictionary);
    // The nine-key form; nothing when dbName, name, packageFolder or the
    // connection's address is missing.
    std::optional<QVariantMap> libDictionary() const;
    QString description() const;

    qint64 libraryType() const;
    void setLibraryType(qint64 type);
    bool isShared() const;
    void setIsShared(bool shared);
    bool onlineStatus() const { return onlineStatus_.load(); }
    void setOnlineStatus(bool online) { onlineStatus_.store(online); }
    QString dbName() const;
    void setDbName(const QString& dbName);
    QString name() const;
    void setName(const QString& name);
    QString desc() const;
    void setDesc(const QString& desc);
    QString packageFolder() const;
    void setPackageFolder(const QString& packageFolder);
    QString mountPath() const;
    void setMountPath(const QString& mountPath);
    std::shared_ptr<QVConnection> connection() const;
    void setConnection(const std::shared_ptr<QVConnection>& connection);
    // A snapshot of the top-level projects.
    QVProjectList projects() const;
    void setProjects(const QVProjectList& projects);

    // "Local Library", "Network Library" or "".
    QString libraryTypeString() const;
    // Image name: "librarybar.local" or "librarybar.network".
    QString icon() const;
    QString descriptionString() const;
    // Position in the registry's list by identity; -1 when absent.
    qsizetype index() const;

    bool isLocalLibrary() const { return libraryType() == 0; }
    static bool isMountedPath(const QString& path, const QString& dbName);
    bool isMountedLibrary() const;
    bool isWritableLibrary() const;

    using ProjectsCompletion =
        std::function<void(const QVProjectList& projects, const QVErrorOpt& error)>;
    // Empties the project list on a background queue and asks the service
    // for the tree; the completion runs on the main thread.
    void loadProjectsWithCompletion(ProjectsCompletion completion);
    // The same load on the calling thread; nothing on failure.
    std::optional<QVProjectList> loadProjectsWithError(QVErrorOpt* error = nullptr);

    // Builds the groups below node from its dictionary's "group" list, to
    // any depth, without native recursion.
    void loadGroupsWithParent(const QVariant& dictionary, const std::shared_ptr<QVProject>& node,
                              const std::shared_ptr<QVProject>& rootProject);
    // Writes node's groups, nested under "group", into dictionary.
    static void loadGroupWithProject(const std::shared_ptr<QVProject>& node,
                                     QVariantMap& dictionary);
    qsizetype indexOfProject(const std::shared_ptr<QVProject>& project) const;
    std::shared_ptr<QVProject> projectWithID(const QString& projectID) const;
    bool isExistNameInProjects(const QString& name) const;
    bool findLibrary(const QVariantMap& dictionary) const;

    QString archiveClassName() const override { return QStringLiteral("QVLibrary"); }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(const KeyedUnarchiver& coder) override;

  private:
    QString mountFolder() const;
    QUrl projectsURL() const;
    // Top-level projects of a service answer, with their trees.
    QVProjectList projectsFromResponse(const QVariant& response);
    // Starts a load: empties the list and answers the load's generation.
    quint64 beginLoad();
    // Publishes the tree of a load unless a later load has started.
    void finishLoad(quint64 generation, const QVProjectList& projects);

    mutable std::mutex mutex_;
    qint64 libraryType_ = 0;
    bool isShared_ = false;
    std::atomic<bool> onlineStatus_{false};
    QString dbName_;
    QString name_;
    QString desc_;
    QString packageFolder_;
    QString mountPath_;
    QVProjectList projects_;
    std::shared_ptr<QVConnection> connection_;
    quint64 loadGeneration_ = 0;
};
