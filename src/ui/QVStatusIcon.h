#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include "ui/QVExportActivity.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QVExportItem;

// The agent's icon in the panel's status area (QSystemTrayIcon, which Qt
// offers as a StatusNotifierItem on Linux desktops). Its tooltip counts the
// exports under way and the failed ones; its menu shows the window, the
// last five exports with their states, the two desktop settings and Quit.
// Where there is no status area, nothing is made and the agent behaves as
// without it. Main thread only.
class QVStatusIcon : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRecentCount = 5;

    // The settings' actions are shared with the window's menu (owned there).
    QVStatusIcon(QVExportActivity* activity, QAction* startAtLogin, QAction* notifications,
                 QObject* parent = nullptr);
    ~QVStatusIcon() override;

    // Shows the icon when the desktop has a status area; false otherwise.
    bool show();
    bool isShown() const;
    QString toolTip() const { return toolTip_; }
    // The menu as it stands (also without a status area, for tests).
    QMenu* menu() const { return menu_; }

    static QString toolTipFor(const QVExportActivity::Counts& counts);
    // "Clip — Exporting…": the name and the state as its row shows it.
    static QString titleForItem(const QVExportItem& item);

  signals:
    void showWindowRequested();
    // A recent export was chosen: show the window with its row.
    void itemChosen(const std::shared_ptr<QVExportItem>& item);
    void quitRequested();

  private:
    void update();
    void rebuildRecent();

    QPointer<QVExportActivity> activity_;
    QMenu* menu_;
    QAction* recentSeparator_ = nullptr;
    QAction* recentEnd_ = nullptr;
    QList<QAction*> recentActions_;
    QSystemTrayIcon* icon_ = nullptr;
    QString toolTip_;
};
