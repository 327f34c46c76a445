#include "ui/QVDesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "export/QVExportItem.h"
#include "platform/Autostart.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "ui/QVExportCellView.h"

namespace {

constexpr const char* kInterface = "org.freedesktop.Notifications";

QString errorTextOf(const QVExportItem& item) {
    const qint64 status = item.status();
    const bool own = status == QVExportStatusCreateFailed || status == QVExportStatusUpdateFailed;
    const qint64 failed = own ? status : item.fcpXMLStatus();
    return Localization::localized(failed == QVExportStatusUpdateFailed
                                       ? "exportstatus.error.updating"
                                       : "exportstatus.error.creating");
}

}  // namespace

QVDesktopNotifier::QVDesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    foldTimer_.setParent(this);
    foldTimer_.setSingleShot(true);
    foldTimer_.setInterval(kDefaultFoldMs);
    connect(&foldTimer_, &QTimer::timeout, this, [this] { flush(); });
    if (!bus_.isConnected()) return;
    const QString service = QString::fromLatin1(kService);
    const QString path = QString::fromLatin1(kPath);
    const QString interface = QString::fromLatin1(kInterface);
    bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

void QVDesktopNotifier::exportStateChanged(const std::shared_ptr<QVExportItem>& item,
                                           QVExportActivity::State, QVExportActivity::State to) {
    using State = QVExportActivity::State;
    if (!item || !enabled_) return;
    Event event{Kind::Finished, item, item->name(), QString()};
    if (to == State::Finished) {
        event.detail = QVExportCellView::subTitleForItem(*item);
    } else if (to == State::Failed) {
        event.kind = Kind::Failed;
        event.detail = errorTextOf(*item);
    } else if (to == State::Cancelled) {
        event.kind = Kind::Cancelled;
        event.detail = Localization::localized("exportstatus.canceled");
    } else {
        return;
    }
    pending_.append(event);
    // The interval runs from the first change of a burst, so a steady
    // stream still gives one notification per interval.
    if (!foldTimer_.isActive()) foldTimer_.start();
}

void QVDesktopNotifier::flush() {
    foldTimer_.stop();
    QList<Event> events;
    events.swap(pending_);
    if (events.isEmpty() || !enabled_) return;
    if (windowActive_ && windowActive_()) return;
    // Groups in the order their first change came: finished ones by their
    // destination, failures and cancellations each as one.
    QList<QList<Event>> groups;
    for (const Event& event : events) {
        bool placed = false;
        for (auto& group : groups) {
            const Event& first = group.first();
            if (first.kind == event.kind &&
                (event.kind != Kind::Finished || first.detail == event.detail)) {
                group.append(event);
                placed = true;
                break;
            }
        }
        if (!placed) groups.append({event});
    }
    withCapabilities([this, groups] {
        for (const auto& group : groups) send(group);
    });
}

void QVDesktopNotifier::withCapabilities(std::function<void()> then) {
    if (bodyMarkup_ || !bus_.isConnected()) {
        then();
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kService), QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
        QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<QStringList> reply = *done;
                // Without an answer it is asked again next time; the
                // notification itself reports a missing service.
                if (!reply.isError())
                    bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                then();
            });
}

void QVDesktopNotifier::send(const QList<Event>& events) {
    QList<std::weak_ptr<QVExportItem>> items;
    QStringList names;
    for (const Event& event : events) {
        items.append(event.item);
        names.append(event.name);
    }
    const Event& first = events.first();
    if (events.size() == 1) {
        notify(first.name, first.detail, first.kind == Kind::Failed, items);
        return;
    }
    const QString count = QString::number(events.size());
    QString summary;
    if (first.kind == Kind::Finished)
        summary = Localization::localized("notification.added.many", {count, first.detail});
    else if (first.kind == Kind::Failed)
        summary = Localization::localized("notification.failed.many", {count});
    else
        summary = Localization::localized("notification.canceled.many", {count});
    notify(summary, names.join(QStringLiteral(", ")), first.kind == Kind::Failed, items);
}

void QVDesktopNotifier::notify(const QString& summary, const QString& body, bool error,
                               const QList<std::weak_ptr<QVExportItem>>& items) {
    if (!bus_.isConnected()) {
        logOnce(QStringLiteral("Notifications: no session bus; nothing is shown"));
        return;
    }
    const QString appID = QString::fromLatin1(Autostart::kApplicationID);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), appID);
    hints.insert(QStringLiteral("category"),
                 error ? QStringLiteral("transfer.error") : QStringLiteral("transfer.complete"));
    const QString text = bodyMarkup_.value_or(false) ? body.toHtmlEscaped() : body;
    call << QStringLiteral("Relaydock") << uint(0) << appID << summary << text
         << QStringList{QStringLiteral("default"),
                        Localization::localized("notification.action.show")}
         << hints << int(-1);
    // Never waited for: the answer (the notification's ID) comes back later.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, items](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    logOnce(QStringLiteral("Notifications: no notification service (%1)")
                                .arg(reply.error().name()));
                    return;
                }
                open_.insert(reply.value(), items);
            });
}

void QVDesktopNotifier::logOnce(const QString& message) {
    if (logged_) return;
    logged_ = true;
    QVLog::log(message);
}

void QVDesktopNotifier::actionInvoked(uint id, const QString& actionKey) {
    const auto found = open_.constFind(id);
    if (found == open_.constEnd() || actionKey != QLatin1String("default")) return;
    QVExportItemList items;
    for (const auto& weak : *found)
        if (auto item = weak.lock()) items.append(item);
    emit activated(items);
}

void QVDesktopNotifier::notificationClosed(uint id, uint) {
    open_.remove(id);
}
