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

// Paths are held as UTF-8, half the size of the text for the usual ones;
// null stays null and empty stays empty.
QByteArray stored(const QString& path) {
    if (path.isNull()) return {};
    QByteArray utf8 = path.toUtf8();
    // The conversion reserves three bytes per character.
    utf8.squeeze();
    return utf8.isEmpty() ? QByteArray("", 0) : utf8;
}

QString unstored(const QByteArray& path) {
    if (path.isNull()) return {};
    return path.isEmpty() ? QStringLiteral("") : QString::fromUtf8(path);
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
    item->setFcpMetaDataLocked(fcpMetaData);
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

QString QVExportItem::SharedValues::string(const QString& value) {
    if (value.isNull()) return value;
    std::lock_guard lock(mutex_);
    return *strings_.insert(value);
}

std::shared_ptr<QVUploadLocation> QVExportItem::SharedValues::location(const QVariant& dictionary) {
    QByteArray key;
    PropertyList::appendXmlValue(key, dictionary, 0);
    std::lock_guard lock(mutex_);
    auto& location = locations_[key];
    if (!location) location = QVUploadLocation::uploadLocationWithDictionary(dictionary);
    return location;
}

std::shared_ptr<QVExportItem> QVExportItem::exportItemWithDictionary(const QVariantMap& dictionary,
                                                                     SharedValues* shared) {
    auto common = [shared](const QString& value) { return shared ? shared->string(value) : value; };
    auto item = std::make_shared<QVExportItem>();
    item->name_ = stringAt(dictionary, kName);
    item->thumbnailPath_ = stored(stringAt(dictionary, kThumbnail));
    item->thumbnailTried_ = item->thumbnailPath_.isNull();
    item->setPathsLocked(stringAt(dictionary, kOriginal), stringAt(dictionary, kFcpXML));
    item->storeToPath_ = common(stringAt(dictionary, kStoreToPath));
    item->assetID_ = stringAt(dictionary, kAssetID);
    // The shared asset ID is one of the other two: held once.
    item->movieAssetID_ = stringAt(dictionary, kMovieAssetID);
    if (item->movieAssetID_ == item->assetID_) item->movieAssetID_ = item->assetID_;
    item->fcpXMLAssetID_ = stringAt(dictionary, kFcpXMLAssetID);
    if (item->fcpXMLAssetID_ == item->assetID_) item->fcpXMLAssetID_ = item->assetID_;
    item->exportStatus_ = integerAt(dictionary, kExportStatus);
    item->fcpXMLStatus_ = integerAt(dictionary, kFcpXMLStatus);
    if (dictionary.contains(kFcpXMLOnly))
        item->fcpXMLOnly_ = dictionary.value(kFcpXMLOnly).toBool();

    item->library_ =
        QVLibraryManager::sharedManager().libraryForDBName(stringAt(dictionary, kLibrary));
    if (item->library_) {
        item->projectID_ = common(stringAt(dictionary, kProject));
        item->project_ = item->library_->projectWithID(item->projectID_);
        if (item->project_)
            item->projectName_ = item->project_->name();
        else if (const QString stored = stringAt(dictionary, kProjectName); !stored.isNull())
            item->projectName_ = common(stored);
        else
            item->projectName_ = QStringLiteral("Unknown");
    }
    if (dictionary.contains(kLocationInfo))
        item->locationInfo_ =
            shared
                ? shared->location(dictionary.value(kLocationInfo))
                : QVUploadLocation::uploadLocationWithDictionary(dictionary.value(kLocationInfo));
    item->importType_ = dictionary.contains(kImportType) ? integerAt(dictionary, kImportType)
                                                         : QVImportTypeInsideLibrary;
    // Kept so that a retry after a restart still sends the clip's metadata.
    if (const QVariant metaData = dictionary.value(kFcpMetaData);
        metaData.typeId() == QMetaType::QVariantMap)
        PropertyList::appendXmlValue(item->fcpMetaDataXml_, metaData, kMetaDataDepth);
    item->fcpMetaDataXml_.squeeze();
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
    insertString(map, kThumbnail, unstored(thumbnailPath_));
    insertString(map, kOriginal, unstored(originalPath_));
    insertString(map, kFcpXML, fcpXMLPathLocked());
    if (const auto metaData = metaDataLocked()) map.insert(kFcpMetaData, *metaData);
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
    // Copies are cheap (shared data); the text is made outside the lock.
    std::unique_lock lock(mutex_);
    const QString assetID = assetID_, movieAssetID = movieAssetID_, fcpXMLAssetID = fcpXMLAssetID_,
                  fcpXMLPath = fcpXMLPathLocked(), name = name_,
                  originalPath = unstored(originalPath_), projectID = projectID_,
                  storeToPath = storeToPath_, thumbnailPath = unstored(thumbnailPath_),
                  projectName = storedProjectName(),
                  libraryName = library_ ? library_->dbName() : QString();
    const QByteArray metaDataXml = fcpMetaDataXml_;
    const std::shared_ptr<QVUploadLocation> location = locationInfo_;
    const bool xmlOnly = fcpXMLOnly_;
    const qint64 importType = importType_;
    const qint64 exportStatus = exportStatus_.load();
    const qint64 fcpXMLStatus = fcpXMLStatus_.load();
    lock.unlock();

    // Keys in the order of the dictionary form (sorted), so the text equals
    // PropertyList's rendering of exportItemDictionary().
    const int inner = depth + 1;
    auto text = [&](const QString& key, const QString& value) {
        if (value.isNull()) return;
        PropertyList::appendXmlTextElement(out, "key", key, inner);
        PropertyList::appendXmlTextElement(out, "string", value, inner);
    };
    auto value = [&](const QString& key, const QVariant& v) {
        const qsizetype before = out.size();
        PropertyList::appendXmlTextElement(out, "key", key, inner);
        const qsizetype afterKey = out.size();
        PropertyList::appendXmlValue(out, v, inner);
        if (out.size() == afterKey) out.truncate(before);
    };
    for (int i = 0; i < depth; ++i) out.append('\t');
    out.append("<dict>\n");
    text(kAssetID, assetID);
    value(kExportStatus, exportStatus);
    if (!metaDataXml.isNull()) {
        if (inner == kMetaDataDepth) {
            PropertyList::appendXmlTextElement(out, "key", kFcpMetaData, inner);
            out.append(metaDataXml);
        } else if (const auto metaData = readMetaData(metaDataXml)) {
            value(kFcpMetaData, *metaData);
        }
    }
    text(kFcpXML, fcpXMLPath);
    text(kFcpXMLAssetID, fcpXMLAssetID);
    value(kFcpXMLOnly, xmlOnly);
    value(kFcpXMLStatus, fcpXMLStatus);
    value(kImportType, importType);
    text(kLibrary, libraryName);
    if (location && location->uploadLocationDict())
        value(kLocationInfo, *location->uploadLocationDict());
    text(kMovieAssetID, movieAssetID);
    text(kName, name);
    text(kOriginal, originalPath);
    text(kProject, projectID);
    text(kProjectName, projectName);
    text(kStoreToPath, storeToPath);
    text(kThumbnail, thumbnailPath);
    for (int i = 0; i < depth; ++i) out.append('\t');
    out.append("</dict>\n");
}

std::optional<QVariantMap> QVExportItem::readMetaData(const QByteArray& xml) {
    const auto value =
        PropertyList::read(QByteArray("<plist version=\"1.0\">") + xml + QByteArray("</plist>"));
    if (!value || value->typeId() != QMetaType::QVariantMap) return std::nullopt;
    return value->toMap();
}

std::optional<QVariantMap> QVExportItem::metaDataLocked() const {
    if (fcpMetaDataXml_.isNull()) return std::nullopt;
    return readMetaData(fcpMetaDataXml_);
}

void QVExportItem::setFcpMetaDataLocked(const std::optional<QVariantMap>& metaData) {
    fcpMetaDataXml_ = QByteArray();
    if (metaData) PropertyList::appendXmlValue(fcpMetaDataXml_, *metaData, kMetaDataDepth);
    fcpMetaDataXml_.squeeze();
}

std::optional<QVariantMap> QVExportItem::fcpMetaData() const {
    QByteArray xml;
    {
        std::lock_guard lock(mutex_);
        xml = fcpMetaDataXml_;
    }
    if (xml.isNull()) return std::nullopt;
    return readMetaData(xml);
}

void QVExportItem::setFcpMetaData(const std::optional<QVariantMap>& metaData) {
    std::lock_guard lock(mutex_);
    setFcpMetaDataLocked(metaData);
}

QString QVExportItem::filePath() const {
    std::lock_guard lock(mutex_);
    return fcpXMLOnly_ ? fcpXMLPathLocked() : unstored(originalPath_);
}

qint64 QVExportItem::status() const {
    const bool xmlOnly = fcpXMLOnly();
    return xmlOnly ? fcpXMLStatus_.load() : exportStatus_.load();
}

void QVExportItem::setPathsLocked(const QString& original, const QString& fcpxml) {
    originalPath_ = stored(original);
    originalIsNFC_ = nfc(original) == original;
    fcpXMLIsNFC_ = nfc(fcpxml) == fcpxml;
    // The description nearly always lies beside the movie: then it is not
    // held a second time.
    fcpXMLBesideMovie_ = !original.isNull() && original.endsWith(QLatin1String(".mov")) &&
                         fcpxml.size() == original.size() + 3 &&
                         fcpxml.startsWith(QStringView(original).chopped(4)) &&
                         fcpxml.endsWith(QLatin1String(".fcpxml"));
    fcpXMLPath_ = fcpXMLBesideMovie_ ? QByteArray() : stored(fcpxml);
}

QString QVExportItem::fcpXMLPathLocked() const {
    if (!fcpXMLBesideMovie_) return unstored(fcpXMLPath_);
    QString path = unstored(originalPath_);
    path.chop(4);
    return path + QLatin1String(".fcpxml");
}

#define QV_ITEM_FIELD(Type, getter, setter, member) \
    Type QVExportItem::getter() const {             \
        std::lock_guard lock(mutex_);               \
        return member;                              \
    }                                               \
    void QVExportItem::setter(const Type& value) {  \
        std::lock_guard lock(mutex_);               \
        member = value;                             \
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
QV_ITEM_FIELD(QString, storeToPath, setStoreToPath, storeToPath_)
#undef QV_ITEM_FIELD

QString QVExportItem::normalizedOriginalPath() const {
    std::lock_guard lock(mutex_);
    const QString path = unstored(originalPath_);
    return originalIsNFC_ ? path : nfc(path);
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
    return unstored(thumbnailPath_);
}

void QVExportItem::setThumbnailPath(const QString& thumbnailPath) {
    std::lock_guard lock(mutex_);
    thumbnailPath_ = stored(thumbnailPath);
}

QImage QVExportItem::thumbnailImage() const {
    QString path;
    {
        std::lock_guard lock(mutex_);
        if (thumbnailTried_) return thumbnailImage_;
        path = unstored(thumbnailPath_);
    }
    // Decoded outside the lock; when two threads race, both read the same
    // file and the first result is kept.
    QImage image;
    if (!path.isEmpty() && QFileInfo::exists(path)) image.load(path);
    std::lock_guard lock(mutex_);
    if (!thumbnailTried_ && unstored(thumbnailPath_) == path) {
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
    return unstored(originalPath_);
}

void QVExportItem::setOriginalPath(const QString& path) {
    std::lock_guard lock(mutex_);
    setPathsLocked(path, fcpXMLPathLocked());
}

QString QVExportItem::fcpXMLPath() const {
    std::lock_guard lock(mutex_);
    return fcpXMLPathLocked();
}

void QVExportItem::setFcpXMLPath(const QString& path) {
    std::lock_guard lock(mutex_);
    setPathsLocked(unstored(originalPath_), path);
}

QString QVExportItem::normalizedFcpXMLPath() const {
    std::lock_guard lock(mutex_);
    const QString path = fcpXMLPathLocked();
    return fcpXMLIsNFC_ ? path : nfc(path);
}

bool QVExportItem::fcpXMLOnly() const {
    std::lock_guard lock(mutex_);
    return fcpXMLOnly_;
}

void QVExportItem::setFcpXMLOnly(bool fcpXMLOnly) {
    std::lock_guard lock(mutex_);
    fcpXMLOnly_ = fcpXMLOnly;
}

qint64 QVExportItem::importType() const {
    std::lock_guard lock(mutex_);
    return importType_;
}

void QVExportItem::setImportType(qint64 importType) {
    std::lock_guard lock(mutex_);
    importType_ = importType;
}

// Every key is written; the coder leaves nil values out, which read back as
// nil.
void QVExportItem::encodeWithCoder(KeyedArchiver& coder) const {
    std::lock_guard lock(mutex_);
    coder.encodeString(name_, kName);
    coder.encodeString(library_ ? library_->dbName() : QString(), kLibrary);
    coder.encodeString(projectID_, kProject);
    coder.encodeString(storedProjectName(), kProjectName);
    coder.encodeString(unstored(thumbnailPath_), kThumbnail);
    coder.encodeString(unstored(originalPath_), kOriginal);
    coder.encodeString(fcpXMLPathLocked(), kFcpXML);
    if (const auto metaData = metaDataLocked()) coder.encodeValue(*metaData, kFcpMetaData);
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
    thumbnailPath_ = stored(coder.decodeString(kThumbnail));
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
    setFcpMetaDataLocked(metaData.typeId() == QMetaType::QVariantMap
                             ? std::optional<QVariantMap>(metaData.toMap())
                             : std::nullopt);
}
