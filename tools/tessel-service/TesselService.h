#pragma once

#include <functional>
#include <optional>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "Reply.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib
class AssetStore;
class RegistryWriter;
class RequestLog;
class Seed;
struct SeedLibrary;

// The HTTP endpoints of the stand-in Tessel service: system information,
// libraries, projects and the asset operations under /tessel/, plus the
// loopback-only /admin/ endpoints that tests use to inject faults and read
// the requests received.
class TesselService {
  public:
    TesselService(const Seed& seed, const RegistryWriter& registry, AssetStore& store,
                  FaultTable& faults, RequestLog& log, QStringList bindAddresses);

    void install(httplib::Server& server);

    static bool isLoopback(const std::string& address);

  private:
    using Handler = std::function<Reply(const httplib::Request&)>;
    // Records the request, applies the endpoint's fault, runs the handler.
    void serve(const QString& endpoint, const httplib::Request& request,
               httplib::Response& response, const Handler& handler);

    // Credentials of the Basic header: the local user for local libraries,
    // a library user with the uppercase MD5 of the password for network
    // libraries; with no library, anyone the service knows.
    bool authorized(const httplib::Request& request, const SeedLibrary* library) const;
    bool isLocalUser(const httplib::Request& request) const;
    // The library named in the path if it exists and is served at the
    // address the request came to.
    const SeedLibrary* libraryFor(const httplib::Request& request) const;
    // Authentication and lookup for every /tessel/libraries/NAME/... call;
    // sets reply to the refusal when the request cannot go on.
    const SeedLibrary* checkLibrary(const httplib::Request& request, Reply& reply) const;

    Reply system(const httplib::Request& request) const;
    Reply libraries(const httplib::Request& request) const;
    Reply library(const httplib::Request& request) const;
    Reply projects(const httplib::Request& request) const;
    Reply access(const httplib::Request& request) const;
    Reply uploadLocation(const httplib::Request& request) const;
    Reply create(const httplib::Request& request) const;
    Reply uploadComplete(const httplib::Request& request) const;
    Reply update(const httplib::Request& request) const;
    Reply assets(const httplib::Request& request) const;

    // The asset file named by stored or sent fields; null when the fields do
    // not name one inside the rules (import type 1: library root +
    // "masterpath"; import type 0: absolute "importfrompath").
    QString assetFile(const SeedLibrary& library, const QJsonObject& fields,
                      QString* problem) const;
    std::optional<QJsonArray> bodyItems(const httplib::Request& request, Reply& reply,
                                        bool allowEmpty = false) const;

    void installAdmin(httplib::Server& server);

    const Seed& seed_;
    const RegistryWriter& registry_;
    AssetStore& store_;
    FaultTable& faults_;
    RequestLog& log_;
    QStringList bindAddresses_;
};
