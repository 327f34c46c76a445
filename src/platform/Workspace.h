#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

// Opening files, revealing them in the file manager, and file icons.
class Workspace {
  public:
    // Opens with the default application; false when none could be launched.
    static bool openFile(const QString& path);
    // Opens with the application of the given desktop-file id ("vlc.desktop");
    // an absolute path names a desktop file or, failing that, a program.
    static bool openFileWithApplication(const QString& path, const QString& desktopId);
    // org.freedesktop.FileManager1.ShowItems, falling back to opening the
    // containing folder.
    static bool revealInFileManager(const QStringList& paths);
    static bool openUrl(const QString& url);
    // The generic icon of a file type by extension ("mov", "fcpxml").
    static QIcon iconForFileType(const QString& extension);
    static QIcon iconForFile(const QString& path);
};
