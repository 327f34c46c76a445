// The agent's start-up in one process against the stand-in service: the
// libraries' trees announced one by one, then their completion once.

#include <atomic>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "app/AppDelegate.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "platform/NotificationCenter.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"
#include "support/Wait.h"
#include "ui/FCPXWindowController.h"
#include "upload/QVUploadManager.h"

TEST(StartUp, PostsEachLibraryThenCompletionExactlyOnce) {
    TempHome home;
    const QJsonArray projects{QJsonObject{{"id", "p"}, {"name", "P"}}};
    TesselServiceProcess::Options options;
    options.seed = QJsonObject{
        {"libraries",
         QJsonArray{QJsonObject{{"dbname", "lib"}, {"name", "Lib"}, {"projects", projects}},
                    QJsonObject{{"dbname", "lib2"}, {"name", "Lib 2"}, {"projects", projects}},
                    QJsonObject{{"dbname", "lib3"}, {"name", "Lib 3"}, {"projects", projects}}}}};
    options.asCorvane = true;
    TesselServiceProcess service(options);
    ASSERT_TRUE(service.start()) << qPrintable(service.errorString());
    ASSERT_TRUE(QVUploadManager::sharedManager().syncTessel());

    FCPXDocumentController documents;
    documents.setWindowControllerFactory([](const std::shared_ptr<FCPXDocument>& d) {
        QVShareEnvironment environment;
        environment.launchDelayMs = 600000;  // the list is not read here
        return std::make_shared<FCPXWindowController>(d, environment);
    });
    QStringList order;
    auto& center = NotificationCenter::defaultCenter();
    const auto perLibrary =
        center.addObserver("NOTI_LIBRARY_PROJECTS_LOADED", [&](const Notification& n) {
            const auto* library = std::any_cast<std::shared_ptr<QVLibrary>>(&n.object);
            order << (library && *library ? (*library)->dbName() : QString("?"));
        });
    const auto completed = center.addObserver("NOTI_RELOAD_LIBRARY_COMPLETED",
                                              [&](const Notification&) { order << "completed"; });
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(documents.currentDocument());
    ASSERT_TRUE(waitUntil([&] { return order.contains("completed"); }));
    // Anything still queued would show up now.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    center.removeObserver(perLibrary);
    center.removeObserver(completed);
    ASSERT_EQ(order.size(), 4) << qPrintable(order.join(","));
    EXPECT_EQ(order.last(), "completed");
    QStringList libraries = order.mid(0, 3);
    libraries.sort();
    EXPECT_EQ(libraries, (QStringList{"lib", "lib2", "lib3"}));
    EXPECT_TRUE(delegate.libraryLoaded());
    EXPECT_FALSE(QVExportItemManager::sharedManager().loaded());

    // Reopen brings the hidden window back; single files are refused.
    QWidget* window = AppDelegate::currentWindowController()->window();
    window->hide();
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(delegate.openFile("/tmp/x.mov"));
    EXPECT_FALSE(delegate.openTempFile("/tmp/x.mov"));
    EXPECT_FALSE(delegate.applicationShouldOpenUntitledFile());
}
