#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// A notification service for tests: owns org.freedesktop.Notifications on
// the given bus, records every Notify call with its arguments and can send
// the signals a real one sends when the user clicks or closes one.
class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
        uint id = 0;
    };

    explicit FakeNotificationServer(const QString& busAddress);
    ~FakeNotificationServer() override;
    bool isRegistered() const { return registered_; }

    QList<Call> calls() const { return calls_; }
    void setCapabilities(const QStringList& capabilities) { capabilities_ = capabilities; }
    // What a click on the notification's body sends.
    void click(uint id);

  public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();

  signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

  private:
    QDBusConnection bus_;
    bool registered_ = false;
    QList<Call> calls_;
    uint nextId_ = 1;
    QStringList capabilities_{QStringLiteral("actions"), QStringLiteral("body")};
};
