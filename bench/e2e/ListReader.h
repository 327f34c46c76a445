#pragma once

#include <QString>
#include <QVariantMap>

// The share's item in the list file, read only when a save landed. The
// newest item is written first, so only the file's first entry is parsed:
// parsing the whole list after every save would take the two cores from
// the agent it is timing.
class ListReader {
  public:
    explicit ListReader(QString path) : path_(std::move(path)) {}
    // Reads the entry named name (none when the file has no such entry).
    void read(const QString& name);
    // The entry's integer value of key; -99 when there is no entry.
    qint64 status(const char* key) const;
    bool has(const char* key) const { return item_.contains(key); }

  private:
    QString path_;
    QVariantMap item_;
};
