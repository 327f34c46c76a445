#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include "appleevents/AEDesc.h"
#include "appleevents/AppleEventServer.h"

class QSocketNotifier;

// What an unattended agent needs beyond the editor's events: answering its
// own alert boxes (nobody is there to click), saving a picture of the main
// window, quitting on SIGTERM/SIGINT, and a private event suite for
// automated runs ('RDck': 'rtry' retries the failed item of a file path,
// 'snap' saves the window picture to a path, 'clck' clicks the main
// window's button of that object name, 'wher' tells where a control is on
// the screen, so that a driver outside can click it as a person would).
// Everything here is off unless switched on by the command line or the
// environment.
class AgentAutomation : public QObject {
    Q_OBJECT
  public:
    static constexpr quint32 kSuite = 0x5244636b;  // 'RDck'
    static constexpr quint32 kRetry = 0x72747279;  // 'rtry'
    static constexpr quint32 kSnap = 0x736e6170;   // 'snap'
    static constexpr quint32 kClick = 0x636c636b;  // 'clck'
    static constexpr quint32 kWhere = 0x77686572;  // 'wher'

    explicit AgentAutomation(QObject* parent = nullptr);
    ~AgentAutomation() override;

    // Every alert box is answered with its default button at once, after
    // "Alert: <message>" went to standard error.
    static void answerAlertsAutomatically();
    // SIGTERM and SIGINT quit the application through its event loop;
    // SIGUSR1 saves the window picture when a path was given.
    bool installSignalHandlers();
    void setScreenshotPath(const QString& path) { screenshotPath_ = path; }
    // Grabs the current document's window into a PNG file.
    static bool saveScreenshot(const QString& path);

    // Where a shown control is, in screen coordinates, and the window system's
    // id of its window. The locator is "[WINDOW/]NAME[#ITEM|@ACTION]": NAME
    // is a widget's object name ("mainWindow": the main window; empty: any
    // widget of the kind the suffix needs), WINDOW the object name of its
    // window; "#ITEM" a row of an item view by its text, "@ACTION" an entry
    // of a shown menu or menu bar by its text or action name.
    static bool locate(const QString& locator, QRect* rect, quint64* windowId);

    // Whether the event belongs to the private suite.
    static bool handles(const AEDesc& event) { return event.eventClass() == kSuite; }
    // Answers an event of the private suite; -1708 unless enabled.
    void handleEvent(const AEDesc& event, const AppleEventServer::ReplyFunction& reply);
    void setEventsEnabled(bool enabled) { eventsEnabled_ = enabled; }

  private:
    void readSignal();

    QString screenshotPath_;
    bool eventsEnabled_ = false;
    QSocketNotifier* notifier_ = nullptr;
};
