#pragma once

#include <functional>
#include <memory>

#include <gtest/gtest.h>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

#include "LiveDisplay.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

// The agent as a person meets it: its own X display with a window manager,
// the real relaydock binary on the xcb platform, the stand-in service and
// editor, and a driver that finds controls through the agent's private
// 'wher' event, then moves the real pointer and keyboard there. Pictures of
// the screen are saved under $RELAYDOCK_LIVE_SHOTS when that is set.
class LiveFixture : public ::testing::Test {
  protected:
    struct Preferences {
        QString defaultLibrary{};
        QString defaultProject{};
        bool useDefault = false;
    };
    // A control found on the screen.
    struct Spot {
        QRect rect;
        quint64 window = 0;
        bool found() const { return window != 0; }
    };

    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Above this share of black pixels a window counts as unpainted: the
    // agent's darkest colours are well above black.
    static constexpr double kMaxBlack = 0.2;

    // Display (with the window manager or without), service and
    // preferences, then the agent, until its main window is shown and its
    // log holds readyLine.
    void startSession(const Preferences& preferences, bool windowManager = true,
                      const QString& readyLine = QStringLiteral("Export list loaded"));
    bool waitForLog(const QString& text, int timeoutMs = 30000) const;
    QString agentLog() const;

    // Starts a share in the background (the editor waits for the agent).
    void startShare(const QString& name);
    // Waits for the share to end; its last line (the one with "status").
    QJsonObject finishShare();

    // Waits until the locator (see AgentAutomation::locate) names a shown
    // control.
    Spot waitFor(const QString& locator, int timeoutMs = 20000);
    bool waitUntilGone(const QString& locator, int timeoutMs = 20000);
    Spot locate(const QString& locator);
    // Finds the control and clicks its middle, once its window is on the
    // screen and painted (a click that comes sooner goes to what is below).
    void click(const QString& locator, int button = 1);

    // The screen, and the share of nearly black pixels in a window's part of
    // it. A window is black from the moment it is mapped until the agent has
    // painted it; paintedShare() waits (up to the deadline) until the share
    // falls below limit and answers the last one seen.
    QImage screen();
    double blackShare(quint64 window);
    double paintedShare(quint64 window, double limit, int timeoutMs = 15000);
    // Where the window system shows the window.
    QRect frameOf(quint64 window) const { return display.windowGeometry(window); }
    void saveShot(const QString& name);

    QString listFile() const;
    QVariantList storedItems() const;
    qint64 storedStatus(const QString& name) const;  // -2: no such item
    bool waitForStoredStatus(const QString& name, qint64 status, int timeoutMs = 30000) const;
    QList<QJsonObject> assetsNamed(const QString& name);

    LiveDisplay display;
    std::unique_ptr<TempHome> home;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<TesselServiceProcess> service;
    QProcess agent;
    QProcess share;
    QString socketPath;
    QString logPath;

  private:
    QList<quint64> painted_;
    static QString movie_;
    static QTemporaryDir* movieDir_;
};
