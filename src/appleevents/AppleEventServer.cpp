#include "appleevents/AppleEventServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include "appleevents/AEWireFormat.h"
#include "platform/QVLog.h"

using namespace AECodes;

struct AppleEventServer::Connection {
    QPointer<QLocalSocket> socket;
    QByteArray buffer;
    QPointer<QTimer> stall;  // owned by the socket
    bool reading = false;    // guards against re-entry from nested event loops
};

namespace {

// The socket's mode already keeps other users out; the peer's credentials
// also keep out those the mode cannot (root, a socket in a folder that was
// opened up, a mode changed behind the agent's back).
bool peerIsThisUser(qintptr descriptor, uid_t* peer) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    *peer = credentials.uid;
    return credentials.uid == ::geteuid();
}

}  // namespace

AppleEventServer::AppleEventServer(QObject* parent) : QObject(parent) {}

AppleEventServer::~AppleEventServer() {
    close();
}

QString AppleEventServer::defaultSocketPath() {
    const QString env = qEnvironmentVariable("RELAYDOCK_SOCKET");
    if (!env.isEmpty()) return env;
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime + "/relaydock/appleevents.sock";
}

QString AppleEventServer::socketPathFromArguments(const QStringList& args) {
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--socket" && i + 1 < args.size()) return args[i + 1];
        if (args[i].startsWith("--socket=")) return args[i].mid(9);
    }
    return defaultSocketPath();
}

bool AppleEventServer::listen(const QString& path, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        QVLog::log(QStringLiteral("Apple event server: %1").arg(why));
        return false;
    };
    close();
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const bool isDefaultFolder = QFileInfo(defaultSocketPath()).absolutePath() == folder;
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder)) return fail("cannot create " + folder);
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    } else if (isDefaultFolder) {
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    }

    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return fail(path + " exists and is not a socket");
        QLocalSocket probe;
        probe.connectToServer(path);
        // Connecting to a Unix socket completes or fails at once.
        if (probe.waitForConnected(200)) {
            probe.abort();
            return fail("another server is listening on " + path);
        }
        QLocalServer::removeServer(path);
    }

    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        const QString why = server_->errorString();
        delete server_;
        server_ = nullptr;
        return fail("cannot listen on " + path + ": " + why);
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    path_ = path;
    connect(server_, &QLocalServer::newConnection, this, &AppleEventServer::acceptConnections);
    return true;
}

void AppleEventServer::close() {
    for (auto& c : connections_) {
        if (c->stall) c->stall->disconnect(this);
        if (c->socket) {
            c->socket->disconnect(this);
            c->socket->abort();
            c->socket->deleteLater();
        }
    }
    connections_.clear();
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
}

bool AppleEventServer::isListening() const {
    return server_ && server_->isListening();
}

int AppleEventServer::connectionCount() const {
    return int(connections_.size());
}

void AppleEventServer::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        uid_t peer = uid_t(-1);
        if (!peerIsThisUser(socket->socketDescriptor(), &peer)) {
            const QString why = QStringLiteral("refused a client of user %1").arg(qint64(peer));
            QVLog::log(QStringLiteral("Apple event server: %1").arg(why));
            socket->abort();
            socket->deleteLater();
            emit connectionClosed(true, why);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        Connection* c = connection.get();
        connections_.push_back(std::move(connection));
        connect(socket, &QLocalSocket::readyRead, this, [this, c] { readFrom(c); });
        connect(socket, &QLocalSocket::disconnected, this, [this, c] { drop(c, false, {}); });
        c->stall = new QTimer(socket);
        c->stall->setSingleShot(true);
        connect(c->stall, &QTimer::timeout, this, [this, c] {
            // Never while a frame is being handled: readFrom owns c then.
            if (!c->reading) drop(c, true, QStringLiteral("frame left unfinished"));
        });
        if (socket->bytesAvailable() > 0) readFrom(c);
    }
}

void AppleEventServer::readFrom(Connection* c) {
    if (c->reading || !c->socket) return;
    c->reading = true;
    while (c->socket && c->socket->bytesAvailable() > 0) {
        c->buffer.append(c->socket->readAll());
        for (;;) {
            AEWireFormat::FrameKind kind;
            AEDesc event;
            QString why;
            const auto status = AEWireFormat::takeFrame(c->buffer, &kind, &event, &why);
            if (status == AEWireFormat::Status::NeedMore) break;
            if (status == AEWireFormat::Status::Malformed) return drop(c, true, why);
            if (kind != AEWireFormat::FrameKind::Event)
                return drop(c, true, QStringLiteral("a client sent a reply frame"));
            const auto rtid = event.attributeDescriptorForKeyword(keyReturnIDAttr);
            if (!rtid || !rtid->coerceToDescriptorType(typeSInt32))
                return drop(c, true, QStringLiteral("event without a return ID"));
            const qint32 returnID = rtid->int32Value();
            QPointer<QLocalSocket> socket = c->socket;
            auto done = std::make_shared<std::atomic_bool>(false);
            QPointer<AppleEventServer> self(this);
            ReplyFunction reply = [self, socket, returnID, done](const AEDesc& r) {
                if (done->exchange(true)) return;
                if (!self) return;
                if (QThread::currentThread() == self->thread()) {
                    self->sendReply(socket, returnID, r);
                } else {
                    QMetaObject::invokeMethod(self.data(), [self, socket, returnID, r] {
                        if (self) self->sendReply(socket, returnID, r);
                    });
                }
            };
            if (handler_) {
                handler_(event, std::move(reply));
            } else {
                AEDesc r = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
                r.setParamDescriptor(AEDesc::int32(errAEEventNotHandled), keyErrorNumber);
                reply(r);
            }
            if (!c->socket) break;  // the handler's nested loop saw the client go
        }
    }
    c->reading = false;
    if (!c->socket || c->socket->state() == QLocalSocket::UnconnectedState)
        return drop(c, false, {});
    if (c->buffer.isEmpty())
        c->stall->stop();
    else
        c->stall->start(partialFrameTimeoutMs_);
}

void AppleEventServer::sendReply(QLocalSocket* socket, qint32 returnID, const AEDesc& reply) {
    if (!socket || socket->state() != QLocalSocket::ConnectedState) return;
    AEDesc r = reply;
    if (!r.isAppleEvent()) r = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    r.setAttributeDescriptor(AEDesc::int32(returnID), keyReturnIDAttr);
    auto frame = AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Reply, r);
    if (!frame) {
        AEDesc failed = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
        failed.setAttributeDescriptor(AEDesc::int32(returnID), keyReturnIDAttr);
        failed.setParamDescriptor(AEDesc::int32(errAEEventFailed), keyErrorNumber);
        failed.setParamDescriptor(AEDesc::unicodeText("The result is too large to send."),
                                  keyErrorString);
        frame = AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Reply, failed);
    }
    socket->write(*frame);
    socket->flush();
}

void AppleEventServer::drop(Connection* c, bool malformed, const QString& reason) {
    auto it = std::find_if(connections_.begin(), connections_.end(),
                           [c](const auto& p) { return p.get() == c; });
    if (it == connections_.end()) return;
    if (c->reading && !malformed) return;  // readFrom drops it when it is done
    if (c->stall) {
        c->stall->stop();
        c->stall->disconnect(this);
    }
    if (malformed) QVLog::log(QStringLiteral("Apple event connection closed: %1").arg(reason));
    QPointer<QLocalSocket> socket = c->socket;
    std::unique_ptr<Connection> owned = std::move(*it);
    connections_.erase(it);
    if (socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    emit connectionClosed(malformed, reason);
}
