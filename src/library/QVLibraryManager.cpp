#include "library/QVLibraryManager.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include <QFileInfo>

#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"
#include "service/StringMD5.h"

namespace {

QVError paramNilError() {
    return QVTesselUtil::errorWithCode(QVTesselErrorParamNil,
                                       Localization::localizedString("request.error.param.nil"));
}

// A copy that shares no container or text with the original. Implicitly
// shared Qt values nested in variants are released inside Qt itself, out of
// sight of thread checkers; private copies keep every hand-over visible.
// Nesting beyond a few levels is not expected in a user list and is shared.
QVariant detachedCopy(const QVariant& value, int depth = 0) {
    if (depth > 8) return value;
    switch (value.typeId()) {
        case QMetaType::QVariantMap: {
            QVariantMap copy;
            const QVariantMap map = value.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                copy.insert(QString(it.key().constData(), it.key().size()),
                            detachedCopy(it.value(), depth + 1));
            return copy;
        }
        case QMetaType::QVariantList: {
            QVariantList copy;
            for (const QVariant& item : value.toList()) copy.append(detachedCopy(item, depth + 1));
            return copy;
        }
        case QMetaType::QString: {
            const QString text = value.toString();
            return QString(text.constData(), text.size());
        }
        default:
            return value;
    }
}

}  // namespace

QVLibraryManager& QVLibraryManager::sharedManager() {
    static QVLibraryManager* instance = new QVLibraryManager();  // never destroyed
    return *instance;
}

QVLibraryManager::QVLibraryManager() {
    reloadNetworkUserDict();
}

// ---- Loading ----

void QVLibraryManager::loadAllLibrariesWithCompletion(LibrariesCompletion completion) {
    Dispatch::global([this, completion = std::move(completion)] {
        std::lock_guard lock(registryLock_);
        reloadNetworkUserDict();
        QVLibraryList loaded;
        if (auto local = localLibraries()) loaded.append(*local);
        if (auto network = networkLibraries()) loaded.append(*network);
        const QVLibraryList sorted = sortedLibraries(loaded);
        setLibraries(sorted);
        if (completion) completion(sorted);
    });
}

std::optional<QVLibraryList> QVLibraryManager::loadLibrariesWithPlistFile(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    const std::optional<QVariant> file = PropertyList::readFile(path);
    if (!file || file->typeId() != QMetaType::QVariantMap) return std::nullopt;

    std::lock_guard lock(registryLock_);
    const QString localUserID = localLibraryUserID();
    const QString localPassword = localLibraryPassword();
    const qint64 localPort = servicePort();
    QVLibraryList result;
    const QVariant entries = file->toMap().value("library");
    if (entries.typeId() != QMetaType::QVariantList) return result;
    for (const QVariant& entry : entries.toList()) {
        auto library = QVLibrary::libraryWithDictionary(entry);
        if (!library) continue;
        const auto connection = library->connection();
        switch (library->libraryType()) {
            case 1:
                connection->setUserID(networkUserIDWithDBName(library->dbName()));
                connection->setPassword(networkUserPasswordWithDBName(library->dbName()));
                break;
            case 0:
                connection->setUserID(localUserID);
                connection->setPassword(localPassword);
                connection->setPort(localPort);
                break;
            default:
                break;
        }
        result.append(library);
    }
    return result;
}

std::optional<QVLibraryList> QVLibraryManager::localLibraries() {
    return loadLibrariesWithPlistFile(QVTesselUtil::localLibraryPlist());
}

std::optional<QVLibraryList> QVLibraryManager::networkLibraries() {
    return loadLibrariesWithPlistFile(QVTesselUtil::networkLibraryPlist());
}

// ---- Network users ----

void QVLibraryManager::reloadNetworkUserDict() {
    const QString path = QVTesselUtil::networkUserPlist();
    const std::optional<QVariant> file =
        path.isEmpty() ? std::nullopt : PropertyList::readFile(path);
    const QVariantMap users =
        file && file->typeId() == QMetaType::QVariantMap ? file->toMap() : QVariantMap();
    setNetworkUserDict(users);
}

QString QVLibraryManager::networkUserValue(const QString& dbName, const char* key,
                                           const char* operation) const {
    try {
        // Read and copied under the lock: the nested dictionaries are shared
        // with whatever thread replaces them on the next load.
        std::lock_guard lock(stateMutex_);
        const QString value = QVTesselUtil::stringValueFromObject(
            networkUserDict_.value(dbName).toMap().value(QString::fromLatin1(key)));
        return value.isNull() ? QString() : QString(value.constData(), value.size());
    } catch (const std::exception& e) {
        QVLog::log(QStringLiteral("%1 exception:%2").arg(QLatin1String(operation), e.what()));
        return QString();
    }
}

QString QVLibraryManager::networkUserIDWithDBName(const QString& dbName) const {
    return networkUserValue(dbName, "userid", "networkUserIDWithDBName");
}

QString QVLibraryManager::networkUserPasswordWithDBName(const QString& dbName) const {
    return networkUserValue(dbName, "userpassword", "networkUserPasswordWithDBName");
}

// ---- Sorting ----

QVLibraryList QVLibraryManager::sortedLibraries(QVLibraryList libraries) {
    struct Key {
        qint64 type;
        QString name;
        std::shared_ptr<QVLibrary> library;
    };
    // Keys are read once, so a reload renaming a record meanwhile cannot
    // break the ordering the sort relies on.
    std::vector<Key> keys;
    keys.reserve(size_t(libraries.size()));
    for (const auto& library : libraries)
        if (library) keys.push_back({library->libraryType(), library->name(), library});
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.type != b.type) return a.type < b.type;
        // UTF-16 code units, not the user's collation: "Zeta" before "alpha".
        return QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
    });
    QVLibraryList sorted;
    sorted.reserve(qsizetype(keys.size()));
    for (auto& key : keys) sorted.append(std::move(key.library));
    return sorted;
}

void QVLibraryManager::sortLibraries() {
    std::lock_guard lock(registryLock_);
    setLibraries(sortedLibraries(libraries()));
}

// ---- Service requests ----

void QVLibraryManager::reloadLibrary(const std::shared_ptr<QVLibrary>& library,
                                     ReloadCompletion completion) {
    if (!library) {
        if (completion) completion(false, paramNilError());
        return;
    }
    Dispatch::global([library, completion] {
        const auto connection = library->connection();
        if (!connection || connection->userID().isNull() || connection->password().isNull() ||
            connection->address().isNull()) {
            if (completion) completion(false, paramNilError());
            return;
        }
        const QString dbName = library->dbName();
        const QUrl url = QVTesselUtil::serviceURL(connection->address(), connection->port(),
                                                  {QStringLiteral("libraries"), dbName});
        QVTesselUtil::requestURL(
            url, connection->userID(), connection->password(), QStringLiteral("GET"), std::nullopt,
            [library, dbName, completion](const QVariant& result, const QVErrorOpt& error) {
                if (error) {
                    QVLog::log(QStringLiteral("reloadLibrary error:%1")
                                   .arg(QVTesselUtil::errorDescription(*error)));
                    library->setOnlineStatus(false);
                    if (completion) completion(false, error);
                    return;
                }
                const QVariant items = result.toMap().value("items");
                const QVariantList list =
                    items.typeId() == QMetaType::QVariantList ? items.toList() : QVariantList();
                for (const QVariant& item : list) {
                    const QVariantMap map = item.toMap();
                    if (QVTesselUtil::stringValueFromObject(map.value("dbname")) != dbName)
                        continue;
                    if (library->libraryType() != 0) {
                        library->setOnlineStatus(true);
                        Dispatch::main([dbName] {
                            NotificationCenter::defaultCenter().post(
                                QStringLiteral("QVNetworkLibraryStatusOnNotification"), dbName);
                        });
                    } else {
                        const QString folder = library->packageFolder();
                        library->setOnlineStatus(!folder.isEmpty() && QFileInfo::exists(folder));
                    }
                    library->setName(QVTesselUtil::stringValueFromObject(map.value("name")));
                    library->setDesc(QVTesselUtil::stringValueFromObject(map.value("desc")));
                }
                if (completion) completion(true, std::nullopt);
            });
    });
}

void QVLibraryManager::connetToNetworkLibraryWithHost(const QString& host, qint64 port,
                                                      const QString& userID,
                                                      const QString& userPassword,
                                                      NetworkCompletion completion) {
    Dispatch::global([host, port, userID, userPassword, completion] {
        if (host.isNull() || userID.isNull() || userPassword.isNull()) {
            if (completion) completion({}, paramNilError());
            return;
        }
        const QString digest = StringMD5::MD5String(userPassword);
        const QUrl url = QVTesselUtil::serviceURL(host, port, {QStringLiteral("libraries")},
                                                  QStringLiteral("type=0"));
        QVTesselUtil::requestURL(
            url, userID, digest, QStringLiteral("GET"), std::nullopt,
            [host, port, userID, digest, completion](const QVariant& result,
                                                     const QVErrorOpt& error) {
                if (error) {
                    QVLog::log(QStringLiteral("connetToNetworkLibraryWithHost error:%1")
                                   .arg(QVTesselUtil::errorDescription(*error)));
                    if (completion) completion({}, error);
                    return;
                }
                // The records are new and private to this answer; they are made
                // here without the registry lock so the main thread never waits
                // behind a full load reading the disk.
                QVLibraryList found;
                const QVariant items = result.toMap().value("items");
                const QVariantList list =
                    items.typeId() == QMetaType::QVariantList ? items.toList() : QVariantList();
                for (const QVariant& item : list) {
                    auto library = QVLibrary::libraryWithDictionary(item);
                    if (!library) continue;
                    library->setLibraryType(1);
                    library->setOnlineStatus(true);
                    library->setConnection(
                        QVConnection::connectionWithAddress(host, port, userID, digest));
                    found.append(library);
                }
                if (completion) completion(found, std::nullopt);
            });
    });
}

// ---- Look-ups ----

std::shared_ptr<QVLibrary> QVLibraryManager::libraryForDBName(const QString& dbName) const {
    const QVLibraryList list = libraries();
    for (const auto& library : list)
        if (library->dbName() == dbName) return library;
    return nullptr;
}

bool QVLibraryManager::findLibrary(const std::shared_ptr<QVLibrary>& library) const {
    return library && libraryForDBName(library->dbName()) != nullptr;
}

qsizetype QVLibraryManager::indexOfLibrary(const std::shared_ptr<QVLibrary>& library) const {
    if (!library) return -1;
    return libraries().indexOf(library);
}

void QVLibraryManager::loadGroupsWithNewProject(const std::shared_ptr<QVProject>& newProject,
                                                const std::shared_ptr<QVProject>& curProject,
                                                bool* updated) {
    if (!updated || *updated) return;
    static const QVProjectList kNone;
    std::vector<std::pair<const QVProject*, const QVProject*>> work{
        {newProject.get(), curProject.get()}};
    std::unordered_set<const QVProject*> seen;
    while (!work.empty()) {
        const auto [fresh, current] = work.back();
        work.pop_back();
        if (fresh && !seen.insert(fresh).second) continue;
        const QVProjectList& freshChildren = fresh ? fresh->childGroups() : kNone;
        const QVProjectList& currentChildren = current ? current->childGroups() : kNone;
        if (freshChildren.size() != currentChildren.size()) {
            *updated = true;
            return;
        }
        for (qsizetype i = 0; i < freshChildren.size(); ++i) {
            const QVProject* a = freshChildren[i].get();
            const QVProject* b = currentChildren[i].get();
            if ((a ? a->name() : QString()) != (b ? b->name() : QString())) {
                *updated = true;
                return;
            }
            work.emplace_back(a, b);
        }
    }
}

// ---- Accessors ----

#define QV_STATE_FIELD(Type, getter, setter, member)   \
    Type QVLibraryManager::getter() const {            \
        std::lock_guard lock(stateMutex_);             \
        return member;                                 \
    }                                                  \
    void QVLibraryManager::setter(const Type& value) { \
        std::lock_guard lock(stateMutex_);             \
        member = value;                                \
    }

QV_STATE_FIELD(QVLibraryList, libraries, setLibraries, libraries_)
QV_STATE_FIELD(QString, localLibraryUserID, setLocalLibraryUserID, localLibraryUserID_)
QV_STATE_FIELD(QString, localLibraryPassword, setLocalLibraryPassword, localLibraryPassword_)
QV_STATE_FIELD(QVProjectList, currentProjects, setCurrentProjects, currentProjects_)
#undef QV_STATE_FIELD

QVariantMap QVLibraryManager::networkUserDict() const {
    std::lock_guard lock(stateMutex_);
    return detachedCopy(networkUserDict_).toMap();
}

void QVLibraryManager::setNetworkUserDict(const QVariantMap& networkUserDict) {
    const QVariant copy = detachedCopy(networkUserDict);
    std::lock_guard lock(stateMutex_);
    networkUserDict_ = copy.toMap();
}

qint64 QVLibraryManager::servicePort() const {
    std::lock_guard lock(stateMutex_);
    return servicePort_;
}

void QVLibraryManager::setServicePort(qint64 port) {
    std::lock_guard lock(stateMutex_);
    servicePort_ = port;
}

std::shared_ptr<QVLibrary> QVLibraryManager::currentLibrary() const {
    std::lock_guard lock(stateMutex_);
    return currentLibrary_;
}

void QVLibraryManager::setCurrentLibrary(const std::shared_ptr<QVLibrary>& library) {
    std::lock_guard lock(stateMutex_);
    currentLibrary_ = library;
    currentProjects_.clear();
}
