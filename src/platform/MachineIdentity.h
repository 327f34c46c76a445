#pragma once

#include <QByteArray>
#include <QString>

// The machine's platform UUID and serial number, in the same form as the
// values macOS reports: DMI product_uuid / product_serial when readable,
// otherwise derived stably from /etc/machine-id (uppercase UUID text).
class MachineIdentity {
  public:
    static QString platformUUID();
    static QString serialNumber();

    // The rules behind the two values, from the raw file contents (empty
    // when unreadable). Null when neither source gives anything.
    static QString uuidFrom(const QByteArray& dmiProductUuid, const QByteArray& machineId);
    static QString serialFrom(const QByteArray& dmiProductSerial, const QByteArray& machineId);
};
