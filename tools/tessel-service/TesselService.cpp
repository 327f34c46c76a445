#include "TesselService.h"

#include <httplib.h>

#include <chrono>
#include <thread>
#include <vector>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include "AssetStore.h"
#include "RegistryWriter.h"
#include "RequestLog.h"
#include "Seed.h"

namespace {

// The service's own error codes.
constexpr qint64 kUnknownEndpoint = 1;
constexpr qint64 kLibraryNotFound = 2;
constexpr qint64 kInvalidParameters = 4;
constexpr qint64 kProjectNotFound = 5;
constexpr qint64 kGroupNotFound = 6;
constexpr qint64 kFileNotFound = 7;
constexpr qint64 kAssetNotFound = 8;
constexpr qint64 kStorageFailure = 9;
constexpr qint64 kForbidden = 403;

// Every call about one library; the library and the endpoint are read from
// the raw target, since httplib decodes the path before routing and an
// encoded "/" in a name would otherwise split it.
const char* const kLibraryCalls = R"(/tessel/libraries/.+)";

// The segments of the request target's path, still percent-encoded.
QStringList rawSegments(const httplib::Request& request) {
    QString target = QString::fromStdString(request.target);
    const qsizetype query = target.indexOf(QLatin1Char('?'));
    if (query >= 0) target.truncate(query);
    return target.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

// NAME of /tessel/libraries/NAME/..., decoded.
QString libraryName(const httplib::Request& request) {
    const QStringList segments = rawSegments(request);
    if (segments.size() < 3) return {};
    return QUrl::fromPercentEncoding(segments.at(2).toUtf8());
}

// What follows NAME: "", "projects", "assets/create", ...
QString libraryCall(const httplib::Request& request) {
    return rawSegments(request).mid(3).join(QLatin1Char('/'));
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString md5Upper(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}

// user ID and password of a Basic authorization header.
std::optional<std::pair<QString, QString>> basicCredentials(const httplib::Request& request) {
    const std::string header = request.get_header_value("Authorization");
    if (header.rfind("Basic ", 0) != 0) return std::nullopt;
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(header.substr(6)));
    const qsizetype colon = decoded.indexOf(':');
    if (colon < 0) return std::nullopt;
    return std::make_pair(QString::fromUtf8(decoded.left(colon)),
                          QString::fromUtf8(decoded.mid(colon + 1)));
}

Reply invalid(const QString& message) {
    return Reply::failure(400, kInvalidParameters, message);
}

}  // namespace

TesselService::TesselService(const Seed& seed, const RegistryWriter& registry, AssetStore& store,
                             FaultTable& faults, RequestLog& log, QStringList bindAddresses)
    : seed_(seed),
      registry_(registry),
      store_(store),
      faults_(faults),
      log_(log),
      bindAddresses_(std::move(bindAddresses)) {}

bool TesselService::isLoopback(const std::string& address) {
    return address.rfind("127.", 0) == 0 || address == "::1" ||
           address.rfind("::ffff:127.", 0) == 0;
}

void TesselService::serve(const QString& endpoint, const httplib::Request& request,
                          httplib::Response& response, const Handler& handler) {
    RequestLog::Entry entry;
    entry.method = qs(request.method);
    entry.path = qs(request.target);
    entry.remoteAddress = qs(request.remote_addr);
    entry.localAddress = qs(request.local_addr);
    for (const auto& [name, value] : request.headers) {
        // httplib adds the connection's addresses as pseudo headers.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
            name == "LOCAL_PORT")
            continue;
        const QString key = qs(name);
        const QString previous = entry.headers.value(key).toString();
        entry.headers.insert(key, previous.isEmpty() ? qs(value) : previous + ", " + qs(value));
    }
    entry.body = QByteArray::fromStdString(request.body);
    const quint64 sequence = log_.record(endpoint, std::move(entry));

    const auto fault = faults_.take(endpoint);
    if (fault && Reply::sendReplacement(response, *fault)) return;
    if (fault && fault->kind == QLatin1String("delay"))
        std::this_thread::sleep_for(std::chrono::milliseconds(fault->arg.toInt()));
    handler(request).send(response, fault);
    log_.answered(endpoint, sequence);
}

bool TesselService::isLocalUser(const httplib::Request& request) const {
    const auto credentials = basicCredentials(request);
    return credentials && credentials->first == seed_.localUserId &&
           credentials->second == seed_.localPassword;
}

bool TesselService::authorized(const httplib::Request& request, const SeedLibrary* library) const {
    const auto credentials = basicCredentials(request);
    if (!credentials) return false;
    const auto networkUser = [&](const SeedLibrary& lib) {
        for (const SeedUser& user : lib.users)
            if (user.userId == credentials->first && md5Upper(user.password) == credentials->second)
                return true;
        return false;
    };
    if (library) return library->isLocal() ? isLocalUser(request) : networkUser(*library);
    if (isLocalUser(request)) return true;
    for (const SeedLibrary& lib : seed_.libraries)
        if (!lib.isLocal() && networkUser(lib)) return true;
    return false;
}

const SeedLibrary* TesselService::libraryFor(const httplib::Request& request) const {
    const SeedLibrary* library = seed_.library(libraryName(request));
    if (!library) return nullptr;
    // A library whose address is one of ours is served only there, so a
    // second loopback address behaves like another host.
    const QString address = registry_.addressOf(*library);
    if (bindAddresses_.contains(address) && address != qs(request.local_addr)) return nullptr;
    return library;
}

const SeedLibrary* TesselService::checkLibrary(const httplib::Request& request,
                                               Reply& reply) const {
    const SeedLibrary* library = libraryFor(request);
    if (!library) {
        reply =
            authorized(request, nullptr)
                ? Reply::failure(404, kLibraryNotFound,
                                 QStringLiteral("Library not found: %1").arg(libraryName(request)))
                : Reply::unauthorized();
        return nullptr;
    }
    if (!authorized(request, library)) {
        reply = Reply::unauthorized();
        return nullptr;
    }
    return library;
}

void TesselService::install(httplib::Server& server) {
    using Req = const httplib::Request&;
    using Res = httplib::Response&;
    using Method = Reply (TesselService::*)(Req) const;
    auto bind = [this](const char* endpoint, Method method) {
        return [this, endpoint, method](Req request, Res response) {
            serve(QString::fromLatin1(endpoint), request, response,
                  [this, method](Req r) { return (this->*method)(r); });
        };
    };
    struct Call {
        const char* path;  // after /tessel/libraries/NAME
        const char* endpoint;
        Method method;
    };
    // Calls of one HTTP method on /tessel/libraries/NAME/...
    auto libraryCalls = [this](std::vector<Call> calls) {
        return [this, calls](Req request, Res response) {
            const QString path = libraryCall(request);
            for (const Call& call : calls) {
                if (path != QLatin1String(call.path)) continue;
                serve(QString::fromLatin1(call.endpoint), request, response,
                      [this, &call](Req r) { return (this->*call.method)(r); });
                return;
            }
            Reply::failure(404, kUnknownEndpoint,
                           QStringLiteral("No endpoint %1 %2")
                               .arg(qs(request.method), QString::fromStdString(request.target)))
                .send(response, std::nullopt);
        };
    };
    server.Get("/tessel/system", bind("system", &TesselService::system));
    server.Get("/tessel/libraries", bind("libraries", &TesselService::libraries));
    server.Get(kLibraryCalls,
               libraryCalls({{"", "library", &TesselService::library},
                             {"projects", "projects", &TesselService::projects},
                             {"assets/upload", "upload-location", &TesselService::uploadLocation},
                             {"assets", "assets", &TesselService::assets}}));
    server.Post(kLibraryCalls,
                libraryCalls({{"assets/access", "access", &TesselService::access},
                              {"assets/create", "create", &TesselService::create},
                              {"assets/upload", "upload", &TesselService::uploadComplete},
                              {"assets/update", "update", &TesselService::update}}));
    installAdmin(server);
    server.set_error_handler([](Req request, Res response) {
        if (!response.body.empty()) return;
        const int status = response.status;
        Reply::failure(
            status, kUnknownEndpoint,
            QStringLiteral("No endpoint %1 %2").arg(qs(request.method), qs(request.path)))
            .send(response, std::nullopt);
    });
}

Reply TesselService::system(const httplib::Request& request) const {
    if (!isLoopback(request.remote_addr))
        return Reply::failure(403, kForbidden,
                              QStringLiteral("System information is given to local clients only"));
    if (!request.has_param("id")) return invalid(QStringLiteral("Missing parameter id"));
    return Reply::success(QJsonObject{{QStringLiteral("id"), seed_.localUserId},
                                      {QStringLiteral("password"), seed_.localPassword}});
}

Reply TesselService::libraries(const httplib::Request& request) const {
    if (!authorized(request, nullptr)) return Reply::unauthorized();
    qint64 type = 0;
    if (request.has_param("type")) {
        bool ok = false;
        type = qs(request.get_param_value("type")).toLongLong(&ok);
        if (!ok) return invalid(QStringLiteral("Parameter type must be an integer"));
    }
    const bool local = isLocalUser(request);
    const auto credentials = basicCredentials(request);
    QJsonArray items;
    for (const SeedLibrary& lib : seed_.libraries) {
        const QString address = registry_.addressOf(lib);
        if (bindAddresses_.contains(address) && address != qs(request.local_addr)) continue;
        if (type != 0 && lib.type != type) continue;  // 0 lists every kind
        bool visible = local;
        for (const SeedUser& user : lib.users)
            visible = visible || (!lib.isLocal() && user.userId == credentials->first &&
                                  md5Upper(user.password) == credentials->second);
        if (visible) items.append(QJsonObject::fromVariantMap(registry_.libraryDictionary(lib)));
    }
    return Reply::success(QJsonObject{{QStringLiteral("items"), items}});
}

Reply TesselService::library(const httplib::Request& request) const {
    Reply refusal;
    const SeedLibrary* lib = checkLibrary(request, refusal);
    if (!lib) return refusal;
    return Reply::success(
        QJsonObject{{QStringLiteral("items"),
                     QJsonArray{QJsonObject::fromVariantMap(registry_.libraryDictionary(*lib))}}});
}

Reply TesselService::projects(const httplib::Request& request) const {
    Reply refusal;
    const SeedLibrary* lib = checkLibrary(request, refusal);
    if (!lib) return refusal;
    Reply reply = Reply::success();
    reply.projects = lib;
    return reply;
}

std::optional<QJsonArray> TesselService::bodyItems(const httplib::Request& request, Reply& reply,
                                                   bool allowEmpty) const {
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &parseError);
    if (!document.isObject()) {
        reply = invalid(QStringLiteral("The body must be a JSON object with \"items\""));
        return std::nullopt;
    }
    const QJsonValue items = document.object().value(QStringLiteral("items"));
    if (!items.isArray() || (items.toArray().isEmpty() && !allowEmpty)) {
        reply = invalid(QStringLiteral("\"items\" must be a non-empty array"));
        return std::nullopt;
    }
    for (const QJsonValue& item : items.toArray()) {
        if (!item.isObject()) {
            reply = invalid(QStringLiteral("Every element of \"items\" must be an object"));
            return std::nullopt;
        }
    }
    return items.toArray();
}

Reply TesselService::access(const httplib::Request& request) const {
    Reply reply;
    const SeedLibrary* lib = checkLibrary(request, reply);
    if (!lib) return reply;
    const auto items = bodyItems(request, reply, true);
    if (!items) return reply;
    QJsonArray failures;
    for (const QJsonValue& item : *items) {
        const QJsonValue path = item.toObject().value(QStringLiteral("path"));
        if (!path.isString()) continue;
        const QFileInfo info(path.toString());
        QString reason;
        if (info.isRelative())
            reason = QStringLiteral("not an absolute path");
        else if (!info.exists())
            reason = QStringLiteral("no such file or folder");
        else if (!info.isReadable())
            reason = QStringLiteral("not readable by the service");
        if (!reason.isEmpty())
            failures.append(QJsonObject{{QStringLiteral("path"), path.toString()},
                                        {QStringLiteral("reason"), reason}});
    }
    return Reply::success(QJsonObject{{QStringLiteral("failures"), failures}});
}

Reply TesselService::uploadLocation(const httplib::Request& request) const {
    Reply refusal;
    const SeedLibrary* lib = checkLibrary(request, refusal);
    if (!lib) return refusal;
    const QString datePath = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy/MM/dd"));
    const QString mediaPath = QStringLiteral("Media/Master/") + datePath;
    if (!QDir(lib->packageFolder).mkpath(mediaPath))
        return Reply::failure(500, kStorageFailure,
                              QStringLiteral("Cannot create %1 in the library").arg(mediaPath));
    const QString url = QStringLiteral("http://%1:%2/tessel/libraries/%3/media/%4")
                            .arg(qs(request.local_addr))
                            .arg(request.local_port)
                            .arg(lib->dbName, mediaPath);
    return Reply::success(QJsonObject{{QStringLiteral("mediapath"), mediaPath},
                                      {QStringLiteral("path"), datePath},
                                      {QStringLiteral("url"), url},
                                      {QStringLiteral("dbname"), lib->dbName}});
}

QString TesselService::assetFile(const SeedLibrary& library, const QJsonObject& fields,
                                 QString* problem) const {
    const QJsonValue type = fields.value(QStringLiteral("importtype"));
    if (!type.isDouble() || (type.toDouble() != 0 && type.toDouble() != 1)) {
        *problem = QStringLiteral("\"importtype\" must be 0 or 1");
        return {};
    }
    if (type.toDouble() == 1) {
        const QString master = fields.value(QStringLiteral("masterpath")).toString();
        if (master.isEmpty()) {
            *problem = QStringLiteral("\"masterpath\" is required for import type 1");
            return {};
        }
        const QString root = QDir::cleanPath(library.packageFolder);
        const QString path = QDir::cleanPath(root + QLatin1Char('/') + master);
        if (!path.startsWith(root + QLatin1Char('/'))) {
            *problem = QStringLiteral("\"masterpath\" leads outside the library: %1").arg(master);
            return {};
        }
        return path;
    }
    const QString from = fields.value(QStringLiteral("importfrompath")).toString();
    if (from.isEmpty() || QFileInfo(from).isRelative()) {
        *problem = QStringLiteral("\"importfrompath\" must be an absolute path for import type 0");
        return {};
    }
    return QDir::cleanPath(from);
}

Reply TesselService::create(const httplib::Request& request) const {
    Reply reply;
    const SeedLibrary* lib = checkLibrary(request, reply);
    if (!lib) return reply;
    const auto items = bodyItems(request, reply);
    if (!items) return reply;
    std::vector<QJsonObject> assets;
    for (const QJsonValue& value : *items) {
        const QJsonObject item = value.toObject();
        if (item.value(QStringLiteral("name")).toString().isEmpty())
            return invalid(QStringLiteral("Every asset needs a \"name\""));
        const QString projectId = item.value(QStringLiteral("project")).toString();
        const int project = lib->nodeIndex(projectId);
        if (project < 0 || lib->nodes[static_cast<size_t>(project)].parent >= 0)
            return Reply::failure(404, kProjectNotFound,
                                  QStringLiteral("Project not found: %1").arg(projectId));
        const QJsonValue groupValue = item.value(QStringLiteral("group"));
        if (!groupValue.isUndefined() && !groupValue.isNull() && !groupValue.isString())
            return invalid(QStringLiteral("\"group\" must be a string"));
        const QString groupId = groupValue.toString();
        if (!groupId.isEmpty()) {
            const int group = lib->nodeIndex(groupId);
            if (group < 0 || group == project ||
                lib->nodes[static_cast<size_t>(group)].root != project)
                return Reply::failure(
                    404, kGroupNotFound,
                    QStringLiteral("Group %1 not found in project %2").arg(groupId, projectId));
        }
        QString problem;
        const QString file = assetFile(*lib, item, &problem);
        if (file.isEmpty()) return invalid(problem);
        if (!QFileInfo(file).isFile())
            return Reply::failure(404, kFileNotFound,
                                  QStringLiteral("File not found: %1").arg(file));
        assets.push_back(item);
    }
    // Kept beside the client's fields (and not answered) so that tests can
    // tell whether a file was registered before it was complete.
    std::vector<QJsonObject> stored = assets;
    for (size_t i = 0; i < stored.size(); ++i) {
        QString ignored;
        stored[i].insert(QStringLiteral("_sizeatcreation"),
                         QFileInfo(assetFile(*lib, assets[i], &ignored)).size());
    }
    QString error;
    const auto ids = store_.create(lib->dbName, stored, &error);
    if (!ids)
        return Reply::failure(500, kStorageFailure,
                              QStringLiteral("Storage failed: %1").arg(error));
    QJsonArray created;
    for (size_t i = 0; i < ids->size(); ++i) {
        QJsonObject item = assets[i];
        item.insert(QStringLiteral("_id"), (*ids)[i]);
        created.append(item);
    }
    return Reply::success(QJsonObject{{QStringLiteral("items"), created}});
}

Reply TesselService::uploadComplete(const httplib::Request& request) const {
    Reply reply;
    const SeedLibrary* lib = checkLibrary(request, reply);
    if (!lib) return reply;
    const auto items = bodyItems(request, reply);
    if (!items) return reply;
    QStringList ids;
    for (const QJsonValue& value : *items) {
        const QString id = value.toObject().value(QStringLiteral("_id")).toString();
        if (id.isEmpty()) return invalid(QStringLiteral("Every item needs an \"_id\""));
        const auto fields = store_.fields(lib->dbName, id);
        if (!fields)
            return Reply::failure(404, kAssetNotFound,
                                  QStringLiteral("Asset not found: %1").arg(id));
        // Completing an upload confirms the file is in place.
        QString problem;
        const QString file = assetFile(*lib, *fields, &problem);
        if (file.isEmpty() || !QFileInfo(file).isFile())
            return Reply::failure(404, kFileNotFound,
                                  QStringLiteral("File of asset %1 not found: %2")
                                      .arg(id, file.isEmpty() ? problem : file));
        ids.append(id);
    }
    for (const QString& id : ids) {
        QString error;
        if (store_.markComplete(lib->dbName, id, &error) != AssetStore::Result::Done)
            return Reply::failure(500, kStorageFailure,
                                  QStringLiteral("Storage failed: %1").arg(error));
    }
    return Reply::success();
}

Reply TesselService::update(const httplib::Request& request) const {
    Reply reply;
    const SeedLibrary* lib = checkLibrary(request, reply);
    if (!lib) return reply;
    const auto items = bodyItems(request, reply);
    if (!items) return reply;
    for (const QJsonValue& value : *items) {
        const QString id = value.toObject().value(QStringLiteral("_id")).toString();
        if (id.isEmpty()) return invalid(QStringLiteral("Every item needs an \"_id\""));
        if (!store_.fields(lib->dbName, id))
            return Reply::failure(404, kAssetNotFound,
                                  QStringLiteral("Asset not found: %1").arg(id));
    }
    for (const QJsonValue& value : *items) {
        const QJsonObject item = value.toObject();
        QString error;
        const auto result =
            store_.update(lib->dbName, item.value(QStringLiteral("_id")).toString(), item, &error);
        if (result != AssetStore::Result::Done)
            return Reply::failure(500, kStorageFailure,
                                  QStringLiteral("Storage failed: %1").arg(error));
    }
    return Reply::success();
}

Reply TesselService::assets(const httplib::Request& request) const {
    const SeedLibrary* lib = libraryFor(request);
    if (!isLoopback(request.remote_addr) && !authorized(request, lib)) return Reply::unauthorized();
    if (!lib)
        return Reply::failure(404, kLibraryNotFound,
                              QStringLiteral("Library not found: %1").arg(libraryName(request)));
    return Reply::success(QJsonObject{{QStringLiteral("items"), store_.list(lib->dbName)}});
}

void TesselService::installAdmin(httplib::Server& server) {
    using Req = const httplib::Request&;
    using Res = httplib::Response&;
    // Admin calls change the service's behaviour: loopback clients only.
    auto guarded = [](std::function<Reply(Req)> handler) {
        return [handler](Req request, Res response) {
            if (!isLoopback(request.remote_addr)) {
                Reply::failure(403, kForbidden, QStringLiteral("Admin calls are local only"))
                    .send(response, std::nullopt);
                return;
            }
            handler(request).send(response, std::nullopt);
        };
    };
    server.Get("/admin/faults", guarded([this](Req) {
                   return Reply::success(QJsonObject{{QStringLiteral("faults"), faults_.toJson()}});
               }));
    server.Post(
        "/admin/faults", guarded([this](Req request) {
            const QJsonObject body =
                QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
            const QJsonValue times = body.value(QStringLiteral("times"));
            const QJsonValue arg = body.value(QStringLiteral("arg"));
            QString error;
            if (!faults_.set(body.value(QStringLiteral("endpoint")).toString(),
                             body.value(QStringLiteral("kind")).toString(),
                             arg.isDouble() ? QString::number(arg.toInteger()) : arg.toString(),
                             times.toInt(0), &error))
                return invalid(error);
            return Reply::success(QJsonObject{{QStringLiteral("faults"), faults_.toJson()}});
        }));
    server.Delete("/admin/faults", guarded([this](Req) {
                      faults_.clear();
                      return Reply::success();
                  }));
    server.Get("/admin/requests", guarded([this](Req request) {
                   const QString endpoint = qs(request.get_param_value("endpoint"));
                   return Reply::success(
                       QJsonObject{{QStringLiteral("endpoints"), log_.toJson(endpoint)}});
               }));
    server.Delete("/admin/requests", guarded([this](Req) {
                      log_.clear();
                      return Reply::success();
                  }));
}
