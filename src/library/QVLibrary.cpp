#include "library/QVLibrary.h"

#include <unistd.h>

#include <unordered_set>
#include <vector>

#include <QFile>
#include <QFileInfo>

#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibraryManager.h"
#include "library/QVVariantText.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"

namespace {

const bool kRegistered = [] {
    KeyedUnarchiver::registerClass(QStringLiteral("QVLibrary"),
                                   [] { return std::make_shared<QVLibrary>(); });
    return true;
}();

bool existsAt(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

QVError paramNilError() {
    return QVTesselUtil::errorWithCode(QVTesselErrorParamNil,
                                       Localization::localizedString("request.error.param.nil"));
}

}  // namespace

// ---- Construction and conversion ----

std::shared_ptr<QVLibrary> QVLibrary::libraryWithName(
    const QString& name, const QString& desc, qint64 libType, bool shared,
    const QString& packageFolder, const QString& mountPath,
    const std::shared_ptr<QVConnection>& connection) {
    if (name.isNull() || packageFolder.isNull() || !connection) return nullptr;
    auto library = std::make_shared<QVLibrary>();
    library->dbName_ = QVTesselUtil::UUIDString();
    library->name_ = name;
    library->desc_ = desc;
    library->libraryType_ = libType;
    library->isShared_ = shared;
    library->packageFolder_ = packageFolder;
    library->mountPath_ = mountPath;
    library->connection_ = connection;
    return library;
}

std::shared_ptr<QVLibrary> QVLibrary::libraryWithDictionary(const QVariant& dictionary) {
    if (!dictionary.isValid() || dictionary.isNull()) return nullptr;
    try {
        if (dictionary.typeId() != QMetaType::QVariantMap) {
            QVLog::log(QStringLiteral("libraryWithDictionary exception:%1")
                           .arg(QStringLiteral("entry is not a dictionary but %1")
                                    .arg(QString::fromLatin1(dictionary.typeName()))));
            return nullptr;
        }
        const QVariantMap map = dictionary.toMap();
        const QString dbName = QVTesselUtil::stringValueFromObject(map.value("dbname"));
        const QString name = QVTesselUtil::stringValueFromObject(map.value("name"));
        const QString desc = QVTesselUtil::stringValueFromObject(map.value("desc"));
        const QString packageFolder =
            QVTesselUtil::stringValueFromObject(map.value("packagefolder"));
        const QString mountPath = QVTesselUtil::stringValueFromObject(map.value("mountpath"));
        const qint64 type = QVTesselUtil::integerValueFromObject(map.value("type"));
        const qint64 port = QVTesselUtil::integerValueFromObject(map.value("port"));
        const QString address = QVTesselUtil::stringValueFromObject(map.value("address"));
        const qint64 shared = QVTesselUtil::integerValueFromObject(map.value("shared"));
        if (dbName.isNull() || name.isNull() || packageFolder.isNull()) return nullptr;

        auto connection = QVConnection::connectionWithAddress(address, port, QString(), QString());
        auto library =
            libraryWithName(name, desc, type, shared != 0, packageFolder, mountPath, connection);
        if (!library) return nullptr;
        library->dbName_ = dbName;
        library->onlineStatus_ = type == 0 && existsAt(packageFolder);
        return library;
    } catch (const std::exception& e) {
        QVLog::log(QStringLiteral("libraryWithDictionary exception:%1").arg(e.what()));
        return nullptr;
    }
}

std::optional<QVariantMap> QVLibrary::libDictionary() const {
    std::lock_guard lock(mutex_);
    const QString address = connection_ ? connection_->address() : QString();
    QString missing;
    if (dbName_.isNull())
        missing = QStringLiteral("dbname");
    else if (name_.isNull())
        missing = QStringLiteral("name");
    else if (packageFolder_.isNull())
        missing = QStringLiteral("packagefolder");
    else if (address.isNull())
        missing = QStringLiteral("address");
    if (!missing.isNull()) {
        QVLog::log(
            QStringLiteral("libDictionary exception: %1")
                .arg(QStringLiteral("attempt to insert nil object for key %1").arg(missing)));
        return std::nullopt;
    }
    return QVariantMap{
        {"dbname", dbName_},
        {"name", name_},
        {"desc", desc_.isNull() ? QStringLiteral("") : desc_},
        {"packagefolder", packageFolder_},
        {"mountpath", mountPath_.isNull() ? QStringLiteral("") : mountPath_},
        {"type", libraryType_},
        {"address", address},
        {"port", connection_->port()},
        {"shared", isShared_},
    };
}

QString QVLibrary::description() const {
    const auto dictionary = libDictionary();
    return dictionary ? QVVariantText::describe(*dictionary) : QStringLiteral("(null)");
}

// ---- Fields ----

#define QV_LOCKED_FIELD(Type, getter, setter, member) \
    Type QVLibrary::getter() const {                  \
        std::lock_guard lock(mutex_);                 \
        return member;                                \
    }                                                 \
    void QVLibrary::setter(const Type& value) {       \
        std::lock_guard lock(mutex_);                 \
        member = value;                               \
    }

QV_LOCKED_FIELD(QString, dbName, setDbName, dbName_)
QV_LOCKED_FIELD(QString, name, setName, name_)
QV_LOCKED_FIELD(QString, desc, setDesc, desc_)
QV_LOCKED_FIELD(QString, packageFolder, setPackageFolder, packageFolder_)
QV_LOCKED_FIELD(QString, mountPath, setMountPath, mountPath_)
QV_LOCKED_FIELD(std::shared_ptr<QVConnection>, connection, setConnection, connection_)
QV_LOCKED_FIELD(QVProjectList, projects, setProjects, projects_)
#undef QV_LOCKED_FIELD

qint64 QVLibrary::libraryType() const {
    std::lock_guard lock(mutex_);
    return libraryType_;
}

void QVLibrary::setLibraryType(qint64 type) {
    std::lock_guard lock(mutex_);
    libraryType_ = type;
}

bool QVLibrary::isShared() const {
    std::lock_guard lock(mutex_);
    return isShared_;
}

void QVLibrary::setIsShared(bool shared) {
    std::lock_guard lock(mutex_);
    isShared_ = shared;
}

// ---- Presentation ----

QString QVLibrary::libraryTypeString() const {
    switch (libraryType()) {
        case 0:
            return QStringLiteral("Local Library");
        case 1:
            return QStringLiteral("Network Library");
        default:
            return QStringLiteral("");
    }
}

QString QVLibrary::icon() const {
    return isLocalLibrary() ? QStringLiteral("librarybar.local")
                            : QStringLiteral("librarybar.network");
}

QString QVLibrary::descriptionString() const {
    const QString description = desc();
    if (!description.isEmpty()) return description;
    const auto conn = connection();
    const QString connectionText = conn ? conn->description() : QStringLiteral("None");
    if (connectionText.contains(QStringLiteral("tessel"))) return connectionText;
    if (!isLocalLibrary()) return libraryTypeString();
    return packageFolder();
}

qsizetype QVLibrary::index() const {
    const QVLibraryList libraries = QVLibraryManager::sharedManager().libraries();
    for (qsizetype i = 0; i < libraries.size(); ++i)
        if (libraries[i].get() == this) return i;
    return -1;
}

// ---- State ----

bool QVLibrary::isMountedPath(const QString& path, const QString& dbName) {
    if (path.isEmpty() || dbName.isNull()) return false;
    QString folder = path;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return QFileInfo::exists(folder + QStringLiteral("Database/") + dbName);
}

QString QVLibrary::mountFolder() const {
    std::lock_guard lock(mutex_);
    return libraryType_ == 0 ? packageFolder_ : mountPath_;
}

bool QVLibrary::isMountedLibrary() const {
    const QString folder = mountFolder();
    if (!existsAt(folder)) return false;
    return isMountedPath(folder, dbName());
}

bool QVLibrary::isWritableLibrary() const {
    if (!isMountedLibrary() || !onlineStatus()) return false;
    return ::access(QFile::encodeName(mountFolder()).constData(), W_OK) == 0;
}

// ---- Project tree ----

QUrl QVLibrary::projectsURL() const {
    const auto conn = connection();
    return QVTesselUtil::serviceURL(
        conn->address(), conn->port(),
        {QStringLiteral("libraries"), dbName(), QStringLiteral("projects")});
}

quint64 QVLibrary::beginLoad() {
    std::lock_guard lock(mutex_);
    projects_.clear();
    return ++loadGeneration_;
}

void QVLibrary::finishLoad(quint64 generation, const QVProjectList& projects) {
    std::lock_guard lock(mutex_);
    // An answer that arrives after a newer load began must not show its
    // older tree (or mix with the newer one).
    if (generation == loadGeneration_) projects_ = projects;
}

void QVLibrary::loadProjectsWithCompletion(ProjectsCompletion completion) {
    auto self = weak_from_this().lock();
    if (!completion) completion = [](const QVProjectList&, const QVErrorOpt&) {};
    if (!self) {  // a record nobody owns cannot outlive the request
        completion({}, paramNilError());
        return;
    }
    Dispatch::global([self, completion = std::move(completion)]() mutable {
        const quint64 generation = self->beginLoad();
        auto finish = [self, generation, completion](const QVariant& result,
                                                     const QVErrorOpt& error) {
            if (error) {
                QVLog::log(QStringLiteral("loadProjectsWithCompletion error:%1")
                               .arg(QVTesselUtil::errorDescription(*error)));
                completion({}, error);
                return;
            }
            const QVProjectList projects = self->projectsFromResponse(result);
            self->finishLoad(generation, projects);
            completion(projects, std::nullopt);
        };
        const auto conn = self->connection();
        if (!conn) {
            finish(QVariant(), paramNilError());
            return;
        }
        QVTesselUtil::requestURL(self->projectsURL(), conn->userID(), conn->password(),
                                 QStringLiteral("GET"), std::nullopt, finish);
    });
}

std::optional<QVProjectList> QVLibrary::loadProjectsWithError(QVErrorOpt* error) {
    const quint64 generation = beginLoad();
    const auto conn = connection();
    if (!conn) {
        if (error) *error = paramNilError();
        return std::nullopt;
    }
    QVErrorOpt requestError;
    const QVariant result =
        QVTesselUtil::syncRequestURL(projectsURL(), conn->userID(), conn->password(),
                                     QStringLiteral("GET"), std::nullopt, &requestError);
    if (error) *error = requestError;
    if (requestError || !result.isValid()) return std::nullopt;
    const QVProjectList projects = projectsFromResponse(result);
    finishLoad(generation, projects);
    return projects;
}

QVProjectList QVLibrary::projectsFromResponse(const QVariant& response) {
    QVProjectList projects;
    const QVariant list = response.toMap().value("projects");
    if (list.typeId() != QMetaType::QVariantList) return projects;
    auto self = weak_from_this().lock();
    for (const QVariant& object : list.toList()) {
        auto project = QVProject::projectWithDictionary(object);
        if (!project) continue;
        project->setLibrary(self);
        project->setRootProject(project);
        projects.append(project);
        loadGroupsWithParent(object, project, project);
    }
    return projects;
}

void QVLibrary::loadGroupsWithParent(const QVariant& dictionary,
                                     const std::shared_ptr<QVProject>& node,
                                     const std::shared_ptr<QVProject>& rootProject) {
    if (!node) return;
    auto self = weak_from_this().lock();
    // (object, node) pairs whose "group" lists are still to be read.
    std::vector<std::pair<QVariant, std::shared_ptr<QVProject>>> work{{dictionary, node}};
    while (!work.empty()) {
        auto [object, parent] = std::move(work.back());
        work.pop_back();
        const QVariant groups = object.toMap().value("group");
        if (groups.typeId() != QMetaType::QVariantList) continue;
        for (const QVariant& groupObject : groups.toList()) {
            auto group = QVProject::projectWithDictionary(groupObject);
            if (!group) continue;
            group->setLibrary(self);
            group->setParent(parent);
            group->setRootProject(rootProject);
            group->setLevel(parent->level() + 1);
            parent->addChildGroup(group);
            work.emplace_back(groupObject, group);
        }
    }
}

void QVLibrary::loadGroupWithProject(const std::shared_ptr<QVProject>& node,
                                     QVariantMap& dictionary) {
    if (!node) return;
    // Nodes in breadth-first order, so every child comes after its parent;
    // the dictionaries are then assembled from the last node back to the
    // first, children before parents, without recursion.
    struct Entry {
        const QVProject* node;
        QVariantMap dictionary;
        std::vector<size_t> children;
    };
    std::vector<Entry> entries{{node.get(), {}, {}}};
    std::unordered_set<const QVProject*> seen{node.get()};
    for (size_t i = 0; i < entries.size(); ++i) {
        for (const auto& child : entries[i].node->childGroups()) {
            if (!child || !seen.insert(child.get()).second) continue;
            auto childDictionary = child->projectDictionary();
            if (!childDictionary) continue;
            entries[i].children.push_back(entries.size());
            entries.push_back({child.get(), std::move(*childDictionary), {}});
        }
    }
    for (size_t i = entries.size(); i-- > 0;) {
        QVariantList groups;
        groups.reserve(qsizetype(entries[i].children.size()));
        for (size_t child : entries[i].children)
            groups.append(QVariant(std::move(entries[child].dictionary)));
        if (groups.isEmpty()) continue;
        if (i == 0)
            dictionary.insert("group", groups);
        else
            entries[i].dictionary.insert("group", groups);
    }
}

qsizetype QVLibrary::indexOfProject(const std::shared_ptr<QVProject>& project) const {
    if (!project) return -1;
    const QVProjectList list = projects();
    const QString wanted = project->id();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i]->id() == wanted) return i;
    return -1;
}

std::shared_ptr<QVProject> QVLibrary::projectWithID(const QString& projectID) const {
    const QVProjectList list = projects();
    for (const auto& project : list)
        if (project->id() == projectID) return project;
    for (const auto& project : list)
        if (auto found = project->groupWithID(projectID)) return found;
    return nullptr;
}

bool QVLibrary::isExistNameInProjects(const QString& name) const {
    const QVProjectList list = projects();
    for (const auto& project : list)
        if (project->name() == name) return true;
    return false;
}

bool QVLibrary::findLibrary(const QVariantMap& dictionary) const {
    return dictionary.contains(dbName());
}

// ---- Keyed archive ----

// The connection stays out of the archive: it holds the password. Archives
// written before still carry one under "connection"; it is not read back.
void QVLibrary::encodeWithCoder(KeyedArchiver& coder) const {
    std::unique_lock lock(mutex_);
    const qint64 type = libraryType_;
    const bool shared = isShared_;
    const QString dbName = dbName_, name = name_, desc = desc_;
    const QString packageFolder = packageFolder_, mountPath = mountPath_;
    const QVProjectList projects = projects_;
    lock.unlock();

    coder.encodeInt64(type, "libraryType");
    coder.encodeInt64(shared ? 1 : 0, "isShared");
    coder.encodeInt64(onlineStatus() ? 1 : 0, "onlineStatus");
    coder.encodeString(dbName, "dbName");
    coder.encodeString(name, "name");
    coder.encodeString(desc, "desc");
    coder.encodeString(packageFolder, "packageFolder");
    coder.encodeString(mountPath, "mountPath");
    coder.encodeObjects(projects, "projects");
}

void QVLibrary::initWithCoder(const KeyedUnarchiver& coder) {
    std::lock_guard lock(mutex_);
    libraryType_ = coder.decodeInt64("libraryType");
    isShared_ = coder.decodeBool("isShared");
    onlineStatus_ = coder.decodeBool("onlineStatus");
    dbName_ = coder.decodeString("dbName");
    name_ = coder.decodeString("name");
    desc_ = coder.decodeString("desc");
    packageFolder_ = coder.decodeString("packageFolder");
    mountPath_ = coder.decodeString("mountPath");
    projects_ = coder.decodeObjectsOfClass<QVProject>("projects");
    connection_.reset();
}
