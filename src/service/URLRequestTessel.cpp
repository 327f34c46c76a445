#include "service/URLRequestTessel.h"

#include "service/DataTessel.h"

namespace {

QString orNullText(const QString& value) {
    return value.isNull() ? QStringLiteral("(null)") : value;
}

}  // namespace

QByteArray URLRequestTessel::authorizationValue(const QString& userID, const QString& password) {
    const QString credentials = orNullText(userID) + QLatin1Char(':') + orNullText(password);
    return "Basic " + DataTessel::base64Encoded(credentials.toUtf8()).toLatin1();
}

QNetworkRequest URLRequestTessel::requestWithURL(const QUrl& url, const QString& userID,
                                                 const QString& password, const QString& deviceUUID,
                                                 const QString& clientType) {
    // Always a fresh answer from the service: the network thread's manager
    // keeps no cache, and no cache attribute is set since Qt would turn it
    // into extra headers.
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", authorizationValue(userID, password));
    // A missing identity sends the header empty rather than dropping it.
    request.setRawHeader("DeviceUUID", deviceUUID.isNull() ? QByteArray("") : deviceUUID.toUtf8());
    request.setRawHeader("ClientType", clientType.isNull() ? QByteArray("") : clientType.toUtf8());
    return request;
}
