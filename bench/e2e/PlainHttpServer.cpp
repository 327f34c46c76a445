#include "PlainHttpServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>

PlainHttpServer::PlainHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

PlainHttpServer::~PlainHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
}

void PlainHttpServer::run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) serve(fd);
    }
}

// One connection at a time, until the client closes it or we stop.
void PlainHttpServer::serve(int fd) {
    QByteArray buffer;
    char chunk[16384];
    while (!stop_) {
        qsizetype end = buffer.indexOf("\r\n\r\n");
        qsizetype length = 0;
        if (end >= 0) {
            for (const QByteArray& line : buffer.left(end).split('\n')) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
                    length = line.mid(colon + 1).trimmed().toLongLong();
            }
            if (buffer.size() >= end + 4 + length) {
                buffer.remove(0, end + 4 + length);
                static const char answer[] =
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                    "Content-Length: 11\r\nConnection: keep-alive\r\n\r\n{\"error\":0}";
                if (::write(fd, answer, sizeof answer - 1) < 0) break;
                continue;
            }
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, n);
    }
    ::close(fd);
}
