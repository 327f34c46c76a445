#pragma once

#include <functional>
#include <map>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QString>

#include "appleevents/AEDesc.h"

class QLocalSocket;
class QTimer;

// The sending side: connects to an AppleEventServer, sends events with fresh
// return IDs and matches replies to them, whatever their order.
class AppleEventClient : public QObject {
    Q_OBJECT
  public:
    // The reply event, or nothing and a reason (timeout, connection lost).
    using Completion = std::function<void(std::optional<AEDesc> reply, const QString& error)>;

    explicit AppleEventClient(QObject* parent = nullptr);
    ~AppleEventClient() override;

    bool connectToServer(const QString& path, int timeoutMs, QString* error = nullptr);
    void disconnectFromServer();
    bool isConnected() const;

    // Sends the event (a 'rtid' attribute is set on it) and calls done once,
    // on this object's thread, with the reply or the reason there is none.
    // Returns the return ID, or 0 when the event could not be sent.
    qint32 send(const AEDesc& event, int timeoutMs, Completion done);
    // Sends and runs a local event loop until the reply or the timeout. Works
    // in the server's own thread too, since the loop serves the server.
    std::optional<AEDesc> sendAndWait(const AEDesc& event, int timeoutMs, QString* error = nullptr);

    // Raw bytes, for exercising the server with hostile input.
    void writeRaw(const QByteArray& bytes);
    bool waitForDisconnected(int timeoutMs);

    // Reading replies: the error number (0 when none), the error text and the
    // direct result.
    static int errorNumber(const AEDesc& reply);
    static QString errorString(const AEDesc& reply);
    static std::optional<AEDesc> result(const AEDesc& reply);

  signals:
    void disconnected();

  private:
    struct Pending {
        Completion done;
        QTimer* timer = nullptr;
    };
    void readReplies();
    void finish(qint32 returnID, std::optional<AEDesc> reply, const QString& error);
    void failAll(const QString& error);

    QLocalSocket* socket_ = nullptr;
    QByteArray buffer_;
    qint32 nextReturnID_ = 1;
    std::map<qint32, Pending> pending_;
};
