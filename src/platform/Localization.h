#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The application's string table (resources/strings/en.strings, in the
// "key" = "text"; syntax). A key without an entry answers the key itself.
class Localization {
  public:
    static QString localizedString(const QString& key);
    // The same for a key written in the code, filled with the arguments
    // when there are any (see format()).
    static QString localized(const char* key, const QStringList& arguments = {});
    // Titles the table may not carry yet read as words, not as keys.
    static QString localizedOr(const char* key, const char* fallback);
    // Fills a format of the string table with arguments in order: "%@", "%d",
    // "%ld", "%lld", "%i", "%u", "%lu", "%s" take the next argument, "%1$@"
    // (and the other n$ forms) take argument n, "%%" is a percent sign. A
    // placeholder without an argument becomes empty text; extra arguments
    // are ignored; anything else after "%" is copied as it stands.
    static QString format(const QString& format, const QStringList& arguments);
    // Parses a table in that syntax (/* */ and // comments; escapes \" \\ \n
    // \t \r \Uxxxx). Parsing stops at the first syntax error, keeping the
    // entries before it.
    static QHash<QString, QString> parseTable(const QString& text);
};
