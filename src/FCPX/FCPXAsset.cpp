#include "FCPX/FCPXAsset.h"

#include "service/QVTesselUtil.h"

FCPXAsset::FCPXAsset() = default;

FCPXAsset::FCPXAsset(const QString& name, const QUrl& folder) : FCPXObject() {
    setName(name);
    folder_ = folder;
}

QVariantMap FCPXAsset::locationInfo() const {
    QVariantMap info;
    if (!folder_.isEmpty()) info.insert("folder", folder_);
    info.insert("basename", QVTesselUtil::sanitizeFileNameString(name()));
    info.insert("hasMedia", hasMedia_);
    info.insert("hasDescription", hasDescription_);
    return info;
}

QVariant FCPXAsset::valueForKey(const QString& key) const {
    if (key == QLatin1String("locationInfo")) return locationInfo();
    if (key == QLatin1String("metadata")) return metadata_;
    if (key == QLatin1String("dataOptions")) return dataOptions_;
    if (key == QLatin1String("folder")) return folder_;
    if (key == QLatin1String("basename")) return basename_;
    if (key == QLatin1String("hasMedia")) return hasMedia_;
    if (key == QLatin1String("hasDescription")) return hasDescription_;
    return FCPXObject::valueForKey(key);
}

bool FCPXAsset::setValueForKey(const QString& key, const QVariant& value) {
    if (key == QLatin1String("metadata") && value.typeId() == QMetaType::QVariantMap) {
        metadata_ = value.toMap();
        return true;
    }
    if (key == QLatin1String("dataOptions") && value.typeId() == QMetaType::QVariantMap) {
        dataOptions_ = value.toMap();
        return true;
    }
    return FCPXObject::setValueForKey(key, value);
}
