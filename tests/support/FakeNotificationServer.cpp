#include "support/FakeNotificationServer.h"

namespace {
QString connectionName() {
    static int count = 0;
    return QStringLiteral("fake-notifications-%1").arg(++count);
}
}  // namespace

FakeNotificationServer::FakeNotificationServer(const QString& busAddress)
    : bus_(QDBusConnection::connectToBus(busAddress, connectionName())) {
    registered_ =
        bus_.isConnected() &&
        bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
        bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

FakeNotificationServer::~FakeNotificationServer() {
    bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    QDBusConnection::disconnectFromBus(bus_.name());
}

uint FakeNotificationServer::Notify(const QString& appName, uint replacesId, const QString& appIcon,
                                    const QString& summary, const QString& body,
                                    const QStringList& actions, const QVariantMap& hints,
                                    int expireTimeout) {
    Call call{appName, replacesId, appIcon,       summary,  body,
              actions, hints,      expireTimeout, nextId_++};
    calls_.append(call);
    return call.id;
}

void FakeNotificationServer::CloseNotification(uint id) {
    emit NotificationClosed(id, 3);
}

QStringList FakeNotificationServer::GetCapabilities() {
    return capabilities_;
}

void FakeNotificationServer::click(uint id) {
    emit ActionInvoked(id, QStringLiteral("default"));
    emit NotificationClosed(id, 2);
}
