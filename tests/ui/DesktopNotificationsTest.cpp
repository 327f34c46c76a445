#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QTemporaryDir>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "service/QVConnection.h"
#include "support/FakeNotificationServer.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"
#include "ui/QVDesktopNotifier.h"
#include "ui/QVExportActivity.h"
#include "ui/QVExportListModel.h"

namespace {

using State = QVExportActivity::State;

QString text(const char* key) {
    return Localization::localizedString(QString::fromLatin1(key));
}

std::shared_ptr<QVExportItem> makeItem(const QString& name, const QString& projectName) {
    auto item = std::make_shared<QVExportItem>();
    item->setName(name);
    item->setLibrary(QVLibrary::libraryWithName(
        "Archive", QString(), 0, false, "/tmp/Archive.tlibrary", QString(),
        QVConnection::connectionWithAddress("127.0.0.1", 9000, "u", "p")));
    item->setProjectName(projectName);
    item->setExportStatus(QVExportStatusUploading);
    return item;
}

// The notifier as the agent wires it: the window's list model, the activity
// that follows it, the notifier on a private bus.
class DesktopNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon is not installed";
        client = QDBusConnection::connectToBus(bus.address(), "notifier-client");
        ASSERT_TRUE(client.isConnected());
        model = std::make_unique<QVExportListModel>(&manager);
        activity = std::make_unique<QVExportActivity>(model.get());
        notifier = std::make_unique<QVDesktopNotifier>(client);
        QObject::connect(activity.get(), &QVExportActivity::stateChanged, notifier.get(),
                         &QVDesktopNotifier::exportStateChanged);
    }
    void TearDown() override {
        notifier.reset();
        QDBusConnection::disconnectFromBus("notifier-client");
    }
    void show(const QVExportItemList& items) {
        manager.setExportItems(items);
        model->reload();
    }
    // What the window controller's row refresh does for a changed item.
    void changeStatus(const std::shared_ptr<QVExportItem>& item, qint64 status) {
        item->setExportStatus(status);
        model->rowChanged(model->rowOfItem(item));
    }

    PrivateSessionBus bus;
    QDBusConnection client{QString()};
    QTemporaryDir dir;
    QVExportItemManager manager{dir.path()};
    std::unique_ptr<QVExportListModel> model;
    std::unique_ptr<QVExportActivity> activity;
    std::unique_ptr<QVDesktopNotifier> notifier;
};

TEST_F(DesktopNotificationsTest, FinishedFailedAndBurstsReachTheServiceAndAClickShowsTheRows) {
    FakeNotificationServer server(bus.address());
    ASSERT_TRUE(server.isRegistered());
    // The service shows bodies as markup, so names in them are escaped.
    server.setCapabilities({"actions", "body", "body-markup"});
    auto done = makeItem("Harbour at dawn", "Cuts & <Rushes>");
    auto broken = makeItem("Night shot", "Interviews");
    QVExportItemList burst;
    for (int i = 0; i < 10; ++i) burst << makeItem(QString("Take %1").arg(i + 1), "Dailies");
    show(QVExportItemList{done, broken} + burst);

    // One finished clip, through the fold timer as in the agent.
    notifier->setFoldInterval(10);
    changeStatus(done, QVExportStatusCompleted);
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 1; }));
    const auto first = server.calls().at(0);
    EXPECT_EQ(first.appName, "Relaydock");
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.appIcon, "com.corvane.Relaydock");
    EXPECT_EQ(first.summary, "Harbour at dawn");
    EXPECT_EQ(first.body, "Archive (Cuts &amp; &lt;Rushes&gt;)");
    EXPECT_EQ(first.actions, QStringList({"default", text("notification.action.show")}));
    EXPECT_EQ(first.hints.value("desktop-entry").toString(), "com.corvane.Relaydock");
    EXPECT_EQ(first.hints.value("category").toString(), "transfer.complete");
    EXPECT_EQ(first.expireTimeout, -1);

    // A failure names the error its row shows; ten clips finishing together
    // make one notification.
    notifier->setFoldInterval(60000);
    changeStatus(broken, QVExportStatusCreateFailed);
    for (const auto& item : burst) changeStatus(item, QVExportStatusCompleted);
    notifier->flush();
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 3; }));
    const auto failed = server.calls().at(1);
    EXPECT_EQ(failed.summary, "Night shot");
    EXPECT_EQ(failed.body, text("exportstatus.error.creating"));
    EXPECT_EQ(failed.hints.value("category").toString(), "transfer.error");
    const auto folded = server.calls().at(2);
    EXPECT_EQ(folded.summary, "10 clips added to Archive (Dailies)");
    EXPECT_TRUE(folded.body.startsWith("Take 1, Take 2, ")) << qPrintable(folded.body);

    // Clicking the burst's notification asks for its ten rows.
    QVExportItemList shown;
    QObject::connect(notifier.get(), &QVDesktopNotifier::activated,
                     [&](const QVExportItemList& items) { shown = items; });
    server.click(folded.id);
    ASSERT_TRUE(waitUntil([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, burst);

    // Neither while the window is the active one, nor when turned off; and a
    // state the list already showed at launch is no news.
    auto more = makeItem("Later", "Dailies");
    show(QVExportItemList{more} + burst);
    notifier->setWindowActiveCheck([] { return true; });
    changeStatus(more, QVExportStatusCanceled);
    notifier->flush();
    notifier->setWindowActiveCheck(nullptr);
    notifier->setEnabled(false);
    changeStatus(more, QVExportStatusUpdateFailed);
    notifier->flush();
    notifier->setEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.calls().size(), 3);
}

TEST_F(DesktopNotificationsTest, WithoutANotificationServiceNothingFailsAndOneLineIsLogged) {
    QVLog::Capture log;
    auto a = makeItem("First", "Dailies");
    auto b = makeItem("Second", "Interviews");
    show({a, b});
    changeStatus(a, QVExportStatusCompleted);
    notifier->flush();
    changeStatus(b, QVExportStatusCompleted);
    notifier->flush();
    ASSERT_TRUE(waitUntil([&] { return log.contains("no notification service"); }));
    // Both calls have come back by the time a later call on the bus does.
    client.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "GetId"));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.lines().filter("Notifications").size(), 1) << qPrintable(log.lines().join('\n'));
}

TEST(ExportActivityTest, StatesCountBothFilesAndOnlyChangesOfShownItemsAreReported) {
    QTemporaryDir dir;
    QVExportItemManager manager(dir.path());
    QVExportListModel model(&manager);
    auto movie = makeItem("Movie", "P");
    movie->setFcpXMLStatus(QVExportStatusCreating);
    auto failedAtLaunch = makeItem("Old", "P");
    failedAtLaunch->setExportStatus(QVExportStatusUpdateFailed);
    manager.setExportItems({movie, failedAtLaunch});
    model.reload();
    QVExportActivity activity(&model);
    QList<std::pair<State, State>> changes;
    QObject::connect(&activity, &QVExportActivity::stateChanged,
                     [&](const auto&, State from, State to) {
                         changes.append({from, to});
                     });
    EXPECT_EQ(activity.counts(), (QVExportActivity::Counts{0, 1, 1}));

    // The movie is registered while its description still is not.
    movie->setExportStatus(QVExportStatusCompleted);
    model.rowChanged(0);
    EXPECT_TRUE(changes.isEmpty());
    movie->setFcpXMLStatus(QVExportStatusCompleted);
    // A change that arrives with a reload of the list still counts.
    model.reload();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.at(0), std::make_pair(State::Uploading, State::Finished));
    EXPECT_EQ(activity.counts(), (QVExportActivity::Counts{0, 0, 1}));

    // A failed description fails the item even when its movie was added.
    movie->setFcpXMLStatus(QVExportStatusUpdateFailed);
    model.rowChanged(0);
    EXPECT_EQ(changes.last(), std::make_pair(State::Finished, State::Failed));
    EXPECT_EQ(activity.counts().failed, 2);
}

}  // namespace
