#pragma once

#include <QUrl>
#include <QVariantMap>

#include "FCPX/FCPXObject.h"

// One asset the editor makes: where it is to write the exported files, what
// it is to write (media, description), and the metadata and data options it
// passed.
class FCPXAsset : public FCPXObject {
  public:
    FCPXAsset();
    // initWithName:at: — a new ID and name counter value first, then the
    // name, the folder and the defaults.
    FCPXAsset(const QString& name, const QUrl& folder);

    // Built on every read: "folder" (left out when there is no folder),
    // "basename" (the name made safe for file names), "hasMedia",
    // "hasDescription".
    QVariantMap locationInfo() const;
    // Write-only switch: a description-only share has no media.
    void setWantFCPXMLOnly(bool fcpXMLOnly) { hasMedia_ = !fcpXMLOnly; }

    bool hasDescription() const { return hasDescription_; }
    void setHasDescription(bool value) { hasDescription_ = value; }
    bool hasMedia() const { return hasMedia_; }
    void setHasMedia(bool value) { hasMedia_ = value; }
    QUrl folder() const { return folder_; }
    void setFolder(const QUrl& folder) { folder_ = folder; }
    QUrl basename() const { return basename_; }
    void setBasename(const QUrl& basename) { basename_ = basename; }
    QVariantMap metadata() const { return metadata_; }
    void setMetadata(const QVariantMap& metadata) { metadata_ = metadata; }
    QVariantMap dataOptions() const { return dataOptions_; }
    void setDataOptions(const QVariantMap& options) { dataOptions_ = options; }

    QString scriptingClassName() const override { return QStringLiteral("FCPXAsset"); }
    QVariant valueForKey(const QString& key) const override;
    bool setValueForKey(const QString& key, const QVariant& value) override;

  private:
    bool hasDescription_ = true;
    bool hasMedia_ = true;
    QUrl folder_;
    QUrl basename_;
    QVariantMap metadata_;
    QVariantMap dataOptions_;
};
