#include "upload/QVUploadManager.h"

#include <QUrl>

#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "library/QVVariantText.h"
#include "platform/QVLog.h"
#include "platform/RunningApplications.h"
#include "service/QVConnection.h"
#include "service/QVTesselUtil.h"

const char* const QVUploadManager::kCompanionBundleIdentifier = "com.corvane.pro";
const char* const QVUploadManager::kErrorDomain = "QVUploadManager";

namespace {

const QString kParameterNil = QStringLiteral("Parameter is nil");
const QString kInvalidResponse = QStringLiteral("Invalid response");
const QString kUnknownError = QStringLiteral("Unknown request error");

QUrl assetsURL(const std::shared_ptr<QVLibrary>& library, const char* tail) {
    const auto connection = library->connection();
    const QString address = connection ? connection->address() : QString();
    const qint64 port = connection ? connection->port() : 0;
    return QVTesselUtil::serviceURL(address, port,
                                    {QStringLiteral("libraries"), library->dbName(),
                                     QStringLiteral("assets"), QString::fromLatin1(tail)});
}

QString userOf(const std::shared_ptr<QVLibrary>& library) {
    const auto connection = library->connection();
    return connection ? connection->userID() : QString();
}

QString passwordOf(const std::shared_ptr<QVLibrary>& library) {
    const auto connection = library->connection();
    return connection ? connection->password() : QString();
}

// A present answer: anything the service client decoded into a value.
bool hasResponse(const QVariant& response) {
    return response.isValid() && !response.isNull();
}

}  // namespace

QVUploadManager& QVUploadManager::sharedManager() {
    static QVUploadManager* manager = new QVUploadManager();
    return *manager;
}

QVError QVUploadManager::localError(const QString& description) {
    return QVError::make(QLatin1String(kErrorDomain), -1, description);
}

void QVUploadManager::report(const Completion& completion, const QVariant& response,
                             const QVErrorOpt& error) {
    if (error)
        completion(false, error);
    else if (hasResponse(response))
        completion(true, std::nullopt);
    else
        completion(false, localError(kUnknownError));
}

QString QVUploadManager::userID() const {
    std::lock_guard lock(mutex_);
    return userID_;
}

QString QVUploadManager::password() const {
    std::lock_guard lock(mutex_);
    return password_;
}

bool QVUploadManager::syncTessel() {
    if (!RunningApplications::isRunning(QLatin1String(kCompanionBundleIdentifier))) return false;
    QVErrorOpt error;
    const QVariant answer = QVTesselUtil::syncRequestTesselSystemInfoWithError(&error);
    // The service client turns an envelope with a non-zero "error" into an
    // error of its own; either way nothing changes.
    if (error) return false;
    const QVariantMap info = answer.toMap();
    if (info.contains(QStringLiteral("error")) &&
        QVTesselUtil::integerReading(info.value(QStringLiteral("error"))).value_or(0) != 0)
        return false;
    const QString userID = QVTesselUtil::stringValueFromObject(info.value(QStringLiteral("id")));
    const QString password =
        QVTesselUtil::stringValueFromObject(info.value(QStringLiteral("password")));
    {
        std::lock_guard lock(mutex_);
        userID_ = userID;
        password_ = password;
    }
    if (userID.isNull() && password.isNull()) return false;

    const qint64 port = QVTesselUtil::servicePort();
    auto& registry = QVLibraryManager::sharedManager();
    registry.setLocalLibraryUserID(userID);
    registry.setLocalLibraryPassword(password);
    registry.setServicePort(port);
    for (const auto& library : registry.libraries()) {
        if (library->libraryType() != 0) continue;
        const auto connection = library->connection();
        if (!connection) continue;
        connection->setUserID(userID);
        connection->setPassword(password);
        connection->setPort(port);
    }
    return true;
}

void QVUploadManager::uploadLocationWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                                LocationCompletion completion) {
    if (!library) {
        completion(false, nullptr, localError(kParameterNil));
        return;
    }
    QVTesselUtil::requestURL(
        assetsURL(library, "upload"), userOf(library), passwordOf(library), QStringLiteral("GET"),
        std::nullopt, [completion](const QVariant& response, const QVErrorOpt& error) {
            if (error)
                completion(false, nullptr, error);
            else if (hasResponse(response))
                completion(true, QVUploadLocation::uploadLocationWithDictionary(response),
                           std::nullopt);
            else
                completion(false, nullptr, localError(kUnknownError));
        });
}

void QVUploadManager::createAssetWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                             const std::shared_ptr<QVProject>& projectOrGroup,
                                             const QString& filePath,
                                             const std::optional<QVariantMap>& metas,
                                             CreateCompletion completion, Dispatch::Queue queue) {
    if (!library || !projectOrGroup || filePath.isNull() || !metas) {
        completion(false, QString(), localError(kParameterNil));
        return;
    }
    const QVariantMap body{{QStringLiteral("items"), QVariantList{*metas}}};
    QVTesselUtil::requestURL(
        assetsURL(library, "create"), userOf(library), passwordOf(library), QStringLiteral("POST"),
        body,
        [completion](const QVariant& response, const QVErrorOpt& error) {
            if (error) {
                completion(false, QString(), error);
                return;
            }
            if (!hasResponse(response)) {
                completion(false, QString(), localError(kUnknownError));
                return;
            }
            const QVariant items = response.toMap().value(QStringLiteral("items"));
            const QVariantList list = items.toList();
            if (items.typeId() != QMetaType::QVariantList || list.isEmpty()) {
                completion(false, QString(), localError(kInvalidResponse));
                return;
            }
            completion(true,
                       QVTesselUtil::stringValueFromObject(
                           list.first().toMap().value(QStringLiteral("_id"))),
                       std::nullopt);
        },
        queue);
}

void QVUploadManager::uploadCompleteWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                                   const QString& /*sourcePath*/,
                                                   const QString& assetID, Completion completion,
                                                   Dispatch::Queue queue) {
    const auto library = item ? item->library() : nullptr;
    if (!library || assetID.isNull()) {
        completion(false, localError(kParameterNil));
        return;
    }
    const QVariantMap body{
        {QStringLiteral("items"), QVariantList{QVariantMap{{QStringLiteral("_id"), assetID}}}}};
    QVTesselUtil::requestURL(
        assetsURL(library, "upload"), userOf(library), passwordOf(library), QStringLiteral("POST"),
        body,
        [completion](const QVariant& response, const QVErrorOpt& error) {
            report(completion, response, error);
        },
        queue);
}

void QVUploadManager::updateAssetWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                             const QString& assetID,
                                             const std::optional<QVariantMap>& metas,
                                             Completion completion) {
    if (!library || assetID.isNull() || !metas) {
        completion(false, localError(kParameterNil));
        return;
    }
    QVariantMap item = *metas;
    item.insert(QStringLiteral("_id"), assetID);
    const QVariantMap body{{QStringLiteral("items"), QVariantList{item}}};
    QVTesselUtil::requestURL(
        assetsURL(library, "update"), userOf(library), passwordOf(library), QStringLiteral("POST"),
        body, [completion](const QVariant& response, const QVErrorOpt& error) {
            report(completion, response, error);
            QVLog::log(QStringLiteral("response : %1").arg(QVVariantText::describe(response)));
        });
}

QString QVUploadManager::masterPathWithFilePath(const QString& path) {
    const qsizetype at = path.indexOf(QStringLiteral("/Media/Master"));
    if (at < 0) return {};
    return path.mid(at);
}
