#include "ui/QVStatusIcon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "export/QVExportItem.h"
#include "platform/Autostart.h"
#include "platform/Localization.h"
#include "ui/kit/QVImages.h"

namespace {

QIcon applicationIcon() {
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(Autostart::kApplicationID));
    if (icon.isNull()) icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QVImages::pixmap(QStringLiteral("workflow.icon.work"), QSizeF(64, 64), 1.0));
    return icon;
}

}  // namespace

QVStatusIcon::QVStatusIcon(QVExportActivity* activity, QAction* startAtLogin,
                           QAction* notifications, QObject* parent)
    : QObject(parent), activity_(activity), menu_(new QMenu()) {
    menu_->addAction(Localization::localized("statusicon.show"), this,
                     [this] { emit showWindowRequested(); });
    recentSeparator_ = menu_->addSeparator();
    recentEnd_ = menu_->addSeparator();
    if (startAtLogin) menu_->addAction(startAtLogin);
    if (notifications) menu_->addAction(notifications);
    menu_->addSeparator();
    menu_->addAction(Localization::localized("statusicon.quit"), this,
                     [this] { emit quitRequested(); });
    if (activity_) connect(activity_, &QVExportActivity::changed, this, [this] { update(); });
    update();
}

QVStatusIcon::~QVStatusIcon() {
    delete icon_;
    delete menu_;
}

bool QVStatusIcon::show() {
    if (icon_) return true;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_ = new QSystemTrayIcon(applicationIcon());
    icon_->setContextMenu(menu_);
    icon_->setToolTip(toolTip_);
    // A click on the icon itself brings the window back, as the menu's first
    // entry does.
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    emit showWindowRequested();
            });
    icon_->show();
    return true;
}

bool QVStatusIcon::isShown() const {
    return icon_ && icon_->isVisible();
}

QString QVStatusIcon::toolTipFor(const QVExportActivity::Counts& counts) {
    QStringList parts;
    if (counts.exporting > 0)
        parts << Localization::localized("statusicon.tooltip.exporting",
                                         {QString::number(counts.exporting)});
    if (counts.uploading > 0)
        parts << Localization::localized("statusicon.tooltip.uploading",
                                         {QString::number(counts.uploading)});
    if (counts.failed > 0)
        parts << Localization::localized("statusicon.tooltip.failed",
                                         {QString::number(counts.failed)});
    const QString title = QStringLiteral("Relaydock");
    if (parts.isEmpty())
        return title + QStringLiteral(": ") + Localization::localized("statusicon.tooltip.idle");
    return title + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

QString QVStatusIcon::titleForItem(const QVExportItem& item) {
    using State = QVExportActivity::State;
    QString state;
    switch (QVExportActivity::stateOf(item)) {
        case State::Waiting:
            state = Localization::localized("exportstatus.waiting");
            break;
        case State::Exporting:
            state = Localization::localized("exportstatus.exporting");
            break;
        case State::Uploading:
            state = Localization::localized("statusicon.state.uploading");
            break;
        case State::Finished:
            state = Localization::localized("statusicon.state.done");
            break;
        case State::Failed:
            state = Localization::localized("statusicon.state.failed");
            break;
        case State::Cancelled:
            state = Localization::localized("exportstatus.canceled");
            break;
    }
    return item.name() + QStringLiteral(" — ") + state;
}

void QVStatusIcon::update() {
    const QString tip = toolTipFor(activity_ ? activity_->counts() : QVExportActivity::Counts());
    if (tip != toolTip_) {
        toolTip_ = tip;
        if (icon_) icon_->setToolTip(tip);
    }
    rebuildRecent();
}

void QVStatusIcon::rebuildRecent() {
    const QVExportItemList items =
        activity_ ? activity_->recentItems(kRecentCount) : QVExportItemList();
    // The same items in the same states keep their entries (the list
    // refreshes exporting rows every second).
    bool same = items.size() == recentActions_.size();
    for (int i = 0; same && i < items.size(); ++i)
        same = recentActions_[i]->text() == titleForItem(*items[i]) &&
               recentActions_[i]->data().value<quintptr>() == quintptr(items[i].get());
    if (same) return;
    for (QAction* action : recentActions_) {
        menu_->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    QAction* before = recentEnd_;
    for (const auto& item : items) {
        auto* action = new QAction(titleForItem(*item), menu_);
        action->setData(QVariant::fromValue(quintptr(item.get())));
        std::weak_ptr<QVExportItem> weak = item;
        connect(action, &QAction::triggered, this, [this, weak] {
            if (auto chosen = weak.lock()) emit itemChosen(chosen);
        });
        menu_->insertAction(before, action);
        recentActions_.append(action);
    }
    // The separator under "Show Relaydock" only when there are exports.
    recentSeparator_->setVisible(!items.isEmpty());
}
