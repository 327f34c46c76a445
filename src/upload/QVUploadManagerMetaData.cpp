// The mapping of an export item to the fields of its asset.
#include <QFileInfo>
#include <QStringList>

#include "export/QVExportItem.h"
#include "export/QVUploadLocation.h"
#include "library/QVProject.h"
#include "service/QVTesselUtil.h"
#include "upload/QVUploadManager.h"

namespace {

const QString kImportLabel = QStringLiteral("Final Cut Pro X");
const QString kImportVolume = QStringLiteral("Relaydock for Corvane Pro");
const QString kKeywordsKey = QStringLiteral("com_apple_quicktime_keywords");

// The top-level project above a group: its root, or the walk up the
// parents when the root reference has gone.
std::shared_ptr<QVProject> projectOfGroup(const std::shared_ptr<QVProject>& group) {
    if (auto root = group->rootProject()) return root;
    return QVProject::findProjectWithGroup(group);
}

}  // namespace

QVariantMap QVUploadManager::keyChangedFCPMetaData(const QVariantMap& metaData) {
    QVariantMap changed;
    for (auto it = metaData.cbegin(); it != metaData.cend(); ++it) {
        QString key = it.key();
        changed.insert(key.replace(QLatin1Char('.'), QLatin1Char('_')), it.value());
    }
    return changed;
}

std::optional<QVariantMap> QVUploadManager::metaDataWithExportItem(
    const std::shared_ptr<QVExportItem>& item, const QString& extension) {
    if (!item || extension.isNull()) return std::nullopt;
    const QString name = item->name();
    const auto library = item->library();
    const auto project = item->project();
    if (name.isNull() || !library || !project) return std::nullopt;
    const qint64 importType = item->importType();
    const auto location = item->locationInfo();
    if (importType != QVImportTypeStoreToPath && !location) return std::nullopt;
    if (importType == QVImportTypeStoreToPath && item->storeToPath().isNull()) return std::nullopt;

    const QString file =
        extension == QLatin1String("fcpxml") ? item->fcpXMLPath() : item->originalPath();

    QVariantMap metas;
    if (project->projectType() == 0) {
        metas.insert(QStringLiteral("project"), project->id());
        metas.insert(QStringLiteral("group"), QString(QLatin1String("")));
    } else {
        const auto root = projectOfGroup(project);
        metas.insert(QStringLiteral("project"), root ? root->id() : QString(QLatin1String("")));
        metas.insert(QStringLiteral("group"), project->id());
    }
    metas.insert(QStringLiteral("name"), name);
    metas.insert(QStringLiteral("importtype"), importType);
    if (location) {
        const QString master =
            location->masterPathWithFileName(name + QLatin1Char('.') + extension);
        if (!master.isNull()) metas.insert(QStringLiteral("masterpath"), master);
    }
    if (const auto fcpMetaData = item->fcpMetaData()) {
        const QVariantMap fcpx = keyChangedFCPMetaData(*fcpMetaData);
        metas.insert(QStringLiteral("fcpx"), fcpx);
        const QVariant keywords = fcpx.value(kKeywordsKey);
        if (keywords.typeId() == QMetaType::QString) {
            QVariantList tags;
            for (const QString& tag : keywords.toString().split(QLatin1Char(','))) tags.append(tag);
            metas.insert(QStringLiteral("tags"), tags);
        }
    }
    if (importType == QVImportTypeStoreToPath) metas.insert(QStringLiteral("importfrompath"), file);
    const QFileInfo info(file);
    if (!file.isEmpty() && info.exists()) {
        QDateTime created = info.birthTime();
        // File systems without a birth time report none; the oldest time
        // they do know stands in.
        if (!created.isValid()) created = std::min(info.lastModified(), info.metadataChangeTime());
        if (const auto number = QVTesselUtil::dateNumberFromDate(created.toUTC()))
            metas.insert(QStringLiteral("createdate"), *number);
        if (const auto number = QVTesselUtil::dateNumberFromDate(info.lastModified().toUTC()))
            metas.insert(QStringLiteral("modifydate"), *number);
    }
    metas.insert(QStringLiteral("importdisklabel"), kImportLabel);
    metas.insert(QStringLiteral("importvolume"), kImportVolume);
    metas.insert(QStringLiteral("importer"), kImportLabel);
    return metas;
}
