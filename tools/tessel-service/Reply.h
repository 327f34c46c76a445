#pragma once

#include <optional>

#include <QJsonObject>
#include <QString>

#include "FaultTable.h"

namespace httplib {
struct Response;
}
struct SeedLibrary;

// One answer of the service: the JSON envelope ("error", "domain",
// "message") with the endpoint's fields beside it, and its HTTP status.
struct Reply {
    int status = 200;
    QJsonObject body;
    // Set for the projects endpoint: the tree is written under "projects".
    const SeedLibrary* projects = nullptr;

    static const QString& domain();
    static Reply success(QJsonObject fields = {});
    static Reply failure(int httpStatus, qint64 code, const QString& message);
    static Reply unauthorized();

    // Writes the reply into the HTTP response, shaped by a fault of the kinds
    // that alter a normal answer (nomessage, plist, 500).
    void send(httplib::Response& response, const std::optional<FaultTable::Fault>& fault) const;
    // Answers a fault that replaces the normal answer (error, empty, html,
    // array, drop, 401). Returns false for the other kinds.
    static bool sendReplacement(httplib::Response& response, const FaultTable::Fault& fault);
};
