#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include <QString>
#include <QVariantMap>

#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/QVError.h"

// The registry of the libraries this machine can use, read from the Tessel
// service's registry files, with credentials filled in and kept sorted.
//
// `libraries` is published whole: a load builds the new sorted list aside
// and swaps it in, so a reader on any thread sees the previous complete list
// or the new one, never a list being built, and readers never wait for the
// disk. The recursive registry lock serialises loads and network listings.
class QVLibraryManager {
  public:
    static QVLibraryManager& sharedManager();

    // Reads networkUsers.plist. Tests make their own registries.
    QVLibraryManager();
    QVLibraryManager(const QVLibraryManager&) = delete;
    QVLibraryManager& operator=(const QVLibraryManager&) = delete;

    using LibrariesCompletion = std::function<void(const QVLibraryList& libraries)>;
    // Rereads both registry files on a background queue; the completion runs
    // there, with the registry lock held.
    void loadAllLibrariesWithCompletion(LibrariesCompletion completion);
    // New records from one registry file (not added to `libraries`); nothing
    // when the file cannot be read.
    std::optional<QVLibraryList> loadLibrariesWithPlistFile(const QString& path);
    std::optional<QVLibraryList> localLibraries();
    std::optional<QVLibraryList> networkLibraries();

    void reloadNetworkUserDict();
    QString networkUserIDWithDBName(const QString& dbName) const;
    QString networkUserPasswordWithDBName(const QString& dbName) const;

    // Orders by type, then by name in character-code order.
    void sortLibraries();
    static QVLibraryList sortedLibraries(QVLibraryList libraries);

    using ReloadCompletion = std::function<void(bool success, const QVErrorOpt& error)>;
    // Refreshes one library's online state, name and description from its
    // service. The completion runs on the main thread once the service
    // answered; parameter errors complete on the calling thread (no library)
    // or on the background queue (no credentials).
    void reloadLibrary(const std::shared_ptr<QVLibrary>& library, ReloadCompletion completion);

    using NetworkCompletion =
        std::function<void(const QVLibraryList& libraries, const QVErrorOpt& error)>;
    // Lists the libraries of a network service as new online records of
    // type 1 that carry the MD5 of the password; `libraries` is unchanged.
    void connetToNetworkLibraryWithHost(const QString& host, qint64 port, const QString& userID,
                                        const QString& userPassword, NetworkCompletion completion);

    std::shared_ptr<QVLibrary> libraryForDBName(const QString& dbName) const;
    bool findLibrary(const std::shared_ptr<QVLibrary>& library) const;
    qsizetype indexOfLibrary(const std::shared_ptr<QVLibrary>& library) const;

    // Sets *updated when the subtrees below the two nodes differ in shape or
    // in the names of their groups.
    static void loadGroupsWithNewProject(const std::shared_ptr<QVProject>& newProject,
                                         const std::shared_ptr<QVProject>& curProject,
                                         bool* updated);

    QVLibraryList libraries() const;
    void setLibraries(const QVLibraryList& libraries);
    QVariantMap networkUserDict() const;
    void setNetworkUserDict(const QVariantMap& networkUserDict);
    QString localLibraryUserID() const;
    void setLocalLibraryUserID(const QString& userID);
    QString localLibraryPassword() const;
    void setLocalLibraryPassword(const QString& password);
    qint64 servicePort() const;
    void setServicePort(qint64 port);
    std::shared_ptr<QVLibrary> currentLibrary() const;
    // Also clears currentProjects.
    void setCurrentLibrary(const std::shared_ptr<QVLibrary>& library);
    QVProjectList currentProjects() const;
    void setCurrentProjects(const QVProjectList& projects);

  private:
    QString networkUserValue(const QString& dbName, const char* key, const char* operation) const;

    // Serialises loads and listings; held across a full load's completion.
    std::recursive_mutex registryLock_;
    // Guards the fields below; held only for copies, never across I/O.
    mutable std::mutex stateMutex_;
    QVLibraryList libraries_;
    QVariantMap networkUserDict_;
    QString localLibraryUserID_;
    QString localLibraryPassword_;
    qint64 servicePort_ = 0;
    std::shared_ptr<QVLibrary> currentLibrary_;
    QVProjectList currentProjects_;
};
