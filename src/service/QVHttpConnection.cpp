#include "service/QVHttpConnection.h"

#include <QAbstractSocket>
#include <QTcpSocket>

namespace {

// Heads and chunk-size lines are small; a peer sending more without an end
// is not speaking HTTP.
constexpr qsizetype kMaxHeadBytes = 64 * 1024;
constexpr qsizetype kMaxLineBytes = 4 * 1024;

// The macOS URL-loading codes for the socket's own failures.
qint64 socketErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return -1004;
        case QAbstractSocket::HostNotFoundError:
            return -1003;
        case QAbstractSocket::SocketTimeoutError:
            return -1001;
        case QAbstractSocket::NetworkError:
            return -1009;
        default:
            return -1005;
    }
}

bool parseDecimal(const QByteArray& text, qint64* value) {
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 18) return false;
    for (char c : trimmed)
        if (c < '0' || c > '9') return false;
    *value = trimmed.toLongLong();
    return true;
}

}  // namespace

QVHttpConnection::QVHttpConnection(const QString& host, quint16 port, qint64 maxBodyBytes)
    : host_(host), port_(port), maxBody_(maxBodyBytes), socket_(new QTcpSocket) {
    QObject::connect(socket_, &QTcpSocket::connected, socket_, [this] { onConnected(); });
    QObject::connect(socket_, &QTcpSocket::readyRead, socket_, [this] { onReadyRead(); });
    QObject::connect(socket_, &QTcpSocket::disconnected, socket_, [this] { onDisconnected(); });
    QObject::connect(socket_, &QTcpSocket::errorOccurred, socket_,
                     [this](QAbstractSocket::SocketError error) { onError(error); });
}

QVHttpConnection::~QVHttpConnection() {
    QObject::disconnect(socket_, nullptr, nullptr, nullptr);
    socket_->abort();
    socket_->deleteLater();
}

bool QVHttpConnection::reusable() const {
    return state_ == State::Idle &&
           (!served_ || socket_->state() == QAbstractSocket::ConnectedState);
}

QByteArray QVHttpConnection::requestHead(const QByteArray& method, const QByteArray& target,
                                         const QByteArray& hostHeader,
                                         const QList<QPair<QByteArray, QByteArray>>& headers,
                                         qint64 bodyLength) {
    QByteArray head;
    head.reserve(256);
    head.append(method).append(' ').append(target).append(" HTTP/1.1\r\n");
    head.append("Host: ").append(hostHeader).append("\r\n");
    for (const auto& [name, value] : headers) {
        const QByteArray lower = name.toLower();
        // HTTP's own framing is this class's business, not the caller's.
        if (lower == "host" || lower == "content-length" || lower == "connection" ||
            lower == "transfer-encoding")
            continue;
        // A line break would start a header, or a request, of its own.
        if (name.isEmpty() || name.contains(':') || name.contains('\r') || name.contains('\n'))
            continue;
        QByteArray clean = value;
        clean.replace('\r', ' ').replace('\n', ' ');
        head.append(name).append(": ").append(clean).append("\r\n");
    }
    if (bodyLength >= 0) head.append("Content-Length: ").append(QByteArray::number(bodyLength));
    if (bodyLength >= 0) head.append("\r\n");
    head.append("Connection: keep-alive\r\n\r\n");
    return head;
}

void QVHttpConnection::start(const QByteArray& head, const QByteArray& body, Finished done) {
    done_ = std::move(done);
    result_ = Result();
    received_ = false;
    keepAlive_ = true;
    in_.clear();
    noBody_ = head.startsWith("HEAD ");
    pending_ = head + body;
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        state_ = State::Head;
        socket_->write(pending_);
        pending_.clear();
        return;
    }
    state_ = State::Connecting;
    socket_->connectToHost(host_, port_);
}

void QVHttpConnection::abort() {
    done_ = nullptr;
    state_ = State::Closed;
    socket_->abort();
}

void QVHttpConnection::onConnected() {
    if (state_ != State::Connecting) return;
    // Requests go out whole, in one write each; nothing is gained by
    // holding a small one back for an acknowledgement.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    state_ = State::Head;
    socket_->write(pending_);
    pending_.clear();
}

void QVHttpConnection::onReadyRead() {
    const QByteArray data = socket_->readAll();
    if (data.isEmpty()) return;
    if (state_ == State::Idle || state_ == State::Closed || state_ == State::Connecting) {
        // Bytes nobody asked for: the connection cannot be trusted again.
        if (state_ == State::Idle) state_ = State::Closed;
        socket_->abort();
        return;
    }
    received_ = true;
    in_.append(data);
    parse();
}

void QVHttpConnection::onDisconnected() {
    if (socket_->bytesAvailable() > 0) onReadyRead();
    switch (state_) {
        case State::Idle:
            state_ = State::Closed;
            return;
        case State::UntilClose:
            keepAlive_ = false;
            finish(0);
            return;
        case State::Closed:
            return;
        default:
            fail(-1005);
    }
}

void QVHttpConnection::onError(int socketError) {
    const auto error = static_cast<QAbstractSocket::SocketError>(socketError);
    // A close by the peer is judged where the connection ends.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    if (state_ == State::Idle) {
        state_ = State::Closed;
        return;
    }
    if (state_ == State::Closed) return;
    fail(socketErrorCode(error));
}

bool QVHttpConnection::takeLine(QByteArray* line) {
    const qsizetype end = in_.indexOf("\r\n");
    if (end < 0) return false;
    *line = in_.left(end);
    in_.remove(0, end + 2);
    return true;
}

bool QVHttpConnection::takeBody(qsizetype count) {
    if (result_.body.size() + count > maxBody_) {
        fail(-1103);
        return false;
    }
    result_.body.append(in_.constData(), count);
    in_.remove(0, count);
    return true;
}

bool QVHttpConnection::takeRemaining() {
    const qsizetype count = std::min<qint64>(remaining_, in_.size());
    if (!takeBody(count)) return false;
    remaining_ -= count;
    return remaining_ == 0;
}

void QVHttpConnection::parse() {
    for (;;) {
        switch (state_) {
            case State::Head: {
                const qsizetype end = in_.indexOf("\r\n\r\n");
                if (end < 0) {
                    if (in_.size() > kMaxHeadBytes) fail(-1017);
                    return;
                }
                const QByteArray head = in_.left(end);
                in_.remove(0, end + 4);
                if (!parseHead(head)) {
                    fail(-1017);
                    return;
                }
                break;
            }
            case State::Body:
                if (takeRemaining()) finish(0);
                return;
            case State::ChunkSize: {
                QByteArray line;
                if (!takeLine(&line)) {
                    if (in_.size() > kMaxLineBytes) fail(-1017);
                    return;
                }
                const qsizetype extension = line.indexOf(';');
                if (extension >= 0) line.truncate(extension);
                line = line.trimmed();
                bool ok = false;
                const qint64 size = line.size() <= 15 ? line.toLongLong(&ok, 16) : -1;
                if (!ok || size < 0) {
                    fail(-1017);
                    return;
                }
                if (result_.body.size() + size > maxBody_) {
                    fail(-1103);
                    return;
                }
                remaining_ = size;
                state_ = size == 0 ? State::Trailers : State::ChunkData;
                break;
            }
            case State::ChunkData:
                if (!takeRemaining()) return;
                state_ = State::ChunkEnd;
                break;
            case State::ChunkEnd: {
                if (in_.size() < 2) return;
                if (!in_.startsWith("\r\n")) {
                    fail(-1017);
                    return;
                }
                in_.remove(0, 2);
                state_ = State::ChunkSize;
                break;
            }
            case State::Trailers: {
                QByteArray line;
                if (!takeLine(&line)) {
                    if (in_.size() > kMaxHeadBytes) fail(-1017);
                    return;
                }
                if (line.isEmpty()) {
                    finish(0);
                    return;
                }
                break;
            }
            case State::UntilClose: {
                if (!takeBody(in_.size())) return;
                return;
            }
            default:
                return;
        }
    }
}

bool QVHttpConnection::parseHead(const QByteArray& head) {
    const QList<QByteArray> lines = head.split('\n');
    const QByteArray statusLine = lines.value(0).trimmed();
    // "HTTP/1.1 200 OK"
    if (!statusLine.startsWith("HTTP/1.") || statusLine.size() < 12 || statusLine.at(8) != ' ')
        return false;
    qint64 status = 0;
    if (!parseDecimal(statusLine.mid(9, 3), &status) || status < 100 || status > 599) return false;
    const bool http10 = statusLine.at(7) == '0';
    if (status >= 100 && status < 200) {
        // An interim answer; the real one follows.
        state_ = State::Head;
        return true;
    }
    result_.statusCode = int(status);
    keepAlive_ = !http10;
    qint64 length = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) return false;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            qint64 parsed = 0;
            if (!parseDecimal(value, &parsed) || (length >= 0 && parsed != length)) return false;
            length = parsed;
        } else if (name == "transfer-encoding") {
            chunked = value.toLower().endsWith("chunked");
            if (!chunked) return false;
        } else if (name == "connection") {
            const QByteArray token = value.toLower();
            if (token.contains("close")) keepAlive_ = false;
            if (token.contains("keep-alive")) keepAlive_ = true;
        }
    }
    if (noBody_ || status == 204 || status == 304) {
        finish(0);
        return true;
    }
    if (chunked) {
        state_ = State::ChunkSize;
    } else if (length >= 0) {
        if (length > maxBody_) {
            fail(-1103);
            return true;
        }
        remaining_ = length;
        state_ = State::Body;
        if (length == 0) finish(0);
    } else {
        keepAlive_ = false;
        state_ = State::UntilClose;
    }
    return true;
}

void QVHttpConnection::finish(qint64 errorCode) {
    result_.errorCode = errorCode;
    served_ = true;
    const bool again = errorCode == 0 && keepAlive_ && in_.isEmpty() &&
                       socket_->state() == QAbstractSocket::ConnectedState;
    state_ = again ? State::Idle : State::Closed;
    if (!again) socket_->abort();
    Finished done = std::move(done_);
    done_ = nullptr;
    if (done) done(result_);
}

void QVHttpConnection::fail(qint64 errorCode) {
    result_.staleConnection = served_ && !received_ && errorCode == -1005;
    result_.body.clear();
    keepAlive_ = false;
    in_.clear();
    finish(errorCode);
}
