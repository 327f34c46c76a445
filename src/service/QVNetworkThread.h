#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>

#include "platform/QVError.h"

// What came back for one request: the body (also for HTTP error statuses,
// which are not failures of the transport), the HTTP status and, when the
// transport failed, its error in "NSURLErrorDomain" with the macOS codes.
struct QVNetworkResponse {
    QByteArray body;
    int statusCode = 0;
    QVErrorOpt error;
};

// The one thread that owns the agent's QNetworkAccessManager. Requests are
// handed to it from any thread; a synchronous send blocks only its caller,
// never the main event loop, so it is safe on the main thread too.
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
    QVNetworkThread();
    // Runs task(context) on the network thread.
    void post(std::function<void(QObject*)> task);
    void runTasks();

    std::mutex tasksMutex_;
    std::deque<std::function<void(QObject*)>> tasks_;

    QThread thread_;
    QObject* context_ = nullptr;  // lives in thread_; parent of the manager
};
