#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include "platform/AtomicFile.h"
#include "support/ChildMain.h"

namespace {

QByteArray contentA() {
    return QByteArray(3 << 20, 'A') + "end of A";
}
QByteArray contentB() {
    return QByteArray(2 << 20, 'B') + "end of B";
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Files in the folder other than the destination (leftover temporaries).
QStringList strays(const QString& folder, const QString& keep) {
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
}

}  // namespace

// Writes A and B in turn for ever, reporting each finished write with a dot.
RELAYDOCK_CHILD_MAIN(atomicWriteLoop) {
    if (argc < 1) return 2;
    const QString path = QString::fromLocal8Bit(argv[0]);
    const QByteArray a = contentA(), b = contentB();
    for (quint64 n = 0;; ++n) {
        if (!AtomicFile::write(path, n % 2 ? b : a)) return 3;
        std::fputc('.', stdout);
        std::fflush(stdout);
    }
}

// One write as an unprivileged user; prints the error and exits with 3 when
// it fails. Root gives up its rights first (root ignores permissions).
RELAYDOCK_CHILD_MAIN(atomicWriteOnce) {
    if (argc < 2) return 2;
    if (::geteuid() == 0) {
        ::setgroups(0, nullptr);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 99;
    }
    QString error;
    if (AtomicFile::write(QString::fromLocal8Bit(argv[0]), QByteArray(argv[1]), &error)) return 0;
    std::fputs(error.toLocal8Bit().constData(), stdout);
    return 3;
}

TEST(AtomicFileTest, WritesReplacesAndKeepsPermissions) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.plist");
    QString error;
    ASSERT_TRUE(AtomicFile::write(path, "first", &error)) << error.toStdString();
    EXPECT_EQ(readAll(path), "first");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(AtomicFile::write(path, "second", &error));
    EXPECT_EQ(readAll(path), "second");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_TRUE(strays(dir.path(), "settings.plist").isEmpty());

    // Writing through a link replaces the file it points to; the link stays.
    const QString link = dir.filePath("link.plist");
    ASSERT_TRUE(QFile::link(path, link));
    ASSERT_TRUE(AtomicFile::write(link, "third", &error));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(path), "third");
}

TEST(AtomicFileTest, FailuresReportAndLeaveNothingBehind) {
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(AtomicFile::write(dir.filePath("folder"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("folder")).isDir());
    error.clear();
    EXPECT_FALSE(AtomicFile::write(dir.filePath("missing/file.plist"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(strays(dir.path(), "folder"), QStringList());
}

// The write runs in a child that is not root, so the folder's missing write
// permission really stops it.
TEST(AtomicFileTest, ReadOnlyFolderFailsCleanlyKeepingTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    const QString path = folder + "/data.plist";
    ASSERT_TRUE(AtomicFile::write(path, "old content"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);

    QProcess child;
    ChildMain::setUp(child, "atomicWriteOnce", {path, "new content"});
    child.start();
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 3) << child.readAllStandardError().toStdString();
    EXPECT_TRUE(child.readAllStandardOutput().contains("Permission denied"));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(readAll(path), "old content");
    EXPECT_EQ(strays(folder, "data.plist"), QStringList());
}

// A writer killed at random points never leaves a damaged destination: it is
// always one complete version or the other.
TEST(AtomicFileTest, KilledWriterNeverLeavesADamagedFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("list.plist");
    const QByteArray a = contentA(), b = contentB();
    ASSERT_TRUE(AtomicFile::write(path, a));
    QRandomGenerator random(42);
    for (int round = 0; round < 25; ++round) {
        QProcess child;
        ChildMain::setUp(child, "atomicWriteLoop", {path});
        child.start();
        ASSERT_TRUE(child.waitForStarted());
        // Let it finish at least one write, then kill it somewhere inside
        // one of the following ones.
        const int writes = 1 + random.bounded(3);
        QByteArray dots;
        while (dots.size() < writes && child.waitForReadyRead(30000))
            dots += child.readAllStandardOutput();
        ASSERT_GE(dots.size(), writes) << "round " << round;
        QThread::usleep(random.bounded(4000));
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(30000));
        const QByteArray now = readAll(path);
        ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    }
    // The next successful write clears what the killed writers left behind.
    ASSERT_TRUE(AtomicFile::write(path, "settled"));
    EXPECT_EQ(strays(dir.path(), "list.plist"), QStringList());
    EXPECT_EQ(readAll(path), "settled");
}
