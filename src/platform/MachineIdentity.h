#pragma once

#include <QString>

// The machine's platform UUID and serial number, in the same form as the
// values macOS reports: DMI product_uuid / product_serial when readable,
// otherwise derived stably from /etc/machine-id (uppercase UUID text).
class MachineIdentity {
  public:
    static QString platformUUID();
    static QString serialNumber();
};
