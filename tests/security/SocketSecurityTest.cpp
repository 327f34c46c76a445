#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "appleevents/AEWireFormat.h"
#include "appleevents/AppleEventServer.h"
#include "platform/QVLog.h"
#include "support/TempHome.h"
#include "support/Wait.h"

using namespace AECodes;

namespace {

constexpr char kOtherUser[] = "relaydock-other";

// What a forked client saw (its exit code).
enum ClientOutcome {
    kCannotConnect = 10,  // connect() was refused by the file system
    kClosedWithoutReply = 11,
    kReplied = 12,
    kClientFailed = 13,
};

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// The test user, made once when the tests run as root (useradd), else
// nothing.
std::optional<passwd> otherUser() {
    if (::geteuid() != 0) return std::nullopt;
    if (!::getpwnam(kOtherUser)) {
        QProcess::execute(QStringLiteral("useradd"),
                          {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                           QString::fromLatin1(kOtherUser)});
    }
    const passwd* entry = ::getpwnam(kOtherUser);
    if (!entry) return std::nullopt;
    return *entry;
}

// Forks a client that (as uid/gid when given) connects to path, sends one
// event frame and waits for an answer. The parent serves its event loop
// meanwhile, so the in-process server can accept and answer. Only
// async-signal-safe calls run in the child.
int runClient(const QString& path, const QByteArray& frame, std::optional<passwd> as) {
    const QByteArray socketPath = QFile::encodeName(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (as && (::setgroups(0, nullptr) != 0 || ::setgid(as->pw_gid) != 0 ||
                   ::setuid(as->pw_uid) != 0))
            ::_exit(kClientFailed);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || size_t(socketPath.size()) >= sizeof address.sun_path) ::_exit(kClientFailed);
        memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(errno == EACCES ? kCannotConnect : kClientFailed);
        if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
            ::_exit(kClosedWithoutReply);
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 20000) <= 0) ::_exit(kClientFailed);
        char byte;
        ::_exit(::read(fd, &byte, 1) > 0 ? kReplied : kClosedWithoutReply);
    }
    int status = 0;
    waitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 30000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QByteArray getEventFrame() {
    AEDesc event = AEDesc::appleEvent(kCoreEventClass, fourCC("getd"));
    event.setAttributeDescriptor(AEDesc::int32(7), keyReturnIDAttr);
    return *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, event);
}

class SocketSecurityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server.setHandler([](const AEDesc&, AppleEventServer::ReplyFunction reply) {
            reply(AEDesc::appleEvent(kCoreEventClass, kAEAnswer));
        });
    }
    TempHome home;
    AppleEventServer server;
};

}  // namespace

TEST_F(SocketSecurityTest, FolderIsPrivateAndSocketOwnerOnly) {
    // A default folder left readable by others is tightened.
    const QString path = AppleEventServer::defaultSocketPath();
    const QString folder = QFileInfo(path).absolutePath();
    ASSERT_TRUE(QDir().mkpath(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    ASSERT_TRUE(server.listen(path));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    // The owner itself is served.
    EXPECT_EQ(runClient(path, getEventFrame(), std::nullopt), kReplied);
}

TEST_F(SocketSecurityTest, ClientOfAnotherUserIsRefused) {
    const auto other = otherUser();
    if (!other) GTEST_SKIP() << "needs root to make and become a second user";
    // A folder the other user may pass through, so that only the socket's
    // own mode and the server's check stand in the way.
    QTemporaryDir open(QDir::tempPath() + "/relaydock-peer-XXXXXX");
    ASSERT_TRUE(open.isValid());
    ::chmod(QFile::encodeName(open.path()).constData(), 0711);
    const QString path = open.filePath("appleevents.sock");
    ASSERT_TRUE(server.listen(path));
    ASSERT_EQ(modeOf(path), 0600u);

    // With the socket's mode as the server leaves it, the file system says no.
    EXPECT_EQ(runClient(path, getEventFrame(), other), kCannotConnect);

    // Opened up behind the server's back, the socket lets the client connect,
    // but the server hangs up on it unanswered.
    ::chmod(QFile::encodeName(path).constData(), 0666);
    QSignalSpy closed(&server, &AppleEventServer::connectionClosed);
    QVLog::Capture log;
    EXPECT_EQ(runClient(path, getEventFrame(), other), kClosedWithoutReply);
    ASSERT_TRUE(waitUntil([&] { return !closed.isEmpty(); }, 5000));
    EXPECT_TRUE(closed.first().at(0).toBool());
    EXPECT_EQ(closed.first().at(1).toString(),
              QStringLiteral("refused a client of user %1").arg(other->pw_uid));
    EXPECT_TRUE(log.contains("Apple event server: refused a client of user"));
    EXPECT_EQ(server.connectionCount(), 0);
    // The owner still gets through the same socket.
    EXPECT_EQ(runClient(path, getEventFrame(), std::nullopt), kReplied);
}
