#pragma once

#include <QString>

namespace StringMD5 {
// MD5 of the UTF-8 text (up to a NUL character, as C strings end) in 32
// uppercase hexadecimal digits; null for a null string.
QString MD5String(const QString& string);
}  // namespace StringMD5
