#include "export/QVUploadLocation.h"

#include <QStringList>

#include "library/QVLibrary.h"
#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"

namespace {

QString stripTrailingSlashes(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    return path;
}

// True when the relative path stays inside the folder it is joined to.
bool staysInside(const QString& relative) {
    if (relative.startsWith(QLatin1Char('/'))) return false;
    int depth = 0;
    for (const QString& part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            if (--depth < 0) return false;
        } else if (part != QLatin1String(".")) {
            ++depth;
        }
    }
    return true;
}

}  // namespace

std::shared_ptr<QVUploadLocation> QVUploadLocation::uploadLocationWithDictionary(
    const QVariant& dictionary) {
    auto location = std::make_shared<QVUploadLocation>();
    if (dictionary.typeId() == QMetaType::QVariantMap) location->dict_ = dictionary.toMap();
    return location;
}

QString QVUploadLocation::stringForKey(const char* key) const {
    if (!dict_) return {};
    return QVTesselUtil::stringValueFromObject(dict_->value(QLatin1String(key)));
}

QString QVUploadLocation::mediaPath() const {
    return stringForKey("mediapath");
}

QString QVUploadLocation::datetimePath() const {
    return stringForKey("path");
}

QString QVUploadLocation::url() const {
    return stringForKey("url");
}

QString QVUploadLocation::dbName() const {
    return stringForKey("dbname");
}

QString QVUploadLocation::appendPathComponent(const QString& base, const QString& component) {
    QString tail = component;
    while (tail.startsWith(QLatin1Char('/'))) tail.remove(0, 1);
    tail = stripTrailingSlashes(tail);
    if (base.isEmpty()) return tail;
    const QString head = stripTrailingSlashes(base);
    if (tail.isEmpty()) return head;
    if (head == QLatin1String("/")) return head + tail;
    return head + QLatin1Char('/') + tail;
}

QString QVUploadLocation::uploadPathWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                                const QString& fileName) const {
    const QString media = mediaPath();
    if (!library || media.isNull()) return {};
    const QString root =
        library->libraryType() == 0 ? library->packageFolder() : library->mountPath();
    if (root.isNull()) return {};
    const QString relative = fileName.isNull() ? media : appendPathComponent(media, fileName);
    if (!staysInside(relative)) {
        QVLog::log(
            QStringLiteral("uploadPathWithLibrary refused media path outside the library: %1")
                .arg(relative));
        return {};
    }
    return appendPathComponent(root, relative);
}

QString QVUploadLocation::masterPathWithFileName(const QString& fileName) const {
    const QString media = mediaPath();
    if (media.isNull()) return {};
    return appendPathComponent(media, fileName);
}
