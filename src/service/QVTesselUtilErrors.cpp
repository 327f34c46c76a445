#include <stdexcept>

#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVJsonReader.h"
#include "service/QVTesselUtil.h"

namespace {

QVError serviceError(qint64 code, const QString& description, const QString& dbName) {
    QVError error = QVTesselUtil::errorWithCode(code, description,
                                                QString::fromLatin1(kQVTesselServiceErrorDomain));
    if (!dbName.isNull()) error.userInfo.insert(QString::fromLatin1(kQVTesselDBNameKey), dbName);
    return error;
}

QVError plainServiceError(qint64 code, const QString& dbName) {
    return serviceError(code, QStringLiteral("(kQVTesselServiceErrorDomain error %1.)").arg(code),
                        dbName);
}

QVTesselUtil::Outcome failure(QVError error) {
    return {QVariant(), std::move(error)};
}

// One "Status" record: nothing when its code is 0, else the error it names.
// A record without a message cannot make an error.
QVErrorOpt statusError(const QVariantMap& status) {
    const qint64 code = QVTesselUtil::integerValueFromObject(status.value(QStringLiteral("code")));
    if (code == 0) return std::nullopt;
    const QString message =
        QVTesselUtil::stringValueFromObject(status.value(QStringLiteral("msg")));
    if (message.isNull()) throw std::invalid_argument("the status record has no message");
    const QString domain =
        QVTesselUtil::stringValueFromObject(status.value(QStringLiteral("domain")));
    return QVTesselUtil::errorWithCode(code, message, domain.isNull() ? QString("") : domain);
}

}  // namespace

QVError QVTesselUtil::errorWithCode(qint64 code, const QString& message, const QString& domain) {
    return QVError::make(domain, code, message);
}

QVError QVTesselUtil::errorWithCode(qint64 code, const QString& message) {
    return errorWithCode(code, message, QString::fromLatin1(kQVTesselExporterSDKErrorDomain));
}

QVErrorOpt QVTesselUtil::errorWithResponse(const QVariant& response) {
    if (!response.isValid()) return std::nullopt;
    try {
        if (response.typeId() == QMetaType::QVariantList) {
            QVLog::log(QStringLiteral("array error result"));
            for (const QVariant& element : response.toList()) {
                if (element.typeId() != QMetaType::QVariantMap) continue;
                const QVariant status = element.toMap().value(QStringLiteral("Status"));
                if (status.typeId() != QMetaType::QVariantMap) continue;
                if (auto error = statusError(status.toMap())) return error;
            }
            return std::nullopt;
        }
        if (response.typeId() != QMetaType::QVariantMap)
            throw std::invalid_argument("the answer is neither a dictionary nor an array");
        const QVariant status = response.toMap().value(QStringLiteral("Status"));
        if (status.typeId() != QMetaType::QVariantMap) return std::nullopt;
        return statusError(status.toMap());
    } catch (const std::exception& e) {
        QVLog::log(QStringLiteral("Exception occured [%1]").arg(QString::fromUtf8(e.what())));
        return std::nullopt;
    }
}

QString QVTesselUtil::libraryDBNameFromURL(const QUrl& url) {
    // Components as path APIs count them: "/" first, then each named part.
    // Split before decoding: an encoded "/" belongs to the name.
    const QStringList parts =
        url.path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() + 1 >= 4 && parts.at(1) == QLatin1String("libraries"))
        return QUrl::fromPercentEncoding(parts.at(2).toLatin1());
    return {};
}

QString QVTesselUtil::errorDescription(const QVError& error) {
    QStringList info;
    for (auto it = error.userInfo.cbegin(); it != error.userInfo.cend(); ++it)
        info << QStringLiteral("%1=%2").arg(it.key(), it.value().toString());
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\" UserInfo={%4}")
        .arg(error.domain)
        .arg(error.code)
        .arg(error.localizedDescription(), info.join(QStringLiteral(", ")));
}

QVTesselUtil::Outcome QVTesselUtil::decodeResponse(const QUrl& url, const QByteArray& body,
                                                   const QVErrorOpt& transportError) {
    const QString dbName = libraryDBNameFromURL(url);
    if (transportError) {
        if (transportError->domain == QLatin1String(kNSURLErrorDomain) &&
            (transportError->code == -1012 || transportError->code == -1013)) {
            return failure(
                serviceError(QVTesselErrorAuthentication,
                             QStringLiteral("(kQVTesselServiceErrorDomain error %1. and %2)")
                                 .arg(QVTesselErrorAuthentication)
                                 .arg(transportError->localizedDescription()),
                             dbName));
        }
        return failure(*transportError);
    }
    if (body.isEmpty()) return failure(plainServiceError(QVTesselErrorMalformedAnswer, dbName));

    // Only an object or an array counts as JSON here; anything else (a bare
    // scalar, a syntax error) is offered to the property-list reader.
    const auto json = QVJsonReader::read(body);
    if (json &&
        (json->typeId() == QMetaType::QVariantMap || json->typeId() == QMetaType::QVariantList)) {
        // Only an object can carry the envelope; an array (or an "error"
        // without an integer reading) is as malformed as a missing field.
        if (json->typeId() != QMetaType::QVariantMap)
            return failure(plainServiceError(QVTesselErrorMalformedAnswer, dbName));
        const QVariantMap object = json->toMap();
        const auto domain = object.constFind(QStringLiteral("domain"));
        const auto code = object.constFind(QStringLiteral("error"));
        const auto message = object.constFind(QStringLiteral("message"));
        if (domain == object.constEnd() || code == object.constEnd() ||
            message == object.constEnd())
            return failure(plainServiceError(QVTesselErrorMalformedAnswer, dbName));
        const auto reading = integerReading(*code);
        if (!reading) return failure(plainServiceError(QVTesselErrorMalformedAnswer, dbName));
        if (*reading == 0) return {object, std::nullopt};
        QVError error = errorWithCode(*reading, message->toString(), domain->toString());
        if (!dbName.isNull())
            error.userInfo.insert(QString::fromLatin1(kQVTesselDBNameKey), dbName);
        return failure(error);
    }

    try {
        const auto plist = PropertyList::read(body);
        if (!plist) return failure(plainServiceError(QVTesselErrorUnreadableAnswer, dbName));
        if (plist->typeId() == QMetaType::QVariantMap) {
            QVariantMap dictionary = plist->toMap();
            if (!dbName.isNull())
                dictionary.insert(QString::fromLatin1(kQVTesselDBNameKey), dbName);
            return {dictionary, std::nullopt};
        }
        return {*plist, std::nullopt};
    } catch (const std::exception& e) {
        return failure(serviceError(QVTesselErrorPropertyListException,
                                    QStringLiteral("(kQVTesselServiceErrorDomain error %1. %2)")
                                        .arg(QVTesselErrorPropertyListException)
                                        .arg(QString::fromUtf8(e.what())),
                                    dbName));
    }
}
