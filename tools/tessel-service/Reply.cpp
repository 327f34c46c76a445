#include "Reply.h"

#include <httplib.h>

#include <QJsonDocument>

#include "PlistWriter.h"
#include "ProjectTreeWriter.h"

namespace {

void setBody(httplib::Response& response, const QByteArray& body, const char* type) {
    response.set_content(body.constData(), static_cast<size_t>(body.size()), type);
}

// httplib compresses a body typed exactly "application/json" whenever the
// client accepts it, with Brotli at its slowest setting when offered (Qt
// offers it): about 0.4 ms of CPU for an answer of a hundred bytes, more
// than the answer's own work, paid on every request of every share. The
// charset names JSON's only encoding and keeps the answer as it is.
constexpr const char* kJson = "application/json; charset=utf-8";

}  // namespace

const QString& Reply::domain() {
    static const QString name = QStringLiteral("com.corvane.tessel");
    return name;
}

Reply Reply::success(QJsonObject fields) {
    fields.insert(QStringLiteral("error"), 0);
    fields.insert(QStringLiteral("domain"), domain());
    fields.insert(QStringLiteral("message"), QStringLiteral("OK"));
    return Reply{200, fields, nullptr};
}

Reply Reply::failure(int httpStatus, qint64 code, const QString& message) {
    return Reply{httpStatus,
                 QJsonObject{{QStringLiteral("error"), code},
                             {QStringLiteral("domain"), domain()},
                             {QStringLiteral("message"), message}},
                 nullptr};
}

Reply Reply::unauthorized() {
    return failure(401, 401, QStringLiteral("Unauthorized"));
}

void Reply::send(httplib::Response& response, const std::optional<FaultTable::Fault>& fault) const {
    QJsonObject fields = body;
    response.status = status;
    if (fault && fault->kind == QLatin1String("nomessage"))
        fields.remove(QStringLiteral("message"));
    if (fault && fault->kind == QLatin1String("500")) response.status = 500;
    if (status == 401) response.set_header("WWW-Authenticate", "Basic realm=\"Tessel\"");

    if (fault && fault->kind == QLatin1String("plist")) {
        QByteArray out = PlistWriter::header() + "<dict>";
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            PlistWriter::appendKey(out, it.key());
            PlistWriter::appendValue(out, it.value().toVariant());
        }
        if (projects) {
            PlistWriter::appendKey(out, QStringLiteral("projects"));
            ProjectTreeWriter::appendPlist(out, *projects);
        }
        out += "</dict>" + PlistWriter::footer();
        setBody(response, out, "application/x-plist");
        return;
    }
    QByteArray out = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    if (projects) {
        out.chop(1);  // the closing brace
        if (!fields.isEmpty()) out += ',';
        out += "\"projects\":";
        ProjectTreeWriter::appendJson(out, *projects);
        out += '}';
    }
    setBody(response, out, kJson);
}

bool Reply::sendReplacement(httplib::Response& response, const FaultTable::Fault& fault) {
    const QString& kind = fault.kind;
    if (kind == QLatin1String("error")) {
        const qint64 code = fault.arg.section(QLatin1Char(':'), 0, 0).toLongLong();
        QString message = fault.arg.section(QLatin1Char(':'), 1);
        if (message.isEmpty()) message = QStringLiteral("Injected error %1").arg(code);
        failure(200, code, message).send(response, std::nullopt);
    } else if (kind == QLatin1String("empty")) {
        response.status = 200;
        response.set_content("", kJson);
    } else if (kind == QLatin1String("html")) {
        response.status = 200;
        setBody(response,
                "<!DOCTYPE html><html><head><title>Service Unavailable</title></head>"
                "<body><h1>Service Unavailable</h1><p>The server is busy.</p></body></html>",
                "text/html");
    } else if (kind == QLatin1String("array")) {
        response.status = 200;
        setBody(response,
                QByteArray("[{\"error\":0,\"domain\":\"") + domain().toUtf8() +
                    "\",\"message\":\"OK\"}]",
                "text/plain");
    } else if (kind == QLatin1String("401")) {
        unauthorized().send(response, std::nullopt);
    } else if (kind == QLatin1String("drop")) {
        // Announce a body, then abort while writing it: the client sees the
        // connection closed in the middle of the answer.
        response.status = 200;
        response.set_content_provider(64, kJson,
                                      [](size_t, size_t, httplib::DataSink&) { return false; });
    } else {
        return false;
    }
    return true;
}
