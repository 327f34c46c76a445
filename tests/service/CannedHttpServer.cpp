#include "CannedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QRegularExpression>

namespace {

int listenOnLoopback(quint16* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

// Waits up to 50 ms for fd to become readable.
bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 50) > 0;
}

}  // namespace

CannedHttpServer::CannedHttpServer(QByteArray reply, Mode mode)
    : reply_(std::move(reply)), mode_(mode) {
    listenFd_ = listenOnLoopback(&port_);
    ::listen(listenFd_, 16);
    thread_ = std::thread([this] { run(); });
}

CannedHttpServer::~CannedHttpServer() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
}

QList<QByteArray> CannedHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

QByteArray CannedHttpServer::response(int status, const QByteArray& body,
                                      const QByteArray& contentType) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Canned\r\n";
    if (!contentType.isEmpty()) out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    return out + body;
}

quint16 CannedHttpServer::closedPort() {
    quint16 port = 0;
    const int fd = listenOnLoopback(&port);
    ::close(fd);
    return port;
}

void CannedHttpServer::run() {
    while (!stop_) {
        if (!readable(listenFd_)) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        serve(fd);
        ::close(fd);
    }
}

void CannedHttpServer::serve(int fd) {
    QByteArray received;
    static const QRegularExpression lengthHeader(QStringLiteral("\r\ncontent-length:\\s*(\\d+)"),
                                                 QRegularExpression::CaseInsensitiveOption);
    for (int served = 0; !stop_; ++served) {
        qsizetype wanted = -1;
        while (!stop_) {
            const qsizetype headEnd = received.indexOf("\r\n\r\n");
            if (wanted < 0 && headEnd >= 0) {
                const auto match =
                    lengthHeader.match(QString::fromLatin1(received.left(headEnd + 2)));
                wanted = headEnd + 4 + (match.hasMatch() ? match.captured(1).toLongLong() : 0);
            }
            if (wanted >= 0 && received.size() >= wanted) break;
            if (!readable(fd)) continue;
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) return;
            received.append(buffer, n);
        }
        if (stop_) return;
        {
            std::lock_guard lock(mutex_);
            requests_.append(received.left(wanted));
        }
        received.remove(0, wanted);
        if (mode_ == Mode::Hang) {
            while (!stop_) readable(fd);
            return;
        }
        if (mode_ == Mode::DropSecond && served == 1) return;
        if (::write(fd, reply_.constData(), size_t(reply_.size())) < 0) return;
        if (mode_ == Mode::Answer) return;
    }
}
