#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "platform/Localization.h"
#include "support/ChildMain.h"
#include "support/FakeStatusNotifierWatcher.h"
#include "support/PrivateDisplay.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"
#include "ui/QVExportActivity.h"
#include "ui/QVExportListModel.h"
#include "ui/QVStatusIcon.h"

namespace {

QString text(const char* key) {
    return Localization::localizedString(QString::fromLatin1(key));
}

std::shared_ptr<QVExportItem> makeItem(const QString& name, qint64 status) {
    auto item = std::make_shared<QVExportItem>();
    item->setName(name);
    item->setExportStatus(status);
    return item;
}

QVExportItemList sevenItems() {
    return {makeItem("Seven", QVExportStatusExporting),   makeItem("Six", QVExportStatusUploading),
            makeItem("Five", QVExportStatusCreateFailed), makeItem("Four", QVExportStatusCompleted),
            makeItem("Three", QVExportStatusCanceled),    makeItem("Two", QVExportStatusCompleted),
            makeItem("One", QVExportStatusCompleted)};
}

// The icon over a list of seven exports, with the two settings.
struct IconHarness {
    IconHarness() : manager(dir.path()), model(&manager) {
        manager.setExportItems(sevenItems());
        model.reload();
        startAtLogin.setCheckable(true);
        notifications.setCheckable(true);
        notifications.setChecked(true);
    }
    QTemporaryDir dir;
    QVExportItemManager manager;
    QVExportListModel model;
    QVExportActivity activity{&model};
    QAction startAtLogin{text("menuitem.start.at.login")};
    QAction notifications{text("menuitem.notifications")};
    QVStatusIcon icon{&activity, &startAtLogin, &notifications};
};

// Labels of the menu Qt publishes for the icon (com.canonical.dbusmenu).
QStringList publishedLabels(const QDBusConnection& bus, const QString& service) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, "/MenuBar", "com.canonical.dbusmenu", "GetLayout");
    call << 0 << -1 << QStringList{"label", "type", "visible"};
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    QStringList labels;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) return labels;
    // (ia{sv}av): the root, whose children are the entries.
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    root.beginStructure();
    int id = 0;
    QVariantMap properties;
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument entry = child.variant().value<QDBusArgument>();
        entry.beginStructure();
        int childId = 0;
        QVariantMap childProperties;
        entry >> childId >> childProperties;
        entry.endStructure();
        if (!childProperties.value("visible", true).toBool()) continue;
        labels << (childProperties.value("type").toString() == "separator"
                       ? QStringLiteral("-")
                       : childProperties.value("label").toString().remove('&'));
    }
    root.endArray();
    root.endStructure();
    return labels;
}

// Show, the five newest exports with their states, the two settings, Quit.
QStringList expectedMenu() {
    return {text("statusicon.show"),
            "-",
            "Seven — " + text("exportstatus.exporting"),
            "Six — " + text("statusicon.state.uploading"),
            "Five — " + text("statusicon.state.failed"),
            "Four — " + text("statusicon.state.done"),
            "Three — " + text("exportstatus.canceled"),
            "-",
            text("menuitem.start.at.login"),
            text("menuitem.notifications"),
            "-",
            text("statusicon.quit")};
}

}  // namespace

// Shows the icon in a process of its own, whose session bus is the test's.
RELAYDOCK_CHILD_MAIN(statusIcon) {
    QApplication app(argc, argv);
    IconHarness harness;
    const bool shown = harness.icon.show();
    std::printf("%s\n", shown ? "shown" : "no status area");
    std::fflush(stdout);
    if (!shown) return 3;
    return app.exec();
}

TEST(StatusIconTest, TooltipCountsAndARecentExportFollowsItsRow) {
    IconHarness harness;
    EXPECT_EQ(harness.icon.toolTip(), "Relaydock: 1 exporting, 1 being added, 1 failed");

    // A recent entry brings its row back; a status change shows at once.
    std::shared_ptr<QVExportItem> chosen;
    QObject::connect(&harness.icon, &QVStatusIcon::itemChosen,
                     [&](const std::shared_ptr<QVExportItem>& item) { chosen = item; });
    harness.icon.menu()->actions().at(4)->trigger();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->name(), "Five");
    chosen->setExportStatus(QVExportStatusCompleted);
    harness.model.rowChanged(2);
    EXPECT_EQ(harness.icon.menu()->actions().at(4)->text(),
              "Five — " + text("statusicon.state.done"));
    EXPECT_EQ(harness.icon.toolTip(), "Relaydock: 1 exporting, 1 being added");
}

TEST(StatusIconTest, RegistersWithThePanelAndPublishesItsMenuOrStaysAwayWithoutOne) {
    PrivateSessionBus bus;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon is not installed";
    PrivateDisplay x;
    if (x.display().isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    auto runChild = [&](QProcess& child) {
        ChildMain::setUp(child, "statusIcon");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", bus.address());
        // Qt offers the status icon on a windowing system only.
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", x.display());
        child.setProcessEnvironment(env);
        child.start();
        return child.waitForStarted(10000);
    };

    {
        QProcess alone;
        ASSERT_TRUE(runChild(alone));
        ASSERT_TRUE(alone.waitForFinished(30000));
        EXPECT_EQ(alone.exitCode(), 3) << alone.readAll().constData();
    }

    FakeStatusNotifierWatcher watcher(bus.address());
    ASSERT_TRUE(watcher.isRegistered());
    QProcess child;
    ASSERT_TRUE(runChild(child));
    ASSERT_TRUE(waitUntil([&] { return !watcher.RegisteredStatusNotifierItems().isEmpty(); }))
        << child.readAllStandardError().constData();
    const QString service = watcher.RegisteredStatusNotifierItems().first();
    const QDBusConnection reader = QDBusConnection::connectToBus(bus.address(), "icon-reader");
    QStringList labels;
    waitUntil([&] {
        labels = publishedLabels(reader, service);
        return labels.contains(text("statusicon.quit"));
    });
    EXPECT_EQ(labels, expectedMenu());

    const QDBusMessage tip =
        reader.call(QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                   "org.freedesktop.DBus.Properties", "GetAll")
                    << QString("org.kde.StatusNotifierItem"));
    EXPECT_EQ(tip.type(), QDBusMessage::ReplyMessage);
    child.kill();
    child.waitForFinished(10000);
    QDBusConnection::disconnectFromBus("icon-reader");
}
