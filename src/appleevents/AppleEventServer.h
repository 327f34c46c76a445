#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>

#include "appleevents/AEDesc.h"

class QLocalServer;
class QLocalSocket;

// Receives Apple events from any number of clients on a Unix socket and
// hands each to the handler on the thread the server lives on (the main
// thread in the agent). The handler answers through the reply function it is
// given, at once or much later (a suspended command), in any order; the reply
// goes back to the client that sent the event, tagged with its return ID. A
// connection that sends anything malformed is closed; nothing else is. A
// client that runs as another user is refused as it connects.
class AppleEventServer : public QObject {
    Q_OBJECT
  public:
    // Takes the reply event ('aevt'/'ansr' with the result or error
    // parameters); the server adds the return ID. Callable from any thread;
    // only the first call counts; a client that left is skipped quietly.
    using ReplyFunction = std::function<void(const AEDesc& reply)>;
    using Handler = std::function<void(const AEDesc& event, ReplyFunction reply)>;

    explicit AppleEventServer(QObject* parent = nullptr);
    ~AppleEventServer() override;

    // RELAYDOCK_SOCKET when set, else $XDG_RUNTIME_DIR/relaydock/appleevents.sock.
    static QString defaultSocketPath();
    // The value of "--socket PATH" or "--socket=PATH" in args, else the default.
    static QString socketPathFromArguments(const QStringList& args);

    // Creates a missing folder with mode 0700 (and tightens the default
    // folder to 0700), removes a stale socket file, refuses a path where
    // another server answers or where a file that is not a socket lies, and
    // gives the socket mode 0600.
    bool listen(const QString& path, QString* error = nullptr);
    void close();
    bool isListening() const;
    QString socketPath() const { return path_; }

    void setHandler(Handler handler) { handler_ = std::move(handler); }
    int connectionCount() const;
    // A client that stops in the middle of a frame for this long is cut off,
    // so that half-sent frames cannot pin connections forever.
    void setPartialFrameTimeout(int ms) { partialFrameTimeoutMs_ = ms; }

  signals:
    // A client connection ended; malformed tells whether the server closed it
    // because of what the client sent.
    void connectionClosed(bool malformed, const QString& reason);

  private:
    struct Connection;
    void acceptConnections();
    void readFrom(Connection* connection);
    void drop(Connection* connection, bool malformed, const QString& reason);
    void sendReply(QLocalSocket* socket, qint32 returnID, const AEDesc& reply);

    QLocalServer* server_ = nullptr;
    QString path_;
    Handler handler_;
    std::vector<std::unique_ptr<Connection>> connections_;
    int partialFrameTimeoutMs_ = 30000;
};
