#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/QVLog.h"

namespace {

QString autostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

// Keys as a desktop writes them; the file is small, a full parser is not
// needed to answer whether the user switched it off.
QString valueOf(const QByteArray& text, const char* key) {
    const QByteArray prefix = QByteArray(key) + '=';
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith(prefix)) return QString::fromUtf8(trimmed.mid(prefix.size()));
    }
    return QString();
}

}  // namespace

QString Autostart::entryPath() {
    return autostartFolder() + QLatin1Char('/') + QLatin1String(kApplicationID) +
           QStringLiteral(".desktop");
}

bool Autostart::isEnabled() {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = file.read(64 * 1024);
    if (valueOf(text, "Hidden").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return false;
    if (valueOf(text, "X-GNOME-Autostart-enabled")
            .compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return !valueOf(text, "Exec").isEmpty();
}

bool Autostart::setEnabled(bool enabled, const QString& program) {
    const QString path = entryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) || QFile::remove(path)) return true;
        QVLog::log(QStringLiteral("Autostart: cannot remove %1").arg(path));
        return false;
    }
    const QString executable =
        program.isEmpty() ? QCoreApplication::applicationFilePath() : program;
    QSaveFile file(path);
    if (!QDir().mkpath(autostartFolder()) || !file.open(QIODevice::WriteOnly) ||
        file.write(entryText(executable)) < 0 || !file.commit()) {
        QVLog::log(QStringLiteral("Autostart: cannot write %1").arg(path));
        return false;
    }
    return true;
}

QByteArray Autostart::entryText(const QString& program) {
    const QString exec =
        quotedExecArgument(program) + QLatin1Char(' ') + QLatin1String(kBackgroundOption);
    QByteArray text;
    text += "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=Relaydock\n";
    text += "Comment=Receives the clips shared from the video editor\n";
    text += "Exec=" + exec.toUtf8() + '\n';
    text += "Icon=" + QByteArray(kApplicationID) + '\n';
    text += "Terminal=false\n";
    text += "NoDisplay=true\n";
    text += "X-GNOME-Autostart-enabled=true\n";
    return text;
}

QString Autostart::quotedExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        if (reserved.contains(c)) quote = true;
    QString out = argument;
    // A literal percent sign is doubled whether quoted or not.
    out.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (quote) {
        QString inner;
        for (const QChar c : out) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                c == QLatin1Char('\\'))
                inner += QLatin1Char('\\');
            inner += c;
        }
        out = QLatin1Char('"') + inner + QLatin1Char('"');
    }
    // The value is a string of the key file: backslashes are escaped once more.
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return out;
}

QStringList Autostart::execArguments(const QString& execValue) {
    QString value;
    for (int i = 0; i < execValue.size(); ++i) {
        if (execValue[i] == QLatin1Char('\\') && i + 1 < execValue.size()) {
            const QChar next = execValue[++i];
            value += next == QLatin1Char('s')   ? QChar(' ')
                     : next == QLatin1Char('n') ? QChar('\n')
                     : next == QLatin1Char('t') ? QChar('\t')
                                                : next;
            continue;
        }
        value += execValue[i];
    }
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool any = false;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < value.size()) {
                current += value[++i];
            } else if (c == QLatin1Char('%') && i + 1 < value.size()) {
                if (value[++i] == QLatin1Char('%')) current += QLatin1Char('%');
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            any = true;
        } else if (c == QLatin1Char(' ')) {
            if (any || !current.isEmpty()) args << current;
            current.clear();
            any = false;
        } else if (c == QLatin1Char('%') && i + 1 < value.size()) {
            const QChar code = value[++i];
            if (code == QLatin1Char('%')) current += code;
        } else {
            current += c;
        }
    }
    if (any || !current.isEmpty()) args << current;
    return args;
}
