#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QNetworkReply>
#include <QString>

// Plain HTTP calls to the stand-in service through Qt Network, with the
// headers the agent sends (Basic authorization, DeviceUUID, ClientType).
class HttpProbe {
  public:
    struct Result {
        int status = 0;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QByteArray body;
        QByteArray contentType;
        QJsonObject json() const;
    };

    static Result get(const QString& url, const QString& user = {}, const QString& password = {});
    static Result post(const QString& url, const QByteArray& body, const QString& user = {},
                       const QString& password = {});
    static Result send(const QByteArray& method, const QString& url, const QByteArray& body,
                       const QString& user, const QString& password,
                       const QMap<QByteArray, QByteArray>& headers = {});
};
