#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

// The authenticated request every service call starts from: exactly the
// headers "Authorization" (Basic), "DeviceUUID" and "ClientType"; the method
// and body are the sender's business.
namespace URLRequestTessel {
QNetworkRequest requestWithURL(const QUrl& url, const QString& userID, const QString& password,
                               const QString& deviceUUID, const QString& clientType);
// "Basic " + base64 of the UTF-8 text "user:password"; a null value prints
// as "(null)", the way the service's other clients format it.
QByteArray authorizationValue(const QString& userID, const QString& password);
}  // namespace URLRequestTessel
