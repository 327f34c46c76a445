#include "ProcessSockets.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>

namespace {

quint16 portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return 0;
}

int intOption(int fd, int level, int name) {
    int value = 0;
    socklen_t size = sizeof value;
    return ::getsockopt(fd, level, name, &value, &size) == 0 ? value : -1;
}

}  // namespace

QList<ProcessSockets::Connection> ProcessSockets::connections(qint64 pid, quint16 remotePort,
                                                              QString* error) {
    QList<Connection> out;
    const int process = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (process < 0) {
        *error = QStringLiteral("pidfd_open: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return out;
    }
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System)) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName(fds.filePath(name));
        if (::readlink(link.constData(), target, sizeof target - 1) < 0 ||
            std::strncmp(target, "socket:", 7) != 0)
            continue;
        const int fd = int(::syscall(SYS_pidfd_getfd, process, name.toInt(), 0));
        if (fd < 0) {
            if (errno == EPERM || errno == ENOSYS) {
                *error =
                    QStringLiteral("pidfd_getfd: %1").arg(QString::fromLocal8Bit(strerror(errno)));
                ::close(process);
                return {};
            }
            continue;  // closed meanwhile
        }
        sockaddr_storage local{}, peer{};
        socklen_t localSize = sizeof local, peerSize = sizeof peer;
        const bool tcp = intOption(fd, SOL_SOCKET, SO_TYPE) == SOCK_STREAM &&
                         ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) == 0 &&
                         (local.ss_family == AF_INET || local.ss_family == AF_INET6);
        if (tcp && ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            (remotePort == 0 || portOf(peer) == remotePort))
            out << Connection{portOf(local), portOf(peer),
                              intOption(fd, IPPROTO_TCP, TCP_NODELAY) > 0};
        ::close(fd);
    }
    ::close(process);
    return out;
}
