#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include <QByteArray>
#include <QList>

// A loopback HTTP server on its own thread that answers every request with
// one canned reply or never answers, and records
// the raw requests it received (head and body, byte for byte). One
// connection at a time.
class CannedHttpServer {
  public:
    // Answer: one request per connection. KeepAlive: every request of a
    // connection. DropSecond: answers a connection's first request and
    // closes it when a second arrives, as a server that let an idle
    // connection go just as the client reused it.
    enum class Mode { Answer, Hang, KeepAlive, DropSecond };

    explicit CannedHttpServer(QByteArray reply, Mode mode = Mode::Answer);
    ~CannedHttpServer();
    CannedHttpServer(const CannedHttpServer&) = delete;
    CannedHttpServer& operator=(const CannedHttpServer&) = delete;

    quint16 port() const { return port_; }
    QList<QByteArray> requests() const;

    // A complete HTTP/1.1 response that closes the connection.
    static QByteArray response(int status, const QByteArray& body,
                               const QByteArray& contentType = "application/json");
    // A loopback port nobody listens on.
    static quint16 closedPort();

  private:
    void run();
    void serve(int fd);

    QByteArray reply_;
    Mode mode_;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    QList<QByteArray> requests_;
    std::thread thread_;
};
