#pragma once

#include <optional>

#include <QIcon>
#include <QList>
#include <QString>

struct ApplicationInfo {
    QString desktopId;    // "org.videolan.VLC.desktop"
    QString displayName;  // "VLC media player"
    QIcon icon;
    QString filePath;  // the desktop file, when the application has one
    bool operator==(const ApplicationInfo& o) const { return desktopId == o.desktopId; }
};

// The applications that can open a file and the default one, from the
// freedesktop MIME and application database.
class ApplicationAssociations {
  public:
    static QList<ApplicationInfo> applicationsForFile(const QString& path);
    static std::optional<ApplicationInfo> defaultApplicationForFile(const QString& path);
    // Every installed application that shows in menus (for "Other…").
    static QList<ApplicationInfo> allApplications();
    // The content type the associations are looked up by ("video/quicktime"):
    // sniffed from the file when it can be read, else guessed from the name.
    static QString contentTypeForFile(const QString& path);
};
