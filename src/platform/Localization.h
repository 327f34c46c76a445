#pragma once

#include <QString>

// The application's string table (resources/strings/en.strings, in the
// "key" = "text"; syntax). A key without an entry answers the key itself.
class Localization {
public:
    static QString localizedString(const QString& key);
};
