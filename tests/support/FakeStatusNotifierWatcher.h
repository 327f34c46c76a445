#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

// A panel's status area for tests: owns org.kde.StatusNotifierWatcher on
// the given bus, says a host is there and records the items that register.
class FakeStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
  public:
    explicit FakeStatusNotifierWatcher(const QString& busAddress);
    ~FakeStatusNotifierWatcher() override;
    bool isRegistered() const { return registered_; }

    QStringList RegisteredStatusNotifierItems() const { return items_; }
    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }

  public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

  signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

  private:
    QDBusConnection bus_;
    bool registered_ = false;
    QStringList items_;
};
