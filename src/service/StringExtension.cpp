#include "service/StringExtension.h"

#include <QRegularExpression>
#include <QStringView>

namespace {

// White space in the sense of "spaces and tabs": the space separators of
// every script plus the tab.
bool isSpaceOrTab(char32_t c) {
    return c == U'\t' || QChar::category(c) == QChar::Separator_Space;
}

}  // namespace

bool StringExtension::isNumeric(const QString& string) {
    const auto codePoints = string.toUcs4();
    for (const char32_t c : codePoints) {
        if (QChar::category(c) != QChar::Number_DecimalDigit) return false;
    }
    return true;
}

bool StringExtension::isEmpty(const QString& string) {
    const auto codePoints = string.toUcs4();
    for (const char32_t c : codePoints) {
        if (!isSpaceOrTab(c)) return false;
    }
    return true;
}

bool StringExtension::isEmailAddress(const QString& string) {
    // Local part: dot-atom or quoted string; domain: two or more labels or
    // a bracketed address literal (IPv4, or tag ":" general literal).
    static const QRegularExpression address(
        QRegularExpression::anchoredPattern(QStringLiteral(
            "(?:[a-z0-9!#$%&'*+/=?^_`{|}~-]+(?:\\.[a-z0-9!#$%&'*+/=?^_`{|}~-]+)*"
            "|\"(?:[\\x01-\\x08\\x0b\\x0c\\x0e-\\x1f\\x21\\x23-\\x5b\\x5d-\\x7f]"
            "|\\\\[\\x01-\\x09\\x0b\\x0c\\x0e-\\x7f])*\")"
            "@"
            "(?:(?:[a-z0-9](?:[a-z0-9-]*[a-z0-9])?\\.)+[a-z0-9](?:[a-z0-9-]*[a-z0-9])?"
            "|\\[(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}"
            "(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?"
            "|[a-z0-9-]*[a-z0-9]:(?:[\\x01-\\x08\\x0b\\x0c\\x0e-\\x1f\\x21-\\x7f]"
            "|\\\\[\\x01-\\x09\\x0b\\x0c\\x0e-\\x7f])+)\\])")),
        QRegularExpression::CaseInsensitiveOption);
    return address.match(string).hasMatch();
}
