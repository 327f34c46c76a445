#include <atomic>

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "platform/MachineIdentity.h"
#include "platform/QVLog.h"
#include "service/QVNetworkThread.h"
#include "service/QVTesselUtil.h"
#include "service/URLRequestTessel.h"

namespace {

std::atomic<int> gRequestTimeoutMs{60000};
std::atomic<int> gSystemInfoTimeoutMs{5000};

bool isMissing(const QUrl& url) {
    return url.isEmpty() || !url.isValid();
}

std::optional<QByteArray> jsonBody(const std::optional<QVariantMap>& params) {
    if (!params) return std::nullopt;
    return QJsonDocument(QJsonObject::fromVariantMap(*params)).toJson(QJsonDocument::Indented);
}

QVariant finish(const QVTesselUtil::Outcome& outcome, QVErrorOpt* error) {
    if (error) *error = outcome.error;
    return outcome.error ? QVariant() : outcome.result;
}

}  // namespace

QString QVTesselUtil::systemUUID() {
    return MachineIdentity::platformUUID();
}

QString QVTesselUtil::deviceSerialNumber() {
    return MachineIdentity::serialNumber();
}

QString QVTesselUtil::UUIDString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

void QVTesselUtil::setRequestTimeout(int ms) {
    gRequestTimeoutMs = ms;
}

int QVTesselUtil::requestTimeout() {
    return gRequestTimeoutMs;
}

void QVTesselUtil::setSystemInfoTimeout(int ms) {
    gSystemInfoTimeoutMs = ms;
}

int QVTesselUtil::systemInfoTimeout() {
    return gSystemInfoTimeoutMs;
}

QUrl QVTesselUtil::serviceURL(const QString& address, qint64 port, const QStringList& segments,
                              const QString& query) {
    if (address.isEmpty() || port < 0 || port > 65535) return {};
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(address);
    if (url.host().isEmpty()) return {};  // QUrl drops a host it cannot hold
    url.setPort(int(port));
    QString path = QStringLiteral("/tessel");
    for (const QString& segment : segments)
        path += QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(segment));
    url.setPath(path, QUrl::StrictMode);
    if (!query.isNull()) url.setQuery(query);
    return url;
}

void QVTesselUtil::requestURL(const QUrl& url, const QString& userID, const QString& userPassword,
                              const QString& method, const std::optional<QVariantMap>& params,
                              Completion completion, Dispatch::Queue queue) {
    if (isMissing(url) || userID.isNull() || userPassword.isNull() || method.isNull()) {
        if (completion)
            completion(QVariant(),
                       errorWithCode(QVTesselErrorParamNil,
                                     Localization::localizedString("request.error.param.nil")));
        return;
    }
    const QNetworkRequest request = URLRequestTessel::requestWithURL(
        url, userID, userPassword, systemUUID(), QString::fromLatin1(kQVTesselClientType));
    QVNetworkThread::shared().send(
        request, method.toUtf8(), jsonBody(params), requestTimeout(),
        [url, queue, completion = std::move(completion)](const QVNetworkResponse& response) {
            Outcome outcome = decodeResponse(url, response.body, response.error);
            auto deliver = [outcome = std::move(outcome), completion] {
                if (outcome.error) {
                    QVLog::log(
                        QStringLiteral("Tessel Error:%1").arg(errorDescription(*outcome.error)));
                }
                if (completion)
                    completion(outcome.error ? QVariant() : outcome.result, outcome.error);
            };
            if (queue == Dispatch::Queue::Main)
                Dispatch::main(std::move(deliver));
            else
                Dispatch::global(std::move(deliver));
        });
}

QVariant QVTesselUtil::syncRequestURL(const QUrl& url, const QString& userID,
                                      const QString& userPassword, const QString& method,
                                      const std::optional<QVariantMap>& params, QVErrorOpt* error) {
    if (isMissing(url) || method.isNull()) return {};
    const QNetworkRequest request =
        (!userID.isNull() && !userPassword.isNull())
            ? URLRequestTessel::requestWithURL(url, userID, userPassword, systemUUID(),
                                               QString::fromLatin1(kQVTesselClientType))
            : QNetworkRequest(url);
    const QVNetworkResponse response = QVNetworkThread::shared().sendAndWait(
        request, method.toUtf8(), jsonBody(params), requestTimeout());
    return finish(decodeResponse(url, response.body, response.error), error);
}

QVariant QVTesselUtil::syncRequestTesselSystemInfoWithError(QVErrorOpt* error) {
    const QString serial = deviceSerialNumber();
    // The serial goes in as it is; QUrl only encodes what a URL cannot hold.
    const QUrl url =
        serviceURL(QStringLiteral("127.0.0.1"), servicePort(), {QStringLiteral("system")},
                   QStringLiteral("id=") + (serial.isNull() ? QStringLiteral("(null)") : serial));
    const QVNetworkResponse response = QVNetworkThread::shared().sendAndWait(
        QNetworkRequest(url), "GET", std::nullopt, systemInfoTimeout());
    return finish(decodeResponse(url, response.body, response.error), error);
}
