#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file so that readers see either the old or the new content,
// never a mix, even if the process dies half-way: temporary file in the same
// folder, fsync of the file, rename over the destination, fsync of the folder.
// The folder must exist. A link is followed: the file it points to is
// replaced. The replacement keeps the permissions of the file it replaces.
// On failure the destination is untouched, no temporary is left, and *error
// says what went wrong (with the system's reason).
class AtomicFile {
  public:
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr);
    // Appends whole lines (data ending in a newline) and returns once they
    // are on disk, the file's name included when this made the file. A last
    // line a crash cut short is ended first, so the new lines stay whole.
    // False when they may not be on disk.
    static bool appendLines(const QString& path, const QByteArray& lines);
};
