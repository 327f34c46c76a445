#include "platform/MachineIdentity.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>

namespace {

QByteArray readSmallFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(4096).trimmed();
}

QByteArray machineId() {
    QByteArray id = readSmallFile("/etc/machine-id");
    if (id.isEmpty()) id = readSmallFile("/var/lib/dbus/machine-id");
    return id;
}

// Firmware often fills these fields with a placeholder instead of leaving
// them empty; a placeholder identifies nothing.
bool isPlaceholder(const QByteArray& value) {
    static const QRegularExpression pattern(
        QStringLiteral("^(|0+|f+|none|n/?a|not (specified|applicable|available)|default string|"
                       "to be filled by o\\.e\\.m\\.|system serial number|0123456789|"
                       "[0-]+|[f-]+)$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(QString::fromLatin1(value).trimmed()).hasMatch();
}

// A value tied to this machine and to this use, so the machine id itself is
// never exposed (its documentation asks applications to derive their own).
QByteArray derived(const QByteArray& id, const char* purpose) {
    return QCryptographicHash::hash("Relaydock:" + QByteArray(purpose) + ":" + id.trimmed(),
                                    QCryptographicHash::Sha256);
}

}  // namespace

QString MachineIdentity::uuidFrom(const QByteArray& dmiProductUuid, const QByteArray& id) {
    const QByteArray dmi = dmiProductUuid.trimmed();
    static const QRegularExpression uuidForm(QStringLiteral(
        "^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!isPlaceholder(dmi) && uuidForm.match(QString::fromLatin1(dmi)).hasMatch())
        return QString::fromLatin1(dmi).toUpper();
    if (id.trimmed().isEmpty()) return QString();
    QByteArray bytes = derived(id, "platform-uuid").left(16);
    bytes[6] = char((bytes[6] & 0x0F) | 0x50);  // name-based (version 5) layout
    bytes[8] = char((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    const QByteArray hex = bytes.toHex().toUpper();
    return QString::fromLatin1(hex.mid(0, 8) + '-' + hex.mid(8, 4) + '-' + hex.mid(12, 4) + '-' +
                               hex.mid(16, 4) + '-' + hex.mid(20, 12));
}

QString MachineIdentity::serialFrom(const QByteArray& dmiProductSerial, const QByteArray& id) {
    const QByteArray dmi = dmiProductSerial.trimmed();
    if (!isPlaceholder(dmi)) return QString::fromLatin1(dmi).toUpper();
    if (id.trimmed().isEmpty()) return QString();
    static const char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const QByteArray hash = derived(id, "serial-number");
    QString serial;
    for (int i = 0; i < 12; ++i)
        serial.append(QLatin1Char(alphabet[static_cast<unsigned char>(hash[i]) % 36]));
    return serial;
}

QString MachineIdentity::platformUUID() {
    static const QString value =
        uuidFrom(readSmallFile("/sys/class/dmi/id/product_uuid"), machineId());
    return value;
}

QString MachineIdentity::serialNumber() {
    static const QString value =
        serialFrom(readSmallFile("/sys/class/dmi/id/product_serial"), machineId());
    return value;
}
