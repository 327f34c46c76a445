#include "library/QVProject.h"

#include <unordered_set>
#include <vector>

#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibrary.h"
#include "library/QVVariantText.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"

namespace {

const bool kRegistered = [] {
    KeyedUnarchiver::registerClass(QStringLiteral("QVProject"),
                                   [] { return std::make_shared<QVProject>(); });
    return true;
}();

}  // namespace

QVProject::~QVProject() {
    // Children are released from a work list: a node that we hold the last
    // reference to hands its own children over before it dies, so freeing a
    // deep tree never nests destructors.
    QVProjectList work;
    work.swap(childGroups_);
    while (!work.isEmpty()) {
        std::shared_ptr<QVProject> node = work.takeLast();
        if (node && node.use_count() == 1) {
            work.append(node->childGroups_);
            node->childGroups_.clear();
        }
    }
}

std::shared_ptr<QVProject> QVProject::projectWithID(const QString& projectID, const QString& name,
                                                    const QString& dbName, qint64 type) {
    if (projectID.isNull() || name.isNull() || dbName.isNull()) return nullptr;
    auto project = std::make_shared<QVProject>();
    project->id_ = projectID;
    project->name_ = name;
    project->dbName_ = dbName;
    project->projectType_ = type;
    return project;
}

std::shared_ptr<QVProject> QVProject::projectWithName(const QString& name, const QString& dbName,
                                                      qint64 type) {
    return projectWithID(QVTesselUtil::UUIDString(), name, dbName, type);
}

std::shared_ptr<QVProject> QVProject::projectWithDictionary(const QVariant& dictionary) {
    try {
        if (dictionary.typeId() != QMetaType::QVariantMap) return nullptr;
        const QVariantMap map = dictionary.toMap();
        return projectWithID(QVTesselUtil::stringValueFromObject(map.value("id")),
                             QVTesselUtil::stringValueFromObject(map.value("name")),
                             QVTesselUtil::stringValueFromObject(map.value("dbname")),
                             QVTesselUtil::integerValueFromObject(map.value("type")));
    } catch (const std::exception& e) {
        QVLog::log(QStringLiteral("projectWithDictionary : %1").arg(QString::fromUtf8(e.what())));
        return nullptr;
    }
}

std::optional<QVariantMap> QVProject::projectDictionary() const {
    QString missing;
    if (id_.isNull())
        missing = QStringLiteral("id");
    else if (name_.isNull())
        missing = QStringLiteral("name");
    else if (dbName_.isNull())
        missing = QStringLiteral("dbName");
    if (!missing.isNull()) {
        QVLog::log(QStringLiteral("libDictionary exception: %1")
                       .arg(QStringLiteral("attempt to insert nil object for %1").arg(missing)));
        return std::nullopt;
    }
    return QVariantMap{{"id", id_}, {"name", name_}, {"dbname", dbName_}, {"type", projectType_}};
}

QString QVProject::description() const {
    const auto dictionary = projectDictionary();
    return dictionary ? QVVariantText::describe(*dictionary) : QStringLiteral("(null)");
}

qsizetype QVProject::indexOfGroup(const std::shared_ptr<QVProject>& group) const {
    if (!group) return -1;
    const QString wanted = group->id();
    for (qsizetype i = 0; i < childGroups_.size(); ++i)
        if (childGroups_[i] && childGroups_[i]->id_ == wanted) return i;
    return -1;
}

std::shared_ptr<QVProject> QVProject::groupWithID(const QString& groupID) const {
    std::shared_ptr<QVProject> found;
    if (auto self = weak_from_this().lock()) {
        findGroupWithID(groupID, std::const_pointer_cast<QVProject>(self), &found);
        return found;
    }
    // A node not held by a shared pointer can only hand out its children.
    for (const auto& child : childGroups_) {
        findGroupWithID(groupID, child, &found);
        if (found) break;
    }
    return found;
}

void QVProject::findGroupWithID(const QString& groupID, const std::shared_ptr<QVProject>& parent,
                                std::shared_ptr<QVProject>* found) {
    if (!found || *found || !parent) return;
    // Pre-order: a node, then each child's subtree in order.
    std::vector<QVProject*> stack{parent.get()};
    std::unordered_set<const QVProject*> seen;
    while (!stack.empty()) {
        QVProject* node = stack.back();
        stack.pop_back();
        if (!seen.insert(node).second) continue;
        if (node->id_ == groupID) {
            *found = node->shared_from_this();
            return;
        }
        for (qsizetype i = node->childGroups_.size() - 1; i >= 0; --i)
            if (node->childGroups_[i]) stack.push_back(node->childGroups_[i].get());
    }
}

bool QVProject::isExistNameInChildGroups(const QString& name) const {
    for (const auto& child : childGroups_)
        if (child && child->name_ == name) return true;
    return false;
}

bool QVProject::isExistNameInChildGroups(const QString& name,
                                         const std::shared_ptr<QVProject>& parent) {
    return parent && parent->isExistNameInChildGroups(name);
}

qint64 QVProject::descendantCount() const {
    qint64 count = 0;
    std::vector<const QVProject*> stack{this};
    std::unordered_set<const QVProject*> seen{this};
    while (!stack.empty()) {
        const QVProject* node = stack.back();
        stack.pop_back();
        for (const auto& child : node->childGroups_) {
            if (!child || !seen.insert(child.get()).second) continue;
            ++count;
            stack.push_back(child.get());
        }
    }
    return count;
}

std::shared_ptr<QVProject> QVProject::findProjectWithGroup(
    const std::shared_ptr<QVProject>& group) {
    std::unordered_set<const QVProject*> seen;
    for (std::shared_ptr<QVProject> node = group; node; node = node->parent()) {
        if (!seen.insert(node.get()).second) return nullptr;  // a parent cycle has no top
        if (!node->parent()) return node;
        if (node->projectType_ != 1) return nullptr;
    }
    return nullptr;
}

QString QVProject::pathString() const {
    const auto parentNode = parent();
    if (!parentNode) return name_;
    return parentPath(parentNode, name_);
}

QString QVProject::parentPath(const std::shared_ptr<QVProject>& parent, const QString& path) {
    QStringList parts{path};
    std::unordered_set<const QVProject*> seen;
    for (std::shared_ptr<QVProject> node = parent; node && seen.insert(node.get()).second;
         node = node->parent())
        parts.prepend(node->name_);
    return parts.join(QLatin1Char('/'));
}

void QVProject::accessibilityForReferenceFilePaths(const QStringList& paths,
                                                   AccessCompletion completion) {
    if (!completion) completion = [](bool, const QVErrorOpt&, const QStringList&) {};
    const auto lib = library();
    const auto connection = lib ? lib->connection() : nullptr;
    QVariantList items;
    for (const QString& path : paths) items.append(QVariantMap{{"path", path}});
    const QVariantMap body{{"items", items}};

    auto finish = [paths, completion](const QVariant& result, const QVErrorOpt& error) {
        if (error) {
            if (error->code == 35) {
                completion(false, std::nullopt, paths);
            } else if (error->code == QVTesselErrorMalformedAnswer) {
                completion(false,
                           QVTesselUtil::errorWithCode(
                               10022, Localization::localizedString("version.need.update")),
                           paths);
            } else {
                completion(false, error, paths);
            }
            return;
        }
        QStringList failed;
        const QVariant failures = result.toMap().value("failures");
        if (failures.typeId() == QMetaType::QVariantList) {
            for (const QVariant& failure : failures.toList()) {
                if (failure.typeId() != QMetaType::QVariantMap) continue;
                const QString path =
                    QVTesselUtil::stringValueFromObject(failure.toMap().value("path"));
                if (!path.isNull()) failed.append(path);
            }
        }
        completion(true, std::nullopt, failed);
    };

    if (!lib || !connection) {
        // No service to ask: the same refusal as a request without credentials.
        finish(QVariant(), QVTesselUtil::errorWithCode(
                               QVTesselErrorParamNil,
                               Localization::localizedString("request.error.param.nil")));
        return;
    }
    const QUrl url = QVTesselUtil::serviceURL(connection->address(), connection->port(),
                                              {QStringLiteral("libraries"), lib->dbName(),
                                               QStringLiteral("assets"), QStringLiteral("access")});
    QVTesselUtil::requestURL(url, connection->userID(), connection->password(),
                             QStringLiteral("POST"), body, finish);
}

void QVProject::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeObject(library_.lock(), "library");
    coder.encodeObject(rootProject_.lock(), "rootProject");
    coder.encodeObject(parent_.lock(), "parent");
    coder.encodeString(id_, "id");
    coder.encodeString(name_, "name");
    coder.encodeString(dbName_, "dbName");
    coder.encodeObjects(childGroups_, "childGroups");
    coder.encodeInt64(projectType_, "projectType");
}

void QVProject::initWithCoder(const KeyedUnarchiver& coder) {
    library_ = coder.decodeObjectOfClass<QVLibrary>("library");
    rootProject_ = coder.decodeObjectOfClass<QVProject>("rootProject");
    parent_ = coder.decodeObjectOfClass<QVProject>("parent");
    id_ = coder.decodeString("id");
    name_ = coder.decodeString("name");
    dbName_ = coder.decodeString("dbName");
    childGroups_ = coder.decodeObjectsOfClass<QVProject>("childGroups");
    projectType_ = coder.decodeInt64("projectType");
    level_ = 0;
}
