#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QVariant>
#include <QVariantMap>

class QVLibrary;

// Where the Tessel service wants new media of a library: its answer, kept as
// received, and the paths derived from it (the folder the editor writes into
// and the library-relative master path sent back at asset creation).
// Immutable after creation, so it may be shared between threads.
class QVUploadLocation {
  public:
    // A location over the service's answer; an invalid (nil) or non-map value
    // gives a location whose accessors all answer null.
    static std::shared_ptr<QVUploadLocation> uploadLocationWithDictionary(
        const QVariant& dictionary);

    // Null when the answer is nil or lacks the key, or the value is no string.
    QString mediaPath() const;     // "mediapath", relative to the library root
    QString datetimePath() const;  // "path"
    QString url() const;           // "url"
    QString dbName() const;        // "dbname"

    // library root / mediapath [/ fileName]. Null without library, media path
    // or root, and when the media path (with the file name) is absolute or
    // climbs out of the root with "..": the service must not be able to steer
    // the editor's writes outside the library.
    QString uploadPathWithLibrary(const std::shared_ptr<QVLibrary>& library,
                                  const QString& fileName = QString()) const;
    // mediapath / fileName; null without a media path.
    QString masterPathWithFileName(const QString& fileName) const;

    // The answer as received; nothing for a location built from nil.
    const std::optional<QVariantMap>& uploadLocationDict() const { return dict_; }

    // Joins path components as the editor's platform does: exactly one "/"
    // between the parts, a trailing "/" dropped.
    static QString appendPathComponent(const QString& base, const QString& component);

  private:
    QString stringForKey(const char* key) const;

    std::optional<QVariantMap> dict_;
};
