#pragma once

#include <QByteArray>
#include <QString>

// Base64 (RFC 4648 alphabet) for the authorization header and stored data.
namespace DataTessel {
// Padded with "=", never broken into lines; empty data gives "".
QString base64Encoded(const QByteArray& data);
// Characters outside the alphabet are skipped; the first "=" ends the input
// and closes the group it is in; an unclosed last group yields nothing.
QByteArray base64Decoded(const QByteArray& text);
}  // namespace DataTessel
