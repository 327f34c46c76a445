#include "LiveDisplay.h"

#include <QDeadlineTimer>
#include <QPainter>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include "XwdImage.h"

namespace {

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

int field(const QByteArray& text, const char* label) {
    const QRegularExpression re(QString::fromLatin1(label) + QStringLiteral(":\\s*(-?\\d+)"));
    const auto match = re.match(QString::fromUtf8(text));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

}  // namespace

LiveDisplay::~LiveDisplay() {
    stop(windowManager_);
    stop(xvfb_);
}

QStringList LiveDisplay::missingTools() {
    QStringList missing;
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwd", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    return missing;
}

bool LiveDisplay::start(bool windowManager, QString* error) {
    // The server picks a free display number and writes it once it accepts
    // connections.
    xvfb_.setProgram(QStringLiteral("Xvfb"));
    xvfb_.setArguments({"-displayfd", "1", "-screen", "0",
                        QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight), "-nolisten", "tcp"});
    xvfb_.setStandardErrorFile(QProcess::nullDevice());
    xvfb_.start();
    QDeadlineTimer deadline(30000);
    QByteArray out;
    while (!out.contains('\n') && !deadline.hasExpired() && xvfb_.state() != QProcess::NotRunning) {
        xvfb_.waitForReadyRead(200);
        out += xvfb_.readAllStandardOutput();
    }
    if (!out.contains('\n')) {
        *error = QStringLiteral("Xvfb did not start");
        return false;
    }
    name_ = QLatin1Char(':') + QString::fromLatin1(out.trimmed());
    if (!windowManager) return true;

    windowManager_.setProcessEnvironment(environment());
    windowManager_.setProgram(QStringLiteral("openbox"));
    windowManager_.setArguments({"--sm-disable"});
    windowManager_.setStandardOutputFile(QProcess::nullDevice());
    windowManager_.setStandardErrorFile(QProcess::nullDevice());
    windowManager_.start();
    // Managing: the window manager announces itself on the root window.
    while (!deadline.hasExpired()) {
        if (run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")) return true;
        if (windowManager_.state() == QProcess::NotRunning) break;
        QThread::msleep(50);
    }
    *error = QStringLiteral("openbox did not start");
    return false;
}

QProcessEnvironment LiveDisplay::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), name_);
    return env;
}

QByteArray LiveDisplay::run(const QString& program, const QStringList& args, int timeoutMs) const {
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
    QByteArray out = process.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

QRect LiveDisplay::windowGeometry(quint64 window) const {
    const QByteArray info = run("xwininfo", {"-id", QString::number(window)});
    if (info.isNull() || !info.contains("IsViewable")) return {};
    return QRect(field(info, "Absolute upper-left X"), field(info, "Absolute upper-left Y"),
                 field(info, "Width"), field(info, "Height"));
}

QList<quint64> LiveDisplay::visibleWindows(qint64 pid) const {
    QList<quint64> windows;
    const QByteArray out =
        run("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty()) windows << line.trimmed().toULongLong();
    return windows;
}

QImage LiveDisplay::capture(const QList<quint64>& windows) const {
    QImage screen = XwdImage::decode(run("xwd", {"-root", "-silent"}));
    if (screen.isNull()) return {};
    QPainter painter(&screen);
    for (quint64 window : windows) {
        const QRect where = windowGeometry(window);
        if (where.isEmpty()) continue;
        const QImage shown =
            XwdImage::decode(run("xwd", {"-id", QString::number(window), "-screen", "-silent"}));
        if (!shown.isNull()) painter.drawImage(where.topLeft(), shown);
    }
    return screen;
}

bool LiveDisplay::click(const QPoint& at, int button) const {
    return !run("xdotool", {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()),
                            "click", QString::number(button)})
                .isNull();
}

bool LiveDisplay::key(const QString& keys) const {
    return !run("xdotool", {"key", "--clearmodifiers", keys}).isNull();
}

bool LiveDisplay::type(const QString& text) const {
    return !run("xdotool", {"type", "--delay", "15", text}).isNull();
}
