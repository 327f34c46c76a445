// The two desktop settings of the window's menu: start at login (an XDG
// Autostart entry) and notifications (a preference).

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "app/AppDelegate.h"
#include "library/QVPreferenceManager.h"
#include "platform/Autostart.h"
#include "support/TempHome.h"

namespace {

QString execValue(const QString& entryPath) {
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("Exec=")) return QString::fromUtf8(line.mid(5));
    return QString();
}

// desktop-file-validate's verdict, or nothing when it is not installed.
std::optional<QString> validate(const QString& path) {
    const QString tool = QStandardPaths::findExecutable("desktop-file-validate");
    if (tool.isEmpty()) return std::nullopt;
    QProcess run;
    run.start(tool, {path});
    run.waitForFinished(30000);
    return QString::fromUtf8(run.readAllStandardOutput() + run.readAllStandardError()) +
           (run.exitCode() == 0 ? "" : " (failed)");
}

TEST(DesktopSettingsTest, StartAtLoginWritesAValidEntryThatStartsTheAgentHiddenAndRemovesIt) {
    TempHome home;
    AppDelegate delegate;
    QAction* startAtLogin = delegate.startAtLoginAction();
    ASSERT_TRUE(startAtLogin->isCheckable());
    EXPECT_FALSE(startAtLogin->isChecked());  // off by default
    const QString entry = home.configHome() + "/autostart/com.corvane.Relaydock.desktop";
    EXPECT_EQ(Autostart::entryPath(), entry);

    startAtLogin->trigger();
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(Autostart::isEnabled());
    if (const auto verdict = validate(entry)) {
        EXPECT_TRUE(verdict->isEmpty()) << qPrintable(*verdict);
    }
    EXPECT_EQ(Autostart::execArguments(execValue(entry)),
              QStringList({QCoreApplication::applicationFilePath(), "--background"}));

    startAtLogin->trigger();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(Autostart::isEnabled());

    // Turned off in the desktop's own settings: the entry stays, disabled.
    ASSERT_TRUE(Autostart::setEnabled(true));
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(Autostart::isEnabled());
}

TEST(DesktopSettingsTest, ProgramPathsWithSpacesAndQuotesSurviveTheExecLine) {
    TempHome home;
    const QString program = R"(/opt/My "Tools"/100% $HOME\relaydock)";
    ASSERT_TRUE(Autostart::setEnabled(true, program));
    const QString exec = execValue(Autostart::entryPath());
    EXPECT_EQ(Autostart::execArguments(exec), QStringList({program, "--background"}))
        << qPrintable(exec);
    if (const auto verdict = validate(Autostart::entryPath())) {
        EXPECT_TRUE(verdict->isEmpty()) << qPrintable(*verdict);
    }
}

TEST(DesktopSettingsTest, NotificationsAreOnUntilTurnedOffAndTheChoiceIsKept) {
    TempHome home;
    auto& preferences = QVPreferenceManager::sharedManager();
    {
        AppDelegate delegate;
        EXPECT_TRUE(delegate.notificationsAction()->isChecked());
        delegate.notificationsAction()->trigger();
        EXPECT_FALSE(preferences.notificationsEnabled());
    }
    AppDelegate again;
    EXPECT_FALSE(again.notificationsAction()->isChecked());
    again.notificationsAction()->trigger();
    EXPECT_TRUE(preferences.notificationsEnabled());
}

}  // namespace
