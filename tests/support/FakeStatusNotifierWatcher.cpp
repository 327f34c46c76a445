#include "support/FakeStatusNotifierWatcher.h"

namespace {
QString connectionName() {
    static int count = 0;
    return QStringLiteral("fake-watcher-%1").arg(++count);
}
}  // namespace

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(const QString& busAddress)
    : bus_(QDBusConnection::connectToBus(busAddress, connectionName())) {
    registered_ =
        bus_.isConnected() &&
        bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) &&
        bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() {
    bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    bus_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    QDBusConnection::disconnectFromBus(bus_.name());
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service) {
    items_.append(service);
    emit StatusNotifierItemRegistered(service);
}

void FakeStatusNotifierWatcher::RegisterStatusNotifierHost(const QString&) {
    emit StatusNotifierHostRegistered();
}
