#include "Seed.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "JsonTree.h"

namespace {

using Kind = JsonTree::Kind;

QString absoluteIn(const QString& dataDir, const QString& path) {
    if (path.isEmpty()) return path;
    return QDir::cleanPath(QDir(dataDir).absoluteFilePath(path));
}

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

// A library's database name becomes a URL segment (clients encode it) and
// part of folder paths (Database/NAME): any text without control characters
// whose "/"-separated parts stay inside those folders.
bool validDbName(const QString& name) {
    for (const QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    for (const QString& part : name.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    return true;
}

// Converts a JSON scalar, array or shallow object into a QVariant (used for
// registry overrides only, which are flat).
QVariant toVariant(const JsonTree& tree, int index) {
    const auto& n = tree.node(index);
    switch (n.kind) {
        case Kind::Null:
            return {};
        case Kind::Bool:
            return n.boolean;
        case Kind::Number:
            return n.integral ? QVariant(n.integer) : QVariant(n.number);
        case Kind::String:
            return n.string;
        case Kind::Array: {
            QVariantList list;
            for (int item : n.items) list.append(toVariant(tree, item));
            return list;
        }
        case Kind::Object: {
            QVariantMap map;
            for (const auto& [key, value] : n.members) map.insert(key, toVariant(tree, value));
            return map;
        }
    }
    return {};
}

}  // namespace

std::optional<Seed> Seed::load(const QString& path, const QString& dataDir, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("cannot read seed %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return fromJson(file.readAll(), dataDir, error);
}

std::optional<Seed> Seed::fromJson(const QByteArray& json, const QString& dataDir, QString* error) {
    JsonTree tree;
    QString parseError;
    if (!tree.parse(json, &parseError)) {
        fail(error, QStringLiteral("seed is not valid JSON: %1").arg(parseError));
        return std::nullopt;
    }
    const int root = tree.root();
    if (tree.kind(root) != Kind::Object) {
        fail(error, QStringLiteral("seed must be a JSON object"));
        return std::nullopt;
    }
    Seed seed;
    const int user = tree.member(root, QStringLiteral("localuser"));
    if (user >= 0) {
        bool ok = tree.kind(user) == Kind::Object;
        seed.localUserId = tree.stringMember(user, QStringLiteral("id"), seed.localUserId, &ok);
        seed.localPassword =
            tree.stringMember(user, QStringLiteral("password"), seed.localPassword, &ok);
        if (!ok) {
            fail(error, QStringLiteral("\"localuser\" needs string \"id\" and \"password\""));
            return std::nullopt;
        }
    }
    const int libraries = tree.member(root, QStringLiteral("libraries"));
    if (tree.kind(libraries) != Kind::Array) {
        fail(error, QStringLiteral("seed needs a \"libraries\" array"));
        return std::nullopt;
    }
    for (int entry : tree.node(libraries).items)
        if (!seed.readLibrary(tree, entry, dataDir, error)) return std::nullopt;
    return seed;
}

bool Seed::readLibrary(const JsonTree& tree, int object, const QString& dataDir, QString* error) {
    if (tree.kind(object) != Kind::Object)
        return fail(error, QStringLiteral("every library must be a JSON object"));
    SeedLibrary lib;
    bool ok = true;
    lib.dbName = tree.stringMember(object, QStringLiteral("dbname"), {}, &ok);
    if (!ok || !validDbName(lib.dbName))
        return fail(
            error, QStringLiteral("library \"dbname\" missing or not usable as a folder name: '%1'")
                       .arg(lib.dbName));
    if (library(lib.dbName))
        return fail(error, QStringLiteral("duplicate library dbname '%1'").arg(lib.dbName));
    const QString where = QStringLiteral("library '%1': ").arg(lib.dbName);
    lib.name = tree.stringMember(object, QStringLiteral("name"), {}, &ok);
    lib.desc = tree.stringMember(object, QStringLiteral("desc"), {}, &ok);
    lib.type = tree.integerMember(object, QStringLiteral("type"), 0, &ok);
    lib.shared = tree.boolMember(object, QStringLiteral("shared"), false, &ok);
    lib.packageFolder = tree.stringMember(object, QStringLiteral("packagefolder"), {}, &ok);
    lib.mountPath = tree.stringMember(object, QStringLiteral("mountpath"), {}, &ok);
    lib.address = tree.stringMember(object, QStringLiteral("address"), {}, &ok);
    lib.rememberUser = tree.boolMember(object, QStringLiteral("rememberuser"), true, &ok);
    lib.registry = tree.stringMember(object, QStringLiteral("registry"), {}, &ok);
    if (!ok) return fail(error, where + QStringLiteral("a field has the wrong JSON type"));
    if (lib.name.isEmpty()) return fail(error, where + QStringLiteral("\"name\" is required"));
    if (lib.registry.isEmpty())
        lib.registry = lib.isLocal() ? QStringLiteral("local") : QStringLiteral("network");
    if (lib.registry != QLatin1String("local") && lib.registry != QLatin1String("network") &&
        lib.registry != QLatin1String("none"))
        return fail(error, where + QStringLiteral("\"registry\" must be local, network or none"));

    if (lib.packageFolder.isEmpty())
        lib.packageFolder = QStringLiteral("Libraries/%1.tlibrary").arg(lib.dbName);
    lib.packageFolder = absoluteIn(dataDir, lib.packageFolder);
    lib.mountPath = absoluteIn(dataDir, lib.mountPath);
    if (lib.mountPath.isEmpty() && !lib.isLocal()) lib.mountPath = lib.packageFolder;

    const int users = tree.member(object, QStringLiteral("users"));
    if (users >= 0) {
        if (tree.kind(users) != Kind::Array)
            return fail(error, where + QStringLiteral("\"users\" must be an array"));
        for (int u : tree.node(users).items) {
            SeedUser user;
            bool userOk = tree.kind(u) == Kind::Object;
            user.userId = tree.stringMember(u, QStringLiteral("userid"), {}, &userOk);
            user.password = tree.stringMember(u, QStringLiteral("password"), {}, &userOk);
            if (!userOk || user.userId.isEmpty())
                return fail(error,
                            where + QStringLiteral("each user needs \"userid\" and \"password\""));
            lib.users.push_back(user);
        }
    }

    const int entry = tree.member(object, QStringLiteral("registryentry"));
    if (entry >= 0) {
        if (tree.kind(entry) != Kind::Object)
            return fail(error, where + QStringLiteral("\"registryentry\" must be an object"));
        for (const auto& [key, value] : tree.node(entry).members) {
            if (tree.kind(value) == Kind::Null)
                lib.registryRemove.append(key);
            else
                lib.registryOverride.insert(key, toVariant(tree, value));
        }
    }

    const int projects = tree.member(object, QStringLiteral("projects"));
    if (projects >= 0 && !readProjects(tree, projects, lib, error)) {
        if (error) *error = where + *error;
        return false;
    }
    libraries.push_back(std::move(lib));
    return true;
}

bool Seed::addNode(SeedLibrary& library, SeedNode node, QString* error) {
    if (node.name.isEmpty())
        return fail(error, QStringLiteral("every project and group needs a name"));
    if (node.id.isEmpty())
        node.id =
            QStringLiteral("%1-%2").arg(library.dbName, QString::number(library.nodes.size() + 1));
    if (library.nodeById.contains(node.id))
        return fail(error, QStringLiteral("duplicate project or group id '%1'").arg(node.id));
    const int index = static_cast<int>(library.nodes.size());
    if (node.parent < 0) {
        node.root = index;
        library.roots.push_back(index);
    } else {
        node.root = library.nodes[static_cast<size_t>(node.parent)].root;
        library.nodes[static_cast<size_t>(node.parent)].children.push_back(index);
    }
    library.nodeById.insert(node.id, index);
    library.nodes.push_back(std::move(node));
    return true;
}

bool Seed::readProjects(const JsonTree& tree, int list, SeedLibrary& library, QString* error) {
    if (tree.kind(list) != Kind::Array)
        return fail(error, QStringLiteral("\"projects\" must be an array"));
    struct Pending {
        int object;
        int parent;
    };
    std::vector<Pending> stack;
    const auto& top = tree.node(list).items;
    for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back({*it, -1});
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (tree.kind(p.object) != Kind::Object)
            return fail(error, QStringLiteral("every project and group must be a JSON object"));
        SeedNode node;
        bool ok = true;
        node.id = tree.stringMember(p.object, QStringLiteral("id"), {}, &ok);
        node.name = tree.stringMember(p.object, QStringLiteral("name"), {}, &ok);
        node.type = tree.integerMember(p.object, QStringLiteral("type"), p.parent < 0 ? 0 : 1, &ok);
        if (!ok)
            return fail(error, QStringLiteral("a project or group field has the wrong JSON type"));
        node.parent = p.parent;
        if (!addNode(library, node, error)) return false;
        const int index = static_cast<int>(library.nodes.size() - 1);
        int groups = tree.member(p.object, QStringLiteral("group"));
        if (groups < 0) groups = tree.member(p.object, QStringLiteral("groups"));
        if (groups < 0) continue;
        if (tree.kind(groups) != Kind::Array)
            return fail(error, QStringLiteral("\"group\" must be an array"));
        const auto& children = tree.node(groups).items;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({*it, index});
    }
    return true;
}

bool Seed::addDeepTree(const QString& specifier, QString* error) {
    const QStringList parts = specifier.split(QLatin1Char(':'));
    bool ok = false;
    const qint64 depth = parts.size() == 3 ? parts[2].toLongLong(&ok) : 0;
    if (!ok || depth < 0 || parts[1].isEmpty())
        return fail(
            error,
            QStringLiteral("--deep-tree wants DBNAME:PROJECT:DEPTH, got '%1'").arg(specifier));
    SeedLibrary* lib = library(parts[0]);
    if (!lib)
        return fail(error,
                    QStringLiteral("--deep-tree: no library '%1' in the seed").arg(parts[0]));
    SeedNode project;
    project.id = parts[1];
    project.name = parts[1];
    if (!addNode(*lib, project, error)) return false;
    int parent = static_cast<int>(lib->nodes.size() - 1);
    for (qint64 level = 1; level <= depth; ++level) {
        SeedNode group;
        group.id = QStringLiteral("%1-%2").arg(parts[1]).arg(level);
        group.name = QStringLiteral("Level %1").arg(level);
        group.type = 1;
        group.parent = parent;
        if (!addNode(*lib, group, error)) return false;
        parent = static_cast<int>(lib->nodes.size() - 1);
    }
    return true;
}

SeedLibrary* Seed::library(const QString& dbName) {
    for (auto& lib : libraries)
        if (lib.dbName == dbName) return &lib;
    return nullptr;
}

const SeedLibrary* Seed::library(const QString& dbName) const {
    for (const auto& lib : libraries)
        if (lib.dbName == dbName) return &lib;
    return nullptr;
}
