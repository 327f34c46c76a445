#pragma once

#include <functional>
#include <memory>

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "export/QVExportItemManager.h"
#include "ui/QVExportActivity.h"

class QVExportItem;

// Tells the user, through the desktop's notification service (the
// freedesktop Notifications interface on the session bus), that an export
// finished, failed or was cancelled. Changes that come within one fold
// interval are sent together: several clips finished for the same
// destination make one notification ("10 clips added to …"). Nothing is
// sent while the agent's window is the active window, nor when the user
// turned notifications off. Without a bus or a notification service nothing
// fails; that is logged once. Clicking a notification asks to show the
// window with its rows selected (activated). Main thread only.
class QVDesktopNotifier : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr int kDefaultFoldMs = 1000;

    explicit QVDesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // Whether the agent's window is the active one now (no notification then).
    void setWindowActiveCheck(std::function<bool()> check) { windowActive_ = std::move(check); }
    void setFoldInterval(int milliseconds) { foldTimer_.setInterval(qMax(0, milliseconds)); }

    // Fed by QVExportActivity::stateChanged.
    void exportStateChanged(const std::shared_ptr<QVExportItem>& item, QVExportActivity::State from,
                            QVExportActivity::State to);
    // Sends what is waiting for the fold interval now.
    void flush();

    // Notifications sent and not yet closed.
    int openNotificationCount() const { return int(open_.size()); }

  signals:
    // The user clicked a notification: show the window with these rows.
    void activated(const QVExportItemList& items);

  private slots:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

  private:
    enum class Kind { Finished, Failed, Cancelled };
    struct Event {
        Kind kind;
        std::weak_ptr<QVExportItem> item;
        QString name;
        QString detail;  // the destination, or the error text of the row
    };
    void send(const QList<Event>& events);
    // Asks the service once what it supports (whether bodies are markup,
    // so names with "&" or "<" must be escaped), then runs then().
    void withCapabilities(std::function<void()> then);
    void notify(const QString& summary, const QString& body, bool error,
                const QList<std::weak_ptr<QVExportItem>>& items);
    void logOnce(const QString& message);

    QDBusConnection bus_;
    bool enabled_ = true;
    bool logged_ = false;
    std::optional<bool> bodyMarkup_;
    std::function<bool()> windowActive_;
    QList<Event> pending_;
    QTimer foldTimer_;
    QHash<uint, QList<std::weak_ptr<QVExportItem>>> open_;
};
