#pragma once

#include <QString>

// String tests on values typed in by users or read from the service.
namespace StringExtension {
// Every character is a decimal digit of some script; true for "".
bool isNumeric(const QString& string);
// Nothing but spaces and tabs (line breaks count as content).
bool isEmpty(const QString& string);
// The whole string is an RFC 5322 address (letters in any case).
bool isEmailAddress(const QString& string);
}  // namespace StringExtension
