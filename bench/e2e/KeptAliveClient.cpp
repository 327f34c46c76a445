#include "KeptAliveClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

KeptAliveClient::~KeptAliveClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool KeptAliveClient::connectTo(const QString& address, quint16 port) {
    if (fd_ >= 0) ::close(fd_);
    buffer_.clear();
    address_ = address;
    port_ = port;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    if (fd_ < 0 || ::inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
        return false;
    return ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
}

bool KeptAliveClient::fill() {
    char chunk[16384];
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer_.append(chunk, n);
    return true;
}

std::optional<KeptAliveClient::Answer> KeptAliveClient::exchange(const QByteArray& method,
                                                                 const QByteArray& target,
                                                                 const Headers& headers,
                                                                 const QByteArray& body) {
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    if (!body.isEmpty() || method == "POST")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: keep-alive\r\n\r\n" + body;
    if (auto answer = exchangeOnce(request)) return answer;
    if (!connectTo(address_, port_)) return std::nullopt;
    return exchangeOnce(request);
}

std::optional<KeptAliveClient::Answer> KeptAliveClient::exchangeOnce(const QByteArray& request) {
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::write(fd_, request.constData() + sent, size_t(request.size() - sent));
        if (n <= 0) return std::nullopt;
        sent += n;
    }
    qsizetype end;
    while ((end = buffer_.indexOf("\r\n\r\n")) < 0)
        if (!fill()) return std::nullopt;
    const QByteArray head = buffer_.left(end);
    buffer_.remove(0, end + 4);
    Answer answer;
    const QList<QByteArray> lines = head.split('\n');
    answer.status = lines.value(0).split(' ').value(1).toInt();
    qsizetype length = 0;
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
            length = line.mid(colon + 1).trimmed().toLongLong();
    }
    while (buffer_.size() < length)
        if (!fill()) return std::nullopt;
    answer.body = buffer_.left(length);
    buffer_.remove(0, length);
    return answer;
}
