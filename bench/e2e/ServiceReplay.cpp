#include "ServiceReplay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

KeptAliveClient::Headers ServiceReplay::headers(const QJsonObject& logged) {
    KeptAliveClient::Headers headers;
    for (auto it = logged.begin(); it != logged.end(); ++it) {
        const QByteArray name = it.key().toUtf8();
        const QByteArray lower = name.toLower();
        if (lower == "content-length" || lower == "connection") continue;
        headers << qMakePair(name, it.value().toString().toUtf8());
    }
    return headers;
}

QString ServiceReplay::replay(KeptAliveClient& client, const std::vector<const Logged*>& requests) {
    QStringList created, loggedIDs;
    for (const Logged* logged : requests) {
        const auto& r = logged->request;
        QByteArray body = r.body;
        if (logged->endpoint == "upload" || logged->endpoint == "update") {
            QJsonObject object = QJsonDocument::fromJson(body).object();
            QJsonArray items = object.value("items").toArray();
            for (qsizetype i = 0; i < items.size(); ++i) {
                QJsonObject item = items[i].toObject();
                const QString old = item.value("_id").toString();
                if (!loggedIDs.contains(old)) loggedIDs << old;
                item.insert("_id", created.value(loggedIDs.indexOf(old), old));
                items[i] = item;
            }
            object.insert("items", items);
            body = QJsonDocument(object).toJson(QJsonDocument::Compact);
        }
        const auto answer =
            client.exchange(r.method.toUtf8(), QUrl(r.path).toEncoded(), headers(r.headers), body);
        if (!answer) return logged->endpoint + ": no answer";
        if (answer->status != 200)
            return QStringLiteral("%1: HTTP %2 %3")
                .arg(logged->endpoint)
                .arg(answer->status)
                .arg(QString::fromUtf8(answer->body));
        if (logged->endpoint == "create")
            for (const QJsonValue& item :
                 QJsonDocument::fromJson(answer->body).object().value("items").toArray())
                created << item.toObject().value("_id").toVariant().toString();
    }
    return {};
}

QString ServiceReplay::describe(const std::vector<const Logged*>& requests) {
    QStringList names;
    for (const Logged* l : requests) names << l->request.method + ' ' + l->endpoint;
    return names.isEmpty() ? QStringLiteral("(none)") : names.join(QStringLiteral(", "));
}
