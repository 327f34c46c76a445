#include "platform/RunningApplications.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include <QDir>
#include <QFile>
#include <QHash>

namespace {

// The process last found for each executable name, with its start time:
// the companion runs for hours, so the next question usually costs a look
// at that one process instead of every process of the machine. The start
// time tells a reused process ID from the process it was found as.
struct Found {
    QString pid;
    QByteArray started;
};

struct Registry {
    std::mutex mutex;
    QHash<QString, QString> names{{QStringLiteral("com.corvane.pro"), QStringLiteral("corvane")}};
    QHash<QString, Found> found;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

QByteArray readProcFile(const QString& path, qint64 limit = 4096) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return {};
    return file.read(limit);
}

QString baseName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

// The fields of /proc/PID/stat after the command name, which may itself
// hold spaces and parentheses; empty when the process is gone.
QList<QByteArray> statFields(const QString& procDir) {
    const QByteArray stat = readProcFile(procDir + QStringLiteral("/stat"));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size()) return {};
    return stat.mid(close + 2).split(' ');
}

// A zombie has exited; only its parent has not collected it yet.
bool isZombie(const QList<QByteArray>& fields) {
    return fields.isEmpty() || fields.first() == "Z" || fields.first() == "X";
}

// The start time, in clock ticks since boot: the 22nd field of the line.
QByteArray startTime(const QList<QByteArray>& fields) {
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

// The names a process goes by: its command name (cut to 15 characters by the
// kernel), the file name of its executable, and that of its argv[0].
bool processMatches(const QString& procDir, const QString& name) {
    const QString comm =
        QString::fromUtf8(readProcFile(procDir + QStringLiteral("/comm")).trimmed());
    if (comm.isEmpty()) return false;
    const bool commMatches =
        comm == name || (comm.size() == 15 && name.size() > 15 && name.startsWith(comm));
    const QString exe = QFile::symLinkTarget(procDir + QStringLiteral("/exe"));
    if (!exe.isEmpty()) {
        QString exeName = baseName(exe);
        if (exeName.endsWith(QLatin1String(" (deleted)"))) exeName.chop(10);
        if (exeName == name) return true;
    }
    const QByteArray cmdline = readProcFile(procDir + QStringLiteral("/cmdline"));
    const QString argv0 = baseName(QString::fromUtf8(cmdline.left(cmdline.indexOf('\0'))));
    if (argv0 == name) return true;
    return commMatches;
}

// The start time of a live process of this user that goes by name; null
// for anything else.
QByteArray startedAs(const QString& procDir, const QString& name) {
    struct stat info {};
    if (::stat(QFile::encodeName(procDir).constData(), &info) != 0 || info.st_uid != ::getuid() ||
        !processMatches(procDir, name))
        return {};
    const auto fields = statFields(procDir);
    return isZombie(fields) ? QByteArray() : startTime(fields);
}

}  // namespace

QString RunningApplications::executableNameForIdentifier(const QString& bundleIdentifier) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.names.value(bundleIdentifier);
}

void RunningApplications::registerExecutable(const QString& bundleIdentifier,
                                             const QString& executableName) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (executableName.isEmpty())
        r.names.remove(bundleIdentifier);
    else
        r.names.insert(bundleIdentifier, executableName);
}

bool RunningApplications::isRunning(const QString& bundleIdentifier) {
    const QString name = executableNameForIdentifier(bundleIdentifier);
    if (name.isEmpty()) return false;
    auto& r = registry();
    Found last;
    {
        std::lock_guard lock(r.mutex);
        last = r.found.value(name);
    }
    if (!last.pid.isEmpty() && startedAs(QStringLiteral("/proc/") + last.pid, name) == last.started)
        return true;
    const QStringList pids =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        if (pid.isEmpty() || !pid.at(0).isDigit()) continue;
        const QByteArray started = startedAs(QStringLiteral("/proc/") + pid, name);
        if (started.isNull()) continue;
        std::lock_guard lock(r.mutex);
        r.found.insert(name, {pid, started});
        return true;
    }
    std::lock_guard lock(r.mutex);
    r.found.remove(name);
    return false;
}
