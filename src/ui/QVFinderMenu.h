#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QVLumoMenu;
class QWidget;

// Builds the Open With submenu of a file from the desktop's application
// database: the default application first (marked " (default)"), then at
// most ten candidates, "<None>" when the file type has no default, and
// "Other…", which lets the user pick any application. An application is
// named by its desktop-file id (what the items carry and what is launched);
// titles are display names, and a name that repeats is followed by the
// desktop-file id in parentheses. The builder must outlive the menus it
// made, which call back into it.
class QVFinderMenu : public QObject {
    Q_OBJECT
  public:
    // Picks an application for "Other…": calls completion once, with the
    // chosen desktop file or program, or a null string when cancelled.
    using ApplicationChooser =
        std::function<void(QWidget* parent, const QString& title, const QString& prompt,
                           std::function<void(const QString& applicationPath)> completion)>;
    // Opens a file with an application (desktop-file id or path); false when
    // it could not be launched.
    using Opener = std::function<bool(const QString& path, const QString& application)>;

    static constexpr int kMaxApplications = 10;

    // Null when nothing exists at path.
    static std::unique_ptr<QVFinderMenu> finderMenuWithPath(const QString& path);

    QString path() const { return path_; }
    void setPath(const QString& path) { path_ = path; }
    QWidget* openPanelParentWindow() const { return openPanelParentWindow_; }
    void setOpenPanelParentWindow(QWidget* window) { openPanelParentWindow_ = window; }

    // A new menu for path (the caller owns it).
    QVLumoMenu* openWithMenu();
    QVLumoMenu* openWithMenuItemForFile(const QString& path);
    // An item of menu for one application: its title, the application as
    // represented object, its icon (when it has one) at 20 x 20.
    QAction* menuItemForOpenWithForApplication(QVLumoMenu* menu, const QString& title,
                                               const QString& application,
                                               const QIcon& icon = QIcon());

    // Item actions: the sender is the chosen item.
    void openWithApplicationSelected(QObject* sender);
    void openWithApplicationOtherSelected(QObject* sender);
    bool openSelectedFileWithApplication(const QString& application);

    // Replace the chooser dialog and the launch (tests, screenshots); empty
    // functions restore the real ones.
    static void setApplicationChooser(ApplicationChooser chooser);
    static void setOpener(Opener opener);

  private:
    explicit QVFinderMenu(const QString& path) : path_(path) {}

    QString path_;
    QPointer<QWidget> openPanelParentWindow_;
};
