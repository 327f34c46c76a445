#pragma once

#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "appleevents/ApplicationDelegate.h"
#include "export/QVExportItemManager.h"
#include "library/QVLibrary.h"
#include "share/QVShareEnvironment.h"

class FCPXWindowController;
class QAction;
class QVDesktopNotifier;
class QVExportActivity;
class QVStatusIcon;

// The application's delegate: builds the start-up state in its fixed order
// (the one scripting document and its window, the local service's
// credentials, the libraries and their projects, a little later the export
// list), takes the editor's finished files, refuses every other request to
// open documents, and serves reopen, About and Help.
class AppDelegate : public QObject, public ApplicationDelegate {
    Q_OBJECT
  public:
    AppDelegate();
    ~AppDelegate() override;

    // Start-up, on the main thread once the event loop runs.
    void applicationDidFinishLaunching();
    // The editor's finished files: finds their export item, makes its
    // thumbnail and registers the movie and the description.
    void openFiles(const QStringList& paths) override;
    // Brings the main window back (the Dock icon, a second launch).
    void reopen() override;
    void quit() override;

    // Documents are never opened from files and never made untitled.
    bool openFile(const QString& path);
    bool openTempFile(const QString& path);
    bool openFileWithoutUI(const QString& path);
    bool applicationShouldOpenUntitledFile() const { return false; }
    bool applicationOpenUntitledFile() const { return false; }
    // YES after showing the current document's window.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void applicationWillTerminate() {}

    void aboutAction();
    // Opens the help page in the default browser; false when nothing could.
    bool helpAction();
    static QString helpPageURL();

    // Started with the session (--background): the window stays hidden until
    // the user or the editor asks for it.
    void setStartInBackground(bool background) { startInBackground_ = background; }
    bool startInBackground() const { return startInBackground_; }

    // Shows the window with the given items' rows selected (a notification
    // or the status icon's menu was clicked).
    void showItems(const QVExportItemList& items);
    // The two desktop settings, in the window's menu and the icon's.
    QAction* startAtLoginAction() const { return startAtLoginAction_; }
    QAction* notificationsAction() const { return notificationsAction_; }
    QVExportActivity* exportActivity() const { return activity_; }
    QVDesktopNotifier* notifier() const { return notifier_; }
    QVStatusIcon* statusIcon() const { return statusIcon_; }

    bool libraryLoaded() const { return libraryLoaded_; }
    void setLibraryLoaded(bool loaded) { libraryLoaded_ = loaded; }
    QWidget* window() const { return window_; }
    void setWindow(QWidget* window) { window_ = window; }

    // The current document's window controller, or nullptr.
    static std::shared_ptr<FCPXWindowController> currentWindowController();
    // The collaborators of the current window's share pipeline (the
    // agent's own without a window).
    static QVShareEnvironment shareEnvironment();

    // The application's menus on the main window: About, the two desktop
    // settings, Quit, Help. Once; a window that has menus keeps them.
    void installMenus();

  private:
    // Notifications, the status icon and the byte counts of exporting rows,
    // all fed by the window's export list.
    void installDesktopIntegration();
    void syncDesktopActions();
    void librariesLoaded(const QVLibraryList& libraries);
    void loadProjectsOfLibraries(const QVLibraryList& libraries);

    bool libraryLoaded_ = false;
    bool startInBackground_ = false;
    QPointer<QWidget> window_;
    QAction* startAtLoginAction_ = nullptr;
    QAction* notificationsAction_ = nullptr;
    QVExportActivity* activity_ = nullptr;
    QVDesktopNotifier* notifier_ = nullptr;
    QVStatusIcon* statusIcon_ = nullptr;
};
