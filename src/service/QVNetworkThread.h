#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

#include "platform/QVError.h"
#include "service/QVHttpConnection.h"

// What came back for one request: the body (also for HTTP error statuses,
// which are not failures of the transport), the HTTP status and, when the
// transport failed, its error in "NSURLErrorDomain" with the macOS codes.
struct QVNetworkResponse {
    QByteArray body;
    int statusCode = 0;
    QVErrorOpt error;
};

// The one thread that talks to the services. Plain HTTP goes over its own
// kept-alive connections (QVHttpConnection, at most six per host, more
// requests waiting their turn); HTTPS and proxied requests go through the
// QNetworkAccessManager it owns. Requests are handed to it from any thread;
// a synchronous send blocks only its caller, never the main event loop, so
// it is safe on the main thread too.
class QVNetworkThread {
  public:
    using Done = std::function<void(const QVNetworkResponse&)>;

    // The largest answer body taken in; a larger one fails with -1103
    // (NSURLErrorDataLengthExceedsMaximum) and no body.
    static constexpr qint64 kMaxResponseBytes = 32 * 1024 * 1024;

    static QVNetworkThread& shared();
    ~QVNetworkThread();
    QVNetworkThread(const QVNetworkThread&) = delete;
    QVNetworkThread& operator=(const QVNetworkThread&) = delete;

    // Sends the request; done runs on the network thread. After timeoutMs
    // without a complete answer the request fails with -1001, and an answer
    // above kMaxResponseBytes with -1103.
    void send(const QNetworkRequest& request, const QByteArray& method,
              const std::optional<QByteArray>& body, int timeoutMs, Done done);
    // Blocks the calling thread until the answer or the time-out.
    QVNetworkResponse sendAndWait(const QNetworkRequest& request, const QByteArray& method,
                                  const std::optional<QByteArray>& body, int timeoutMs);

    // Closes the idle keep-alive connections (a service that is about to
    // stop need not wait for them to time out). Blocks until done.
    void clearConnectionCache();

    // The macOS URL-loading error for a failure of Qt's transport; nothing
    // for replies that only carry an HTTP error status (the body decides).
    static QVErrorOpt transportError(QNetworkReply::NetworkError code, const QUrl& url);
    static QVError urlError(qint64 code, const QUrl& url);

  private:
    // One plain-HTTP request on its way (network thread only).
    struct Exchange;
    // The kept-alive connections to one host and port.
    struct Host {
        std::optional<bool> direct;  // no proxy stands in the way
        std::vector<QVHttpConnection*> idle;
        int busy = 0;
        std::deque<std::shared_ptr<Exchange>> waiting;
    };

    QVNetworkThread();
    // Runs task(context) on the network thread.
    void post(std::function<void(QObject*)> task);
    void runTasks();

    // Plain HTTP goes over this thread's own connections; everything else
    // (TLS, proxies) through Qt's manager.
    bool sendsPlain(const QUrl& url);
    void sendPlain(const QNetworkRequest& request, const QByteArray& method,
                   const std::optional<QByteArray>& body, int timeoutMs, Done done);
    void dispatch(const std::shared_ptr<Exchange>& exchange, bool fresh);
    void answered(const std::shared_ptr<Exchange>& exchange, QVHttpConnection* connection,
                  const QVHttpConnection::Result& result);
    void endExchange(const std::shared_ptr<Exchange>& exchange, const QVNetworkResponse& response);
    void retire(QVHttpConnection* connection);
    void pump(const QString& key);
    void closeIdleConnections();

    std::map<QString, Host> hosts_;

    std::mutex tasksMutex_;
    std::deque<std::function<void(QObject*)>> tasks_;

    QThread thread_;
    QObject* context_ = nullptr;  // lives in thread_; parent of the manager
};
