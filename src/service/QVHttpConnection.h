#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

class QTcpSocket;

// One plain-HTTP/1.1 connection to a host, driven on the thread it was made
// on: a request at a time, kept alive between them.
//
// Qt's own HTTP client hands every request to an internal thread and the
// answer back again, two hand-overs per request that cost the service's
// registrations about a millisecond each on a two-core machine. This class
// talks to the socket from the network thread itself.
class QVHttpConnection {
  public:
    struct Result {
        int statusCode = 0;
        QByteArray body;
        // An "NSURLErrorDomain" code, or 0 when an answer arrived whole.
        qint64 errorCode = 0;
        // The connection closed or failed before a byte of the answer came,
        // on a connection that had already served a request: the server
        // most likely dropped it while it was idle, and a new connection may
        // send the request again.
        bool staleConnection = false;
    };
    using Finished = std::function<void(const Result&)>;

    QVHttpConnection(const QString& host, quint16 port, qint64 maxBodyBytes);
    ~QVHttpConnection();
    QVHttpConnection(const QVHttpConnection&) = delete;
    QVHttpConnection& operator=(const QVHttpConnection&) = delete;

    // True while no request is under way and the connection may take one.
    bool reusable() const;

    // Sends `head` (request line and headers, ending in an empty line) and
    // `body`; done runs once, on this thread, after which the connection
    // is reusable() or not.
    void start(const QByteArray& head, const QByteArray& body, Finished done);
    // Ends the request under way without calling done, and the connection.
    void abort();

    // The request head for url's path and query, with `headers` as given
    // (name and value pairs) and what HTTP/1.1 itself needs.
    static QByteArray requestHead(const QByteArray& method, const QByteArray& target,
                                  const QByteArray& hostHeader,
                                  const QList<QPair<QByteArray, QByteArray>>& headers,
                                  qint64 bodyLength);

  private:
    enum class State {
        Idle,
        Connecting,
        Head,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailers,
        UntilClose,
        Closed
    };

    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError(int socketError);
    void parse();
    // False when the head is malformed; the state says what follows it.
    bool parseHead(const QByteArray& head);
    bool takeBody(qsizetype count);
    // Takes what has come of the remaining_ bytes; true once all have (false
    // too when the body grew past the limit and the request failed).
    bool takeRemaining();
    bool takeLine(QByteArray* line);
    void finish(qint64 errorCode);
    void fail(qint64 errorCode);

    QString host_;
    quint16 port_ = 0;
    qint64 maxBody_ = 0;
    QTcpSocket* socket_ = nullptr;
    State state_ = State::Idle;
    bool served_ = false;    // an answer came on this connection before
    bool received_ = false;  // a byte of the current answer came
    bool keepAlive_ = true;
    bool noBody_ = false;
    QByteArray pending_;  // what is to be written once connected
    QByteArray in_;       // read and not yet parsed
    qint64 remaining_ = 0;
    Result result_;
    Finished done_;
};
