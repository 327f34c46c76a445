#pragma once

#include <QString>
#include <QStringList>

// Starting the agent with the desktop session: an XDG Autostart entry,
// $XDG_CONFIG_HOME/autostart/<application id>.desktop. The entry itself is
// the setting, so a user who removes it in the desktop's own settings sees
// the option off here too.
class Autostart {
  public:
    static constexpr const char* kApplicationID = "com.corvane.Relaydock";
    // What the entry adds to the command line: start with the window hidden.
    static constexpr const char* kBackgroundOption = "--background";

    static QString entryPath();
    // An entry of ours is present and not switched off (Hidden=true or
    // X-GNOME-Autostart-enabled=false, as desktops write when the user turns
    // it off there).
    static bool isEnabled();
    // Writes the entry for the given program (this one when empty) or
    // removes it; false when the file could not be written or removed.
    static bool setEnabled(bool enabled, const QString& program = QString());

    // The entry's text for a program: it runs it with kBackgroundOption.
    static QByteArray entryText(const QString& program);
    // Exec= quoting of the Desktop Entry Specification, then the escaping of
    // a string value.
    static QString quotedExecArgument(const QString& argument);
    // Splits an Exec= value back into program and arguments (field codes
    // dropped); for tests and for reading an entry back.
    static QStringList execArguments(const QString& execValue);
};
