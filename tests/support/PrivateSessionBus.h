#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A session bus of the test's own (a dbus-daemon started for it), so that
// what the agent says on the bus is heard by the test's fake services and
// nothing reaches the desktop the tests run on. With exportAddress, the
// process's DBUS_SESSION_BUS_ADDRESS points at it while the object lives
// (children started then inherit it).
class PrivateSessionBus {
  public:
    explicit PrivateSessionBus(bool exportAddress = false);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isRunning() const { return !address_.isEmpty(); }
    QString address() const { return address_; }
    static bool available();  // dbus-daemon is installed

  private:
    QProcess daemon_;
    QString address_;
    bool exported_ = false;
    QByteArray savedAddress_;
    bool hadAddress_ = false;
};
