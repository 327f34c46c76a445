#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file so that readers see either the old or the new content,
// never a mix, even if the process dies half-way: temporary file in the same
// folder, fsync of the file, rename over the destination, fsync of the folder.
class AtomicFile {
  public:
    static bool write(const QString& path, const QByteArray& data, QString* error = nullptr);
};
