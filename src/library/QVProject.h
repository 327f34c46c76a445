#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "library/KeyedCoding.h"
#include "platform/QVError.h"

class QVLibrary;
class QVProject;
using QVProjectList = QList<std::shared_ptr<QVProject>>;

// One node of a library's project tree: a top-level project (type 0) or a
// group (any other type). A node owns its child groups; library, parent and
// root are back references. Nodes are built before the tree is published to
// other threads and are not changed afterwards.
//
// Every walk over a tree (look-ups, counts, paths, archiving, destruction)
// is iterative, so trees thousands of levels deep are safe, and each walk
// visits a node at most once, so a tree that was wired into a cycle by hand
// cannot make it loop.
class QVProject : public KeyedCoding, public std::enable_shared_from_this<QVProject> {
  public:
    QVProject() = default;
    ~QVProject() override;
    QVProject(const QVProject&) = delete;
    QVProject& operator=(const QVProject&) = delete;

    // Null when projectID, name or dbName is null.
    static std::shared_ptr<QVProject> projectWithID(const QString& projectID, const QString& name,
                                                    const QString& dbName, qint64 type);
    // A node with a fresh UUID as its id.
    static std::shared_ptr<QVProject> projectWithName(const QString& name, const QString& dbName,
                                                      qint64 type);
    // Reads "id", "name", "dbname" and "type"; null when one of the strings
    // is missing.
    static std::shared_ptr<QVProject> projectWithDictionary(const QVariant& dictionary);
    // The four-key form; nothing when id, name or dbName is missing.
    std::optional<QVariantMap> projectDictionary() const;
    QString description() const;

    std::shared_ptr<QVLibrary> library() const { return library_.lock(); }
    void setLibrary(const std::shared_ptr<QVLibrary>& library) { library_ = library; }
    std::shared_ptr<QVProject> rootProject() const { return rootProject_.lock(); }
    void setRootProject(const std::shared_ptr<QVProject>& root) { rootProject_ = root; }
    std::shared_ptr<QVProject> parent() const { return parent_.lock(); }
    void setParent(const std::shared_ptr<QVProject>& parent) { parent_ = parent; }

    QString id() const { return id_; }
    void setId(const QString& projectID) { id_ = projectID; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    QString dbName() const { return dbName_; }
    void setDbName(const QString& dbName) { dbName_ = dbName; }
    qint64 projectType() const { return projectType_; }
    void setProjectType(qint64 type) { projectType_ = type; }
    qint64 level() const { return level_; }
    void setLevel(qint64 level) { level_ = level; }

    const QVProjectList& childGroups() const { return childGroups_; }
    void setChildGroups(const QVProjectList& groups) { childGroups_ = groups; }
    void addChildGroup(const std::shared_ptr<QVProject>& group) { childGroups_.append(group); }

    // Position of the child whose id equals group's id; -1 when none.
    qsizetype indexOfGroup(const std::shared_ptr<QVProject>& group) const;
    // This node or the first node below it, in pre-order, with the id.
    std::shared_ptr<QVProject> groupWithID(const QString& groupID) const;
    // Pre-order search from parent; leaves *found alone when it already
    // holds a node.
    static void findGroupWithID(const QString& groupID, const std::shared_ptr<QVProject>& parent,
                                std::shared_ptr<QVProject>* found);
    bool isExistNameInChildGroups(const QString& name) const;
    static bool isExistNameInChildGroups(const QString& name,
                                         const std::shared_ptr<QVProject>& parent);
    qint64 descendantCount() const;
    // The top-level project above group; null for a node of a type other
    // than 1 that has a parent.
    static std::shared_ptr<QVProject> findProjectWithGroup(const std::shared_ptr<QVProject>& group);
    // Names from the top-level project down to this node, joined with "/".
    QString pathString() const;
    // Prefixes path with parent's ancestors' names ("P/A/path").
    static QString parentPath(const std::shared_ptr<QVProject>& parent, const QString& path);

    using AccessCompletion =
        std::function<void(bool success, const QVErrorOpt& error, const QStringList& failedPaths)>;
    // Asks the library's service whether it can reach each path. The
    // completion runs once, on the main thread (or at once on the calling
    // thread when the connection lacks credentials).
    void accessibilityForReferenceFilePaths(const QStringList& paths, AccessCompletion completion);

    QString archiveClassName() const override { return QStringLiteral("QVProject"); }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(const KeyedUnarchiver& coder) override;

  private:
    std::weak_ptr<QVLibrary> library_;
    std::weak_ptr<QVProject> rootProject_;
    std::weak_ptr<QVProject> parent_;
    QString id_;
    QString name_;
    QString dbName_;
    qint64 projectType_ = 0;
    QVProjectList childGroups_;
    qint64 level_ = 0;
};
