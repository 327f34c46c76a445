#include "export/QVExportItem.h"

#include <QFileInfo>

#include "export/QVUploadLocation.h"
#include "library/KeyedArchiver.h"
#include "library/KeyedUnarchiver.h"
#include "library/QVLibrary.h"
#include "library/QVLibraryManager.h"
#include "library/QVProject.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"

namespace {

const bool kRegistered = [] {
    KeyedUnarchiver::registerClass(QStringLiteral("QVExportItem"),
                                   [] { return std::make_shared<QVExportItem>(); });
    return true;
}();

const QString kName = QStringLiteral("name");
const QString kLibrary = QStringLiteral("library");
const QString kProject = QStringLiteral("project");
const QString kProjectName = QStringLiteral("projectname");
const QString kThumbnail = QStringLiteral("thumbnail");
const QString kOriginal = QStringLiteral("original");
const QString kFcpXML = QStringLiteral("fcpxml");
const QString kFcpMetaData = QStringLiteral("fcpmetadata");
const QString kLocationInfo = QStringLiteral("locationinfo");
const QString kStoreToPath = QStringLiteral("storetopath");
const QString kAssetID = QStringLiteral("assetid");
const QString kMovieAssetID = QStringLiteral("movieassetid");
const QString kFcpXMLAssetID = QStringLiteral("fcpxmlassetid");
const QString kExportStatus = QStringLiteral("exportstatus");
const QString kFcpXMLStatus = QStringLiteral("fcpxmlstatus");
const QString kFcpXMLOnly = QStringLiteral("fcpxmlonly");
const QString kImportType = QStringLiteral("importtype");

QString nfc(const QString& path) {
    return path.isNull() ? QString() : path.normalized(QString::NormalizationForm_C);
}

void insertString(QVariantMap& map, const QString& key, const QString& value) {
    if (!value.isNull()) map.insert(key, value);
}

QString stringAt(const QVariantMap& map, const QString& key) {
    return QVTesselUtil::stringValueFromObject(map.value(key));
}

// A missing or unusable number reads as 0, as an absent integer does.
qint64 integerAt(const QVariantMap& map, const QString& key) {
    return QVTesselUtil::integerReading(map.value(key)).value_or(0);
}

std::optional<QVariantMap> mapAt(const QVariantMap& map, const QString& key) {
    const QVariant value = map.value(key);
    if (value.typeId() != QMetaType::QVariantMap) return std::nullopt;
    return value.toMap();
}

}  // namespace

std::shared_ptr<QVExportItem> QVExportItem::exportItemWithName(
    const QString& name, const std::optional<QVariantMap>& fcpMetaData,
    const std::shared_ptr<QVLibrary>& library, const std::shared_ptr<QVProject>& project,
    qint64 importType, const std::shared_ptr<QVUploadLocation>& locationInfo,
    const QString& storeToPath, bool fcpXMLOnly) {
    if (name.isNull() || !fcpMetaData || !library || !project) {
        QVLog::log(QStringLiteral("exportItemWithName parameter is nil."));
        return nullptr;
    }
    if (importType != QVImportTypeStoreToPath && !locationInfo) {
        QVLog::log(QStringLiteral("locationInfo parameter is nil."));
        return nullptr;
    }
    if (importType == QVImportTypeStoreToPath && storeToPath.isNull()) {
        QVLog::log(QStringLiteral("storeToPath parameter is nil."));
        return nullptr;
    }
    auto item = std::make_shared<QVExportItem>();
    item->name_ = name;
    item->library_ = library;
    item->project_ = project;
    item->projectID_ = project->id();
    item->projectName_ = project->name();
    item->fcpMetaData_ = fcpMetaData;
    item->locationInfo_ = locationInfo;
    item->fcpXMLOnly_ = fcpXMLOnly;
    item->importType_ = importType;
    item->storeToPath_ = storeToPath;

    const QString fcpXMLName = name + QStringLiteral(".fcpxml");
    const QString movieName = name + QStringLiteral(".mov");
    QString original, fcpxml;
    if (importType != QVImportTypeStoreToPath) {
        fcpxml = locationInfo->uploadPathWithLibrary(library, fcpXMLName);
        if (!fcpXMLOnly) original = locationInfo->uploadPathWithLibrary(library, movieName);
    } else {
        fcpxml = QVUploadLocation::appendPathComponent(storeToPath, fcpXMLName);
        if (!fcpXMLOnly) original = QVUploadLocation::appendPathComponent(storeToPath, movieName);
    }
    item->setPathsLocked(original, fcpxml);
    return item;
}

std::shared_ptr<QVExportItem> QVExportItem::exportItemWithDictionary(
    const QVariantMap& dictionary) {
    auto item = std::make_shared<QVExportItem>();
    item->name_ = stringAt(dictionary, kName);
    item->thumbnailPath_ = stringAt(dictionary, kThumbnail);
    item->thumbnailTried_ = item->thumbnailPath_.isNull();
    item->setPathsLocked(stringAt(dictionary, kOriginal), stringAt(dictionary, kFcpXML));
    item->storeToPath_ = stringAt(dictionary, kStoreToPath);
    item->assetID_ = stringAt(dictionary, kAssetID);
    item->movieAssetID_ = stringAt(dictionary, kMovieAssetID);
    item->fcpXMLAssetID_ = stringAt(dictionary, kFcpXMLAssetID);
    item->exportStatus_ = integerAt(dictionary, kExportStatus);
    item->fcpXMLStatus_ = integerAt(dictionary, kFcpXMLStatus);
    if (dictionary.contains(kFcpXMLOnly))
        item->fcpXMLOnly_ = dictionary.value(kFcpXMLOnly).toBool();

    item->library_ =
        QVLibraryManager::sharedManager().libraryForDBName(stringAt(dictionary, kLibrary));
    if (item->library_) {
        item->projectID_ = stringAt(dictionary, kProject);
        item->project_ = item->library_->projectWithID(item->projectID_);
        if (item->project_)
            item->projectName_ = item->project_->name();
        else if (const QString stored = stringAt(dictionary, kProjectName); !stored.isNull())
            item->projectName_ = stored;
        else
            item->projectName_ = QStringLiteral("Unknown");
    }
    if (dictionary.contains(kLocationInfo))
        item->locationInfo_ =
            QVUploadLocation::uploadLocationWithDictionary(dictionary.value(kLocationInfo));
    item->importType_ = dictionary.contains(kImportType) ? integerAt(dictionary, kImportType)
                                                         : QVImportTypeInsideLibrary;
    // Kept so that a retry after a restart still sends the clip's metadata.
    item->fcpMetaData_ = mapAt(dictionary, kFcpMetaData);
    return item;
}

QString QVExportItem::storedProjectName() const {
    if (projectName_.isNull()) return {};
    return project_ ? project_->name() : projectName_;
}

QVariantMap QVExportItem::exportItemDictionary() const {
    std::lock_guard lock(mutex_);
    return dictionaryLocked();
}

QVariantMap QVExportItem::dictionaryLocked() const {
    QVariantMap map;
    insertString(map, kName, name_);
    if (library_) insertString(map, kLibrary, library_->dbName());
    insertString(map, kProject, projectID_);
    insertString(map, kProjectName, storedProjectName());
    insertString(map, kThumbnail, thumbnailPath_);
    insertString(map, kOriginal, originalPath_);
    insertString(map, kFcpXML, fcpXMLPath_);
    if (fcpMetaData_) map.insert(kFcpMetaData, *fcpMetaData_);
    if (locationInfo_ && locationInfo_->uploadLocationDict())
        map.insert(kLocationInfo, *locationInfo_->uploadLocationDict());
    insertString(map, kStoreToPath, storeToPath_);
    insertString(map, kAssetID, assetID_);
    insertString(map, kMovieAssetID, movieAssetID_);
    insertString(map, kFcpXMLAssetID, fcpXMLAssetID_);
    map.insert(kExportStatus, qint64(exportStatus_.load()));
    map.insert(kFcpXMLStatus, qint64(fcpXMLStatus_.load()));
    map.insert(kFcpXMLOnly, fcpXMLOnly_);
    map.insert(kImportType, importType_);
    return map;
}

void QVExportItem::appendXml(QByteArray& out, int depth) const {
    std::unique_lock lock(mutex_);
    XmlInputs inputs{version_,
                     depth,
                     exportStatus_.load(),
                     fcpXMLStatus_.load(),
                     library_ ? library_->dbName() : QString(),
                     storedProjectName()};
    if (xml_ && xmlInputs_ == inputs) {
        const std::shared_ptr<const QByteArray> cached = xml_;
        lock.unlock();
        out.append(*cached);
        return;
    }
    // Copies are cheap (shared data); the text is made outside the lock.
    const QString assetID = assetID_, movieAssetID = movieAssetID_, fcpXMLAssetID = fcpXMLAssetID_,
                  fcpXMLPath = fcpXMLPath_, name = name_, originalPath = originalPath_,
                  projectID = projectID_, storeToPath = storeToPath_,
                  thumbnailPath = thumbnailPath_;
    const std::optional<QVariantMap> metaData = fcpMetaData_;
    const std::optional<QVariantMap> location =
        locationInfo_ ? locationInfo_->uploadLocationDict() : std::nullopt;
    const bool xmlOnly = fcpXMLOnly_;
    const qint64 importType = importType_;
    lock.unlock();

    // Keys in the order of the dictionary form (sorted), so the text equals
    // PropertyList's rendering of exportItemDictionary().
    auto xml = std::make_shared<QByteArray>();
    xml->reserve(xml_ ? xml_->size() + 256 : 2048);
    const int inner = depth + 1;
    auto text = [&](const QString& key, const QString& value) {
        if (value.isNull()) return;
        PropertyList::appendXmlTextElement(*xml, "key", key, inner);
        PropertyList::appendXmlTextElement(*xml, "string", value, inner);
    };
    auto value = [&](const QString& key, const QVariant& v) {
        const qsizetype before = xml->size();
        PropertyList::appendXmlTextElement(*xml, "key", key, inner);
        const qsizetype afterKey = xml->size();
        PropertyList::appendXmlValue(*xml, v, inner);
        if (xml->size() == afterKey) xml->truncate(before);
    };
    if (depth > 0) xml->append(qsizetype(depth), '\t');
    xml->append("<dict>\n");
    text(kAssetID, assetID);
    value(kExportStatus, inputs.exportStatus);
    if (metaData) value(kFcpMetaData, *metaData);
    text(kFcpXML, fcpXMLPath);
    text(kFcpXMLAssetID, fcpXMLAssetID);
    value(kFcpXMLOnly, xmlOnly);
    value(kFcpXMLStatus, inputs.fcpXMLStatus);
    value(kImportType, importType);
    text(kLibrary, inputs.libraryName);
    if (location) value(kLocationInfo, *location);
    text(kMovieAssetID, movieAssetID);
    text(kName, name);
    text(kOriginal, originalPath);
    text(kProject, projectID);
    text(kProjectName, inputs.projectName);
    text(kStoreToPath, storeToPath);
    text(kThumbnail, thumbnailPath);
    if (depth > 0) xml->append(qsizetype(depth), '\t');
    xml->append("</dict>\n");
    out.append(*xml);

    lock.lock();
    // The inputs are those of the snapshot; a change made meanwhile has
    // moved the version on, so the next save makes the text again.
    xml_ = std::move(xml);
    xmlInputs_ = std::move(inputs);
}

QString QVExportItem::filePath() const {
    std::lock_guard lock(mutex_);
    return fcpXMLOnly_ ? fcpXMLPath_ : originalPath_;
}

qint64 QVExportItem::status() const {
    const bool xmlOnly = fcpXMLOnly();
    return xmlOnly ? fcpXMLStatus_.load() : exportStatus_.load();
}

void QVExportItem::setPathsLocked(const QString& original, const QString& fcpxml) {
    originalPath_ = original;
    fcpXMLPath_ = fcpxml;
    nfcOriginalPath_ = nfc(original);
    nfcFcpXMLPath_ = nfc(fcpxml);
    changed();
}

#define QV_ITEM_FIELD(Type, getter, setter, member) \
    Type QVExportItem::getter() const {             \
        std::lock_guard lock(mutex_);               \
        return member;                              \
    }                                               \
    void QVExportItem::setter(const Type& value) {  \
        std::lock_guard lock(mutex_);               \
        member = value;                             \
        changed();                                  \
    }

QV_ITEM_FIELD(QString, name, setName, name_)
QV_ITEM_FIELD(std::shared_ptr<QVLibrary>, library, setLibrary, library_)
QV_ITEM_FIELD(std::shared_ptr<QVProject>, project, setProject, project_)
QV_ITEM_FIELD(QString, projectID, setProjectID, projectID_)
QV_ITEM_FIELD(QString, projectName, setProjectName, projectName_)
QV_ITEM_FIELD(QString, assetID, setAssetID, assetID_)
QV_ITEM_FIELD(QString, movieAssetID, setMovieAssetID, movieAssetID_)
QV_ITEM_FIELD(QString, fcpXMLAssetID, setFcpXMLAssetID, fcpXMLAssetID_)
QV_ITEM_FIELD(std::shared_ptr<QVUploadLocation>, locationInfo, setLocationInfo, locationInfo_)
QV_ITEM_FIELD(std::optional<QVariantMap>, fcpMetaData, setFcpMetaData, fcpMetaData_)
QV_ITEM_FIELD(QString, storeToPath, setStoreToPath, storeToPath_)
#undef QV_ITEM_FIELD

QString QVExportItem::normalizedOriginalPath() const {
    std::lock_guard lock(mutex_);
    return nfcOriginalPath_;
}

void QVExportItem::setExportStatus(qint64 status) {
    exportStatus_.store(status);
}

void QVExportItem::setFcpXMLStatus(qint64 status) {
    fcpXMLStatus_.store(status);
}

bool QVExportItem::advanceStatus(File file, qint64 from, qint64 to) {
    auto& status = file == File::Movie ? exportStatus_ : fcpXMLStatus_;
    return status.compare_exchange_strong(from, to);
}

QString QVExportItem::thumbnailPath() const {
    std::lock_guard lock(mutex_);
    return thumbnailPath_;
}

void QVExportItem::setThumbnailPath(const QString& thumbnailPath) {
    std::lock_guard lock(mutex_);
    thumbnailPath_ = thumbnailPath;
    changed();
}

QImage QVExportItem::thumbnailImage() const {
    QString path;
    {
        std::lock_guard lock(mutex_);
        if (thumbnailTried_) return thumbnailImage_;
        path = thumbnailPath_;
    }
    // Decoded outside the lock; when two threads race, both read the same
    // file and the first result is kept.
    QImage image;
    if (!path.isEmpty() && QFileInfo::exists(path)) image.load(path);
    std::lock_guard lock(mutex_);
    if (!thumbnailTried_ && thumbnailPath_ == path) {
        thumbnailImage_ = image;
        thumbnailTried_ = true;
    }
    return thumbnailImage_;
}

void QVExportItem::setThumbnailImage(const QImage& image) {
    std::lock_guard lock(mutex_);
    thumbnailImage_ = image;
    thumbnailTried_ = true;
}

QString QVExportItem::originalPath() const {
    std::lock_guard lock(mutex_);
    return originalPath_;
}

void QVExportItem::setOriginalPath(const QString& path) {
    std::lock_guard lock(mutex_);
    setPathsLocked(path, fcpXMLPath_);
}

QString QVExportItem::fcpXMLPath() const {
    std::lock_guard lock(mutex_);
    return fcpXMLPath_;
}

void QVExportItem::setFcpXMLPath(const QString& path) {
    std::lock_guard lock(mutex_);
    setPathsLocked(originalPath_, path);
}

QString QVExportItem::normalizedFcpXMLPath() const {
    std::lock_guard lock(mutex_);
    return nfcFcpXMLPath_;
}

bool QVExportItem::fcpXMLOnly() const {
    std::lock_guard lock(mutex_);
    return fcpXMLOnly_;
}

void QVExportItem::setFcpXMLOnly(bool fcpXMLOnly) {
    std::lock_guard lock(mutex_);
    fcpXMLOnly_ = fcpXMLOnly;
    changed();
}

qint64 QVExportItem::importType() const {
    std::lock_guard lock(mutex_);
    return importType_;
}

void QVExportItem::setImportType(qint64 importType) {
    std::lock_guard lock(mutex_);
    importType_ = importType;
    changed();
}

// Every key is written; the coder leaves nil values out, which read back as
// nil.
void QVExportItem::encodeWithCoder(KeyedArchiver& coder) const {
    std::lock_guard lock(mutex_);
    coder.encodeString(name_, kName);
    coder.encodeString(library_ ? library_->dbName() : QString(), kLibrary);
    coder.encodeString(projectID_, kProject);
    coder.encodeString(storedProjectName(), kProjectName);
    coder.encodeString(thumbnailPath_, kThumbnail);
    coder.encodeString(originalPath_, kOriginal);
    coder.encodeString(fcpXMLPath_, kFcpXML);
    if (fcpMetaData_) coder.encodeValue(*fcpMetaData_, kFcpMetaData);
    if (locationInfo_ && locationInfo_->uploadLocationDict())
        coder.encodeValue(*locationInfo_->uploadLocationDict(), kLocationInfo);
    coder.encodeString(storeToPath_, kStoreToPath);
    coder.encodeString(assetID_, kAssetID);
    coder.encodeString(movieAssetID_, kMovieAssetID);
    coder.encodeString(fcpXMLAssetID_, kFcpXMLAssetID);
    coder.encodeInt64(exportStatus_.load(), kExportStatus);
    coder.encodeInt64(fcpXMLStatus_.load(), kFcpXMLStatus);
    coder.encodeBool(fcpXMLOnly_, kFcpXMLOnly);
    coder.encodeInt64(importType_, kImportType);
}

// Differs from the dictionary path: the project ID is always taken, the node
// name has no "Unknown" fallback, and the import type defaults to 1 only when
// the key is absent.
void QVExportItem::initWithCoder(const KeyedUnarchiver& coder) {
    std::lock_guard lock(mutex_);
    name_ = coder.decodeString(kName);
    thumbnailPath_ = coder.decodeString(kThumbnail);
    thumbnailTried_ = thumbnailPath_.isNull();
    setPathsLocked(coder.decodeString(kOriginal), coder.decodeString(kFcpXML));
    storeToPath_ = coder.decodeString(kStoreToPath);
    assetID_ = coder.decodeString(kAssetID);
    movieAssetID_ = coder.decodeString(kMovieAssetID);
    fcpXMLAssetID_ = coder.decodeString(kFcpXMLAssetID);
    exportStatus_ = coder.decodeInt64(kExportStatus);
    fcpXMLStatus_ = coder.decodeInt64(kFcpXMLStatus);
    fcpXMLOnly_ = coder.decodeBool(kFcpXMLOnly);
    library_ = QVLibraryManager::sharedManager().libraryForDBName(coder.decodeString(kLibrary));
    projectID_ = coder.decodeString(kProject);
    project_ = library_ ? library_->projectWithID(projectID_) : nullptr;
    projectName_ = project_ ? project_->name() : coder.decodeString(kProjectName);
    const QVariant location = coder.decodeValue(kLocationInfo);
    if (location.isValid())
        locationInfo_ = QVUploadLocation::uploadLocationWithDictionary(location);
    importType_ = coder.containsValueForKey(kImportType) ? coder.decodeInt64(kImportType)
                                                         : QVImportTypeInsideLibrary;
    const QVariant metaData = coder.decodeValue(kFcpMetaData);
    if (metaData.typeId() == QMetaType::QVariantMap) fcpMetaData_ = metaData.toMap();
    changed();
}
