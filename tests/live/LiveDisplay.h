#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

// A private X display for one test: Xvfb on the first free display number,
// optionally with the openbox window manager, and the X tools a person's
// hands and eyes stand for: xdotool moves the pointer and types, xwd reads
// the screen. Everything started here ends with the object.
class LiveDisplay {
  public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 900;

    LiveDisplay() = default;
    ~LiveDisplay();
    LiveDisplay(const LiveDisplay&) = delete;
    LiveDisplay& operator=(const LiveDisplay&) = delete;

    // The programs the display needs that are not installed.
    static QStringList missingTools();

    bool start(bool windowManager, QString* error);
    QString name() const { return name_; }
    // The system environment with DISPLAY pointing here.
    QProcessEnvironment environment() const;

    // Runs an X tool against this display; its standard output, or a null
    // array when it failed.
    QByteArray run(const QString& program, const QStringList& args, int timeoutMs = 15000) const;

    // Where the window system has put a window (outer edge of the client
    // window, screen coordinates); empty when it is not shown.
    QRect windowGeometry(quint64 window) const;
    // The shown windows a process owns.
    QList<quint64> visibleWindows(qint64 pid) const;

    // The screen as a person sees it. xwd's picture of the whole screen
    // leaves out windows that lie wholly inside another window of the same
    // private colour map, as Qt's do; each window named here is therefore
    // read again from the screen's own pixels at its place.
    QImage capture(const QList<quint64>& windows) const;

    bool click(const QPoint& at, int button = 1) const;
    bool key(const QString& keys) const;
    bool type(const QString& text) const;

  private:
    QProcess xvfb_;
    QProcess windowManager_;
    QString name_;
};
