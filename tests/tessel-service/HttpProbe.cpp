#include "HttpProbe.h"

#include <QBuffer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

QJsonObject HttpProbe::Result::json() const {
    return QJsonDocument::fromJson(body).object();
}

HttpProbe::Result HttpProbe::get(const QString& url, const QString& user, const QString& password) {
    return send("GET", url, {}, user, password);
}

HttpProbe::Result HttpProbe::post(const QString& url, const QByteArray& body, const QString& user,
                                  const QString& password) {
    return send("POST", url, body, user, password);
}

HttpProbe::Result HttpProbe::send(const QByteArray& method, const QString& url,
                                  const QByteArray& body, const QString& user,
                                  const QString& password,
                                  const QMap<QByteArray, QByteArray>& headers) {
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    if (!user.isNull())
        request.setRawHeader(
            "Authorization",
            "Basic " + QStringLiteral("%1:%2").arg(user, password).toUtf8().toBase64());
    request.setRawHeader("DeviceUUID", "00000000-1111-2222-3333-444444444444");
    request.setRawHeader("ClientType", "Relaypost");
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        request.setRawHeader(it.key(), it.value());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QBuffer buffer;
    buffer.setData(body);
    QNetworkReply* reply = manager.sendCustomRequest(request, method, &buffer);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A safety net against a hung test, far above any answer of the service.
    QTimer::singleShot(60000, &loop, [reply] { reply->abort(); });
    if (!reply->isFinished()) loop.exec();
    Result result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    delete reply;
    return result;
}
