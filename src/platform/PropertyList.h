#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

// Property lists <-> QVariant.
//   dictionary <-> QVariantMap, array <-> QVariantList, string <-> QString,
//   integer <-> qint64 (unsigned values above INT64_MAX <-> quint64),
//   real <-> double, boolean <-> bool, date <-> QDateTime (UTC),
//   data <-> QByteArray.
// Reading accepts XML and binary (libplist); writing produces XML from a
// streaming writer and stores files atomically.
class PropertyList {
  public:
    static std::optional<QVariant> read(const QByteArray& data, QString* error = nullptr);
    static std::optional<QVariant> readFile(const QString& path, QString* error = nullptr);

    // A complete XML document.
    static QByteArray toXml(const QVariant& value);
    // Appends one value's XML (no document header), indented by depth tabs.
    // Lets callers stream a large document piece by piece.
    static void appendXmlValue(QByteArray& out, const QVariant& value, int depth);
    // <tag>text</tag> with the text escaped as element content (for keys and
    // strings written without a QVariant around them).
    static void appendXmlTextElement(QByteArray& out, const char* tag, QStringView text, int depth);
    static QByteArray xmlHeader();
    static QByteArray xmlFooter();

    // toXml + AtomicFile::write.
    static bool writeFile(const QString& path, const QVariant& value, QString* error = nullptr);
};
