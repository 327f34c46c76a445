#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QString>
#include <QVariantMap>

#include "platform/Dispatch.h"
#include "platform/QVError.h"

class QVExportItem;
class QVLibrary;
class QVProject;
class QVUploadLocation;

// The agent's client for the asset operations of the Tessel service: the
// local service's credentials, where new media goes in a library, asset
// creation, upload confirmation and field updates, and the mapping of an
// export item to asset fields.
//
// Completions run on the main thread (the service client delivers answers
// there), except the immediate refusals ("Parameter is nil", and the
// service client's own refusal of a request without credentials), which run
// on the calling thread before the operation returns.
class QVUploadManager {
  public:
    static QVUploadManager& sharedManager();

    // Bundle identifier of the companion application whose running instance
    // tells that the local service is there.
    static const char* const kCompanionBundleIdentifier;
    // Domain of the manager's own errors (code -1).
    static const char* const kErrorDomain;

    // Blocks the calling thread for one request to the local service. Fills
    // in the local credentials (here, in the registry and in every local
    // library's connection); false when the companion is not running or the
    // service gives no credentials.
    bool syncTessel();

    using LocationCompletion = std::function<void(
        bool success, const std::shared_ptr<QVUploadLocation>& location, const QVErrorOpt& error)>;
    using CreateCompletion =
        std::function<void(bool success, const QString& assetID, const QVErrorOpt& error)>;
    using Completion = std::function<void(bool success, const QVErrorOpt& error)>;

    void uploadLocationWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                   LocationCompletion completion);
    // The project or group and the file path are only checked: the metas
    // carry them. Both calls below complete on `queue`: a registration
    // under way answers on the pool, where the main thread's painting
    // cannot hold its next request back.
    void createAssetWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                const std::shared_ptr<QVProject>& projectOrGroup,
                                const QString& filePath, const std::optional<QVariantMap>& metas,
                                CreateCompletion completion,
                                Dispatch::Queue queue = Dispatch::Queue::Main);
    // Confirms that the asset's file is in place. The source path is not sent:
    // the service knows the file from the fields given at creation.
    void uploadCompleteWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                      const QString& sourcePath, const QString& assetID,
                                      Completion completion,
                                      Dispatch::Queue queue = Dispatch::Queue::Main);
    void updateAssetWithLibrary(const std::shared_ptr<QVLibrary>& library, const QString& assetID,
                                const std::optional<QVariantMap>& metas, Completion completion);

    // The tail of path from the first "/Media/Master" on; null without one.
    static QString masterPathWithFilePath(const QString& path);

    // ---- Asset fields ----
    // The same values with every "." in the keys turned into "_".
    static QVariantMap keyChangedFCPMetaData(const QVariantMap& metaData);
    // The fields of an asset for the item's movie ("mov") or FCPXML
    // ("fcpxml", exactly) file; nothing when the item is incomplete.
    static std::optional<QVariantMap> metaDataWithExportItem(
        const std::shared_ptr<QVExportItem>& item, const QString& extension);

    QString userID() const;
    QString password() const;

  private:
    QVUploadManager() = default;
    static QVError localError(const QString& description);
    // The verdict on an answer that only has to be there.
    static void report(const Completion& completion, const QVariant& response,
                       const QVErrorOpt& error);

    mutable std::mutex mutex_;
    QString userID_;
    QString password_;
};
