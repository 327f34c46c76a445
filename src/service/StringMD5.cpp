#include "service/StringMD5.h"

#include <QCryptographicHash>

QString StringMD5::MD5String(const QString& string) {
    if (string.isNull()) return {};
    QByteArray bytes = string.toUtf8();
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0) bytes.truncate(end);
    const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex().toUpper());
}
