#pragma once

#include <QHash>
#include <QString>

// The application's string table (resources/strings/en.strings, in the
// "key" = "text"; syntax). A key without an entry answers the key itself.
class Localization {
  public:
    static QString localizedString(const QString& key);
    // Parses a table in that syntax (/* */ and // comments; escapes \" \\ \n
    // \t \r \Uxxxx). Parsing stops at the first syntax error, keeping the
    // entries before it.
    static QHash<QString, QString> parseTable(const QString& text);
};
