#include "appleevents/AppleEventClient.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

#include "appleevents/AEWireFormat.h"

using namespace AECodes;

AppleEventClient::AppleEventClient(QObject* parent) : QObject(parent) {}

AppleEventClient::~AppleEventClient() {
    if (socket_) socket_->disconnect(this);
    for (auto& [id, p] : pending_) delete p.timer;
    pending_.clear();
}

bool AppleEventClient::connectToServer(const QString& path, int timeoutMs, QString* error) {
    disconnectFromServer();
    socket_ = new QLocalSocket(this);
    socket_->connectToServer(path);
    if (!socket_->waitForConnected(timeoutMs)) {
        if (error) *error = socket_->errorString();
        delete socket_;
        socket_ = nullptr;
        return false;
    }
    connect(socket_, &QLocalSocket::readyRead, this, &AppleEventClient::readReplies);
    connect(socket_, &QLocalSocket::disconnected, this, [this] {
        failAll(QStringLiteral("connection closed"));
        emit disconnected();
    });
    return true;
}

void AppleEventClient::disconnectFromServer() {
    if (!socket_) return;
    socket_->disconnect(this);
    socket_->abort();
    socket_->deleteLater();
    socket_ = nullptr;
    buffer_.clear();
    failAll(QStringLiteral("disconnected"));
}

bool AppleEventClient::isConnected() const {
    return socket_ && socket_->state() == QLocalSocket::ConnectedState;
}

qint32 AppleEventClient::send(const AEDesc& event, int timeoutMs, Completion done) {
    if (!isConnected()) {
        done(std::nullopt, QStringLiteral("not connected"));
        return 0;
    }
    const qint32 returnID = nextReturnID_++;
    if (nextReturnID_ <= 0) nextReturnID_ = 1;
    AEDesc e = event;
    e.setAttributeDescriptor(AEDesc::int32(returnID), keyReturnIDAttr);
    const auto frame = AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, e);
    if (!frame) {
        done(std::nullopt, QStringLiteral("event too large or too deeply nested"));
        return 0;
    }
    Pending p;
    p.done = std::move(done);
    if (timeoutMs >= 0) {
        p.timer = new QTimer(this);
        p.timer->setSingleShot(true);
        connect(p.timer, &QTimer::timeout, this,
                [this, returnID] { finish(returnID, std::nullopt, QStringLiteral("timed out")); });
        p.timer->start(timeoutMs);
    }
    pending_.emplace(returnID, std::move(p));
    socket_->write(*frame);
    socket_->flush();
    return returnID;
}

std::optional<AEDesc> AppleEventClient::sendAndWait(const AEDesc& event, int timeoutMs,
                                                    QString* error) {
    QEventLoop loop;
    bool finished = false;
    std::optional<AEDesc> result;
    QString why;
    send(event, timeoutMs, [&](std::optional<AEDesc> reply, const QString& err) {
        result = std::move(reply);
        why = err;
        finished = true;
        loop.quit();
    });
    if (!finished) loop.exec();
    if (error) *error = why;
    return result;
}

void AppleEventClient::writeRaw(const QByteArray& bytes) {
    if (!socket_) return;
    socket_->write(bytes);
    socket_->flush();
}

bool AppleEventClient::waitForDisconnected(int timeoutMs) {
    if (!socket_ || socket_->state() == QLocalSocket::UnconnectedState) return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(socket_, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return !socket_ || socket_->state() == QLocalSocket::UnconnectedState;
}

void AppleEventClient::readReplies() {
    if (!socket_) return;
    buffer_.append(socket_->readAll());
    for (;;) {
        AEWireFormat::FrameKind kind;
        AEDesc reply;
        QString why;
        const auto status = AEWireFormat::takeFrame(buffer_, &kind, &reply, &why);
        if (status == AEWireFormat::Status::NeedMore) return;
        if (status == AEWireFormat::Status::Malformed || kind != AEWireFormat::FrameKind::Reply) {
            disconnectFromServer();
            failAll(QStringLiteral("malformed reply: ") + why);
            return;
        }
        const auto rtid = reply.attributeDescriptorForKeyword(keyReturnIDAttr);
        if (rtid) finish(rtid->int32Value(), reply, {});
        if (!socket_) return;
    }
}

void AppleEventClient::finish(qint32 returnID, std::optional<AEDesc> reply, const QString& error) {
    auto it = pending_.find(returnID);
    if (it == pending_.end()) return;
    Pending p = std::move(it->second);
    pending_.erase(it);
    if (p.timer) p.timer->deleteLater();
    p.done(std::move(reply), error);
}

void AppleEventClient::failAll(const QString& error) {
    while (!pending_.empty()) finish(pending_.begin()->first, std::nullopt, error);
}

int AppleEventClient::errorNumber(const AEDesc& reply) {
    const auto e = reply.paramDescriptorForKeyword(keyErrorNumber);
    return e ? e->int32Value() : 0;
}

QString AppleEventClient::errorString(const AEDesc& reply) {
    const auto e = reply.paramDescriptorForKeyword(keyErrorString);
    return e ? e->stringValue() : QString();
}

std::optional<AEDesc> AppleEventClient::result(const AEDesc& reply) {
    return reply.paramDescriptorForKeyword(keyDirectObject);
}
