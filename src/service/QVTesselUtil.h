#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include "platform/Dispatch.h"
#include "platform/QVError.h"

// Error domains and codes of the service client.
inline const char* const kQVTesselServiceErrorDomain = "QVTesselServiceErrorDomain";
inline const char* const kQVTesselExporterSDKErrorDomain = "TESSEL Exporter SDK";
inline const char* const kNSURLErrorDomain = "NSURLErrorDomain";
inline const char* const kQVTesselDBNameKey = "dbname";
inline const char* const kQVTesselClientType = "Relaypost";

enum : qint64 {
    QVTesselErrorParamNil = 10000,
    QVTesselErrorAuthentication = 26,
    QVTesselErrorMalformedAnswer = 14,
    QVTesselErrorUnreadableAnswer = 15,
    QVTesselErrorPropertyListException = 16,
};

// The stateless toolbox of the service client: the folders shared with the
// Tessel service and the companion, machine identities, requests to the
// service with the decoding of its answers, and tolerant readers of the
// loosely typed values it sends.
class QVTesselUtil {
  public:
    static QVTesselUtil& sharedInstance();

    // ---- Folders and paths (null when the group container is unknown) ----
    static QString groupIdentifier();
    static QString corvaneSupportTesselFolder();
    static QString corvaneSupportPreferenceFolder();
    static QString localLibraryPlist();
    static QString networkLibraryPlist();
    static QString networkUserPlist();
    static QString preferencePlist();
    static QString userPlist();
    static QString relaydockFolder();
    static QString relaydockThumbnailFolder();

    // Package layout; each answers null for a null package folder.
    static QString libraryPlistWithPackageFolder(const QString& packageFolder);
    static QString projectFolderWithPackageFolder(const QString& packageFolder);
    static QString projectPlistWithPackageFolder(const QString& packageFolder);
    static QString mediaFolderWithPackageFolder(const QString& packageFolder);
    static QString assetMasterFolderWithPackageFolder(const QString& packageFolder);
    static QString assetThumbnailFolderWithPackageFolder(const QString& packageFolder);
    static QString assetPreviewFolderWithPackageFolder(const QString& packageFolder);
    static QString workflowFolderWithPackageFolder(const QString& packageFolder);
    static QString workflowPlistWithPackageFolder(const QString& packageFolder);
    static QString extraFolderWithPackageFolder(const QString& packageFolder);
    static QString dbFolderWithPackageFolder(const QString& packageFolder);
    static QString relativeMasterPath();     // "/Media/Master/"
    static QString relativeThumbnailPath();  // "/Media/Thumbnail/"

    // The local service's TCP port from its preference file, read on every
    // call; 7662 when the file or the key is missing or unusable.
    static qint64 servicePort();
    static constexpr qint64 kDefaultServicePort = 7662;
    static QString sanitizeFileNameString(const QString& name);

    // ---- Machine identity ----
    static QString systemUUID();
    static QString deviceSerialNumber();
    static QString UUIDString();

    // ---- Tolerant readers ----
    // The string itself when value holds one, else null.
    static QString stringValueFromObject(const QVariant& value);
    // Numbers and strings have an integer reading (strings by their leading
    // digits, like -[NSString integerValue]); anything else reads -1.
    static qint64 integerValueFromObject(const QVariant& value);
    static qint64 longlongValueFromObject(const QVariant& value);
    static double doubleValueFromObject(const QVariant& value);
    // The integer reading, or nothing when value has none.
    static std::optional<qint64> integerReading(const QVariant& value);

    // Service timestamps: 17 digits yyyyMMddHHmmssSSS in GMT out, 14 digits
    // yyyyMMddHHmmss in GMT in. A null date means now.
    static std::optional<qint64> dateNumberFromDate(const QDateTime& date = QDateTime());
    static QDateTime dateFromNumber(const std::optional<qint64>& number);

    // ---- Requests ----
    // http://ADDRESS:PORT/tessel/SEGMENT/...?QUERY. Each segment is
    // percent-encoded on its own, so a library name holding "/", "?", "#",
    // "%" or spaces stays one segment; the query goes in as given. Invalid
    // (empty) without a usable host or with a port outside 0...65535.
    static QUrl serviceURL(const QString& address, qint64 port, const QStringList& segments,
                           const QString& query = QString());

    using Completion = std::function<void(const QVariant& result, const QVErrorOpt& error)>;

    // Sends asynchronously; the completion runs on `queue` (the main thread
    // unless told otherwise), except for missing arguments, which complete
    // at once on the calling thread with error 10000. An invalid URL or a
    // null string counts as missing.
    static void requestURL(const QUrl& url, const QString& userID, const QString& userPassword,
                           const QString& method, const std::optional<QVariantMap>& params,
                           Completion completion, Dispatch::Queue queue = Dispatch::Queue::Main);
    // Blocks the calling thread (the main thread included) until the answer
    // is decoded or the request timed out.
    static QVariant syncRequestURL(const QUrl& url, const QString& userID,
                                   const QString& userPassword, const QString& method,
                                   const std::optional<QVariantMap>& params,
                                   QVErrorOpt* error = nullptr);
    static QVariant syncRequestTesselSystemInfoWithError(QVErrorOpt* error = nullptr);

    // Time-outs of requests in milliseconds (tests shorten them). Service
    // requests default to 60 s; the system-info request, which the main
    // thread waits on, to 5 s.
    static void setRequestTimeout(int ms);
    static int requestTimeout();
    static void setSystemInfoTimeout(int ms);
    static int systemInfoTimeout();

    // ---- Errors ----
    static QVError errorWithCode(qint64 code, const QString& message, const QString& domain);
    static QVError errorWithCode(qint64 code, const QString& message);
    // For answers that carry a "Status" record; nothing when none reports a
    // non-zero code.
    static QVErrorOpt errorWithResponse(const QVariant& response);

    // What a request came to: a result, or an error.
    struct Outcome {
        QVariant result;
        QVErrorOpt error;
    };
    // The decoding of one answer: the transport's error (if any) and the body.
    static Outcome decodeResponse(const QUrl& url, const QByteArray& body,
                                  const QVErrorOpt& transportError);
    // The library database name of /tessel/libraries/NAME/... URLs, else null.
    static QString libraryDBNameFromURL(const QUrl& url);
    // "Error Domain=D Code=C "description" UserInfo={...}", as errors are logged.
    static QString errorDescription(const QVError& error);

  private:
    QVTesselUtil() = default;
};
