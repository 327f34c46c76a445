#include "support/PrivateSessionBus.h"

#include <QStandardPaths>

bool PrivateSessionBus::available() {
    return !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty();
}

PrivateSessionBus::PrivateSessionBus(bool exportAddress) {
    if (!available()) return;
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(10000)) return;
    // The daemon prints its address once it listens.
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty() || !exportAddress) return;
    hadAddress_ = qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS");
    savedAddress_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    exported_ = true;
}

PrivateSessionBus::~PrivateSessionBus() {
    if (exported_) {
        if (hadAddress_)
            qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_);
        else
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) {
            daemon_.kill();
            daemon_.waitForFinished(5000);
        }
    }
}
