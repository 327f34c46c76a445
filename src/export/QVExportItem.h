#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include "library/KeyedCoding.h"

class QVLibrary;
class QVProject;
class QVUploadLocation;

enum QVExportStatus : qint64 {
    QVExportStatusNone = -1,
    QVExportStatusWaiting = 0,
    QVExportStatusExporting = 1,
    QVExportStatusCompleted = 2,
    QVExportStatusCanceled = 3,
    QVExportStatusCreating = 4,
    QVExportStatusUploading = 5,
    QVExportStatusCreateFailed = 6,
    QVExportStatusUpdateFailed = 7,
};

enum QVImportType : qint64 {
    QVImportTypeStoreToPath = 0,
    QVImportTypeInsideLibrary = 1,
};

// One export job: the file the editor writes for us (a movie, or only an
// FCPXML description), its destination library and node, where it is
// written, how far its registration has come, and its thumbnail.
//
// Items are shared between the main thread (display, list edits), the file
// detector, the thumbnail maker and the upload adapter, and the export list
// saves them from any thread. Statuses are atomics; every other field is
// guarded by the item's own lock, and accessors hand out copies.
class QVExportItem : public KeyedCoding, public std::enable_shared_from_this<QVExportItem> {
  public:
    QVExportItem() = default;
    QVExportItem(const QVExportItem&) = delete;
    QVExportItem& operator=(const QVExportItem&) = delete;

    // Null (with a log line) when name, metadata, library or project is
    // missing, or when the import type's folder source is missing: the
    // location for import type 1, the store-to path for import type 0.
    static std::shared_ptr<QVExportItem> exportItemWithName(
        const QString& name, const std::optional<QVariantMap>& fcpMetaData,
        const std::shared_ptr<QVLibrary>& library, const std::shared_ptr<QVProject>& project,
        qint64 importType, const std::shared_ptr<QVUploadLocation>& locationInfo,
        const QString& storeToPath, bool fcpXMLOnly);

    // Values that many stored items have in common (upload location, node
    // ID, folders), held once while a list is rebuilt instead of once per
    // item. Any thread.
    struct SharedValues {
        QString string(const QString& value);
        std::shared_ptr<QVUploadLocation> location(const QVariant& dictionary);

      private:
        std::mutex mutex_;
        QHash<QByteArray, std::shared_ptr<QVUploadLocation>> locations_;
        QSet<QString> strings_;
    };

    // Rebuilds a stored item. Its library is found again by database name
    // (null when no longer known) and its node by ID in that library. The
    // thumbnail is not decoded here: thumbnailImage() loads it on first use.
    static std::shared_ptr<QVExportItem> exportItemWithDictionary(const QVariantMap& dictionary,
                                                                  SharedValues* shared = nullptr);

    // The stored form: nil values are left out, the four numbers always
    // written.
    QVariantMap exportItemDictionary() const;
    // The stored form as property-list XML (a <dict> at the given depth),
    // equal to PropertyList::appendXmlValue of exportItemDictionary().
    void appendXml(QByteArray& out, int depth) const;

    QString filePath() const;  // fcpXMLPath for FCPXML-only items, else originalPath
    qint64 status() const;     // fcpXMLStatus for FCPXML-only items, else exportStatus

    QString name() const;
    void setName(const QString& name);
    std::shared_ptr<QVLibrary> library() const;
    void setLibrary(const std::shared_ptr<QVLibrary>& library);
    std::shared_ptr<QVProject> project() const;
    void setProject(const std::shared_ptr<QVProject>& project);
    QString projectID() const;
    void setProjectID(const QString& projectID);
    QString projectName() const;
    void setProjectName(const QString& projectName);
    QString assetID() const;
    void setAssetID(const QString& assetID);
    // The asset each file was registered as. assetID holds whichever
    // creation ended last; these tell a launch which asset a half-finished
    // registration made, so it is confirmed instead of made a second time.
    QString movieAssetID() const;
    void setMovieAssetID(const QString& assetID);
    QString fcpXMLAssetID() const;
    void setFcpXMLAssetID(const QString& assetID);
    std::shared_ptr<QVUploadLocation> locationInfo() const;
    void setLocationInfo(const std::shared_ptr<QVUploadLocation>& locationInfo);
    qint64 exportStatus() const { return exportStatus_.load(); }
    void setExportStatus(qint64 status);
    qint64 fcpXMLStatus() const { return fcpXMLStatus_.load(); }
    void setFcpXMLStatus(qint64 status);
    // The two files an item tracks, each with its own status.
    enum class File { Movie, FCPXML };
    qint64 statusOf(File file) const {
        return file == File::Movie ? exportStatus() : fcpXMLStatus();
    }
    // Moves the file's status from `from` to `to` only if it still is
    // `from`; false when another thread moved it first. The detector, the
    // watch and the adapter run on different threads, so a status read and
    // then written could overwrite a later one (e.g. set "exporting" back
    // over "creating").
    bool advanceStatus(File file, qint64 from, qint64 to);
    // The editor has not announced the file as finished: it has not
    // appeared, or it is being written.
    static bool unannounced(qint64 status) {
        return status == QVExportStatusNone || status == QVExportStatusWaiting ||
               status == QVExportStatusExporting;
    }
    // Bytes of the file seen by the last poll while it was being written
    // (-1: not seen yet). Shown beside "exporting"; never stored.
    qint64 exportedBytes() const { return exportedBytes_.load(); }
    void setExportedBytes(qint64 bytes) { exportedBytes_.store(bytes); }
    QString thumbnailPath() const;
    void setThumbnailPath(const QString& thumbnailPath);
    // The thumbnail in memory. For a rebuilt item it is read from
    // thumbnailPath on the first call when that file exists (a null image
    // otherwise), so a long list does not decode every picture at launch.
    QImage thumbnailImage() const;
    void setThumbnailImage(const QImage& image);
    QString originalPath() const;
    void setOriginalPath(const QString& path);
    QString fcpXMLPath() const;
    void setFcpXMLPath(const QString& path);
    std::optional<QVariantMap> fcpMetaData() const;
    void setFcpMetaData(const std::optional<QVariantMap>& metaData);
    bool fcpXMLOnly() const;
    void setFcpXMLOnly(bool fcpXMLOnly);
    qint64 importType() const;
    void setImportType(qint64 importType);
    QString storeToPath() const;
    void setStoreToPath(const QString& storeToPath);

    // originalPath and fcpXMLPath in canonical composed form (NFC), kept for
    // the export list's look-ups.
    QString normalizedOriginalPath() const;
    QString normalizedFcpXMLPath() const;

    QString archiveClassName() const override { return QStringLiteral("QVExportItem"); }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(const KeyedUnarchiver& coder) override;

  private:
    // The "projectname" value: the node's current name, else the kept one.
    QString storedProjectName() const;  // lock held
    QVariantMap dictionaryLocked() const;
    void setPathsLocked(const QString& original, const QString& fcpxml);
    QString fcpXMLPathLocked() const;
    std::optional<QVariantMap> metaDataLocked() const;
    void setFcpMetaDataLocked(const std::optional<QVariantMap>& metaData);
    static std::optional<QVariantMap> readMetaData(const QByteArray& xml);

    mutable std::mutex mutex_;
    QString name_;
    std::shared_ptr<QVLibrary> library_;
    std::shared_ptr<QVProject> project_;
    QString projectID_;
    QString projectName_;
    QString assetID_;
    QString movieAssetID_;
    QString fcpXMLAssetID_;
    std::shared_ptr<QVUploadLocation> locationInfo_;
    std::atomic<qint64> exportStatus_{QVExportStatusWaiting};
    std::atomic<qint64> fcpXMLStatus_{QVExportStatusNone};
    std::atomic<qint64> exportedBytes_{-1};
    mutable QImage thumbnailImage_;
    mutable bool thumbnailTried_ = true;
    bool fcpXMLOnly_ = false;
    // A long list holds these for every item: UTF-8, the description's path
    // left out when it is the movie's with ".fcpxml" for ".mov", and the
    // NFC forms of the look-ups made when asked (paths are nearly always in
    // NFC already).
    bool originalIsNFC_ = true;
    bool fcpXMLIsNFC_ = true;
    bool fcpXMLBesideMovie_ = false;
    QByteArray thumbnailPath_;
    QByteArray originalPath_;
    QByteArray fcpXMLPath_;
    // The editor's metadata is only read back for a retry, but written with
    // every save: it is kept as its stored text, the <dict> as it stands in
    // the list file (kMetaDataDepth), a fraction of the size of the map.
    static constexpr int kMetaDataDepth = 2;
    QByteArray fcpMetaDataXml_;  // null: no metadata
    qint64 importType_ = QVImportTypeInsideLibrary;
    QString storeToPath_;
};
