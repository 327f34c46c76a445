#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

QString systemError(const QString& what, const QString& path, int err) {
    return QStringLiteral("%1 \u201c%2\u201d: %3")
        .arg(what, path, QString::fromLocal8Bit(strerror(err)));
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// A new or renamed name lives in its folder; without this a crash could
// lose it after a successful return.
bool syncFolder(const QByteArray& folderName) {
    const int fd = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Creates a fresh file beside the destination. The process umask applies as
// for any new file; the name is unique to this process and call.
int createTemporary(const QString& folder, const QString& fileName, QByteArray& tempName) {
    static std::atomic<quint64> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = QFile::encodeName(QStringLiteral("%1/.%2.%3.%4.%5.tmp")
                                         .arg(folder, fileName.left(120))
                                         .arg(::getpid())
                                         .arg(counter.fetch_add(1))
                                         .arg(QRandomGenerator::global()->generate(), 0, 16));
        const int fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Temporaries of writers that died half-way (their process is gone) are
// removed, so crashes do not pile up files beside the destination. One whose
// process still exists is left alone: it may be a write in progress.
void removeStaleTemporaries(const QString& folder, const QString& fileName) {
    const QString prefix = QLatin1Char('.') + fileName.left(120) + QLatin1Char('.');
    const QStringList names =
        QDir(folder).entryList({prefix + QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QStringList parts = name.mid(prefix.size()).split(QLatin1Char('.'));
        bool ok = false;
        const qint64 pid = parts.isEmpty() ? 0 : parts.first().toLongLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            ::unlink(QFile::encodeName(folder + QLatin1Char('/') + name).constData());
    }
}

}  // namespace

bool AtomicFile::write(const QString& path, const QByteArray& data, QString* error) {
    auto fail = [error](const QString& message) {
        if (error) *error = message;
        return false;
    };
    if (path.isEmpty()) return fail(QStringLiteral("No file name given"));

    // A link is followed so the file it points to is replaced, not the link.
    QFileInfo info(path);
    QString target = info.absoluteFilePath();
    if (info.isSymLink()) {
        const QString resolved = info.symLinkTarget();
        if (!resolved.isEmpty()) target = resolved;
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir()) return fail(QStringLiteral("\u201c%1\u201d is a folder").arg(target));
    const QString folder = targetInfo.absolutePath();
    const QByteArray folderName = QFile::encodeName(folder);
    const QByteArray targetName = QFile::encodeName(target);

    QByteArray tempName;
    const int fd = createTemporary(folder, targetInfo.fileName(), tempName);
    if (fd < 0) return fail(systemError(QStringLiteral("Cannot create a file in"), folder, errno));

    auto abandon = [&](const QString& what) {
        const int err = errno;
        ::close(fd);
        ::unlink(tempName.constData());
        return fail(systemError(what, target, err));
    };

    // The new file keeps the permissions of the one it replaces.
    struct stat existing {};
    if (::stat(targetName.constData(), &existing) == 0 &&
        ::fchmod(fd, existing.st_mode & 07777) != 0)
        return abandon(QStringLiteral("Cannot set permissions of"));
    if (!writeAll(fd, data.constData(), data.size()))
        return abandon(QStringLiteral("Cannot write"));
    if (::fsync(fd) != 0) return abandon(QStringLiteral("Cannot flush"));
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        return fail(systemError(QStringLiteral("Cannot write"), target, err));
    }
    if (::rename(tempName.constData(), targetName.constData()) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        return fail(systemError(QStringLiteral("Cannot replace"), target, err));
    }
    syncFolder(folderName);
    removeStaleTemporaries(folder, targetInfo.fileName());
    return true;
}

bool AtomicFile::appendLines(const QString& path, const QByteArray& lines) {
    const QByteArray name = QFile::encodeName(path);
    bool created = false;
    int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        created = fd >= 0;
    }
    if (fd < 0) return false;
    QByteArray data = lines;
    // A line that a crash cut short must not swallow the first new one.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') data.prepend('\n');
    }
    const bool ok = writeAll(fd, data.constData(), data.size()) && ::fdatasync(fd) == 0;
    ::close(fd);
    return ok && (!created || syncFolder(QFile::encodeName(QFileInfo(path).absolutePath())));
}
