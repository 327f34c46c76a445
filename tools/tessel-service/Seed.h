#pragma once

#include <optional>
#include <vector>

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class JsonTree;

// One project or group of a library. Nodes live in their library's flat list
// and point at each other by index, so trees of any depth need no recursion.
struct SeedNode {
    QString id;
    QString name;
    qint64 type = 0;  // 0 project, 1 group (a seed may set other values)
    int parent = -1;
    int root = -1;  // the top-level project of the branch
    std::vector<int> children;
};

struct SeedUser {
    QString userId;
    QString password;  // clear text; requests carry its uppercase MD5
};

struct SeedLibrary {
    QString dbName;
    QString name;
    QString desc;
    qint64 type = 0;  // 0 local, 1 network
    bool shared = false;
    QString packageFolder;  // absolute
    QString mountPath;      // absolute or empty
    QString address;        // empty: the service's first bind address
    std::vector<SeedUser> users;
    bool rememberUser = true;  // first user goes to networkUsers.plist
    QString registry;          // "local", "network" or "none"
    QVariantMap registryOverride;
    QStringList registryRemove;
    std::vector<SeedNode> nodes;
    std::vector<int> roots;  // top-level projects, in order
    QHash<QString, int> nodeById;

    bool isLocal() const { return type == 0; }
    int nodeIndex(const QString& id) const { return nodeById.value(id, -1); }
};

// The libraries, projects, groups and users the service starts with.
class Seed {
  public:
    // Reads a seed file; relative package folders and mount paths resolve
    // against dataDir. Returns nothing and sets error on any invalid entry.
    static std::optional<Seed> load(const QString& path, const QString& dataDir, QString* error);
    static std::optional<Seed> fromJson(const QByteArray& json, const QString& dataDir,
                                        QString* error);

    // "DBNAME:PROJECT:DEPTH": appends a project named PROJECT (id PROJECT)
    // with a single chain of DEPTH nested groups (ids PROJECT-1 ... PROJECT-N).
    bool addDeepTree(const QString& specifier, QString* error);

    SeedLibrary* library(const QString& dbName);
    const SeedLibrary* library(const QString& dbName) const;

    QString localUserId = QStringLiteral("tessel");
    QString localPassword = QStringLiteral("tessel-local");
    std::vector<SeedLibrary> libraries;

  private:
    bool readLibrary(const JsonTree& tree, int object, const QString& dataDir, QString* error);
    static bool readProjects(const JsonTree& tree, int list, SeedLibrary& library, QString* error);
    static bool addNode(SeedLibrary& library, SeedNode node, QString* error);
};
