#include "service/QVNetworkThread.h"

#include <future>
#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QTimer>

#include "service/QVTesselUtil.h"

namespace {

// The texts macOS gives these errors, so logs read the same on both.
QString urlErrorDescription(qint64 code) {
    switch (code) {
        case -999:
            return QStringLiteral("cancelled");
        case -1001:
            return QStringLiteral("The request timed out.");
        case -1002:
            return QStringLiteral("unsupported URL");
        case -1003:
            return QStringLiteral("A server with the specified hostname could not be found.");
        case -1004:
            return QStringLiteral("Could not connect to the server.");
        case -1005:
            return QStringLiteral("The network connection was lost.");
        case -1007:
            return QStringLiteral("too many HTTP redirects");
        case -1009:
            return QStringLiteral("The Internet connection appears to be offline.");
        case -1017:
            return QStringLiteral("cannot parse response");
        case -1103:
            return QStringLiteral("resource exceeds maximum size");
        case -1200:
            return QStringLiteral(
                "An SSL error has occurred and a secure connection to the server cannot be made.");
        default:
            return QStringLiteral(
                       "The operation couldn\u2019t be completed. (NSURLErrorDomain "
                       "error %1.)")
                .arg(code);
    }
}

// Qt's manager keeps six connections per host; so does the plain path, and
// more requests than that wait their turn.
constexpr int kConnectionsPerHost = 6;

QNetworkAccessManager* managerOf(QObject* context) {
    auto* manager =
        context->findChild<QNetworkAccessManager*>(QString(), Qt::FindDirectChildrenOnly);
    if (!manager) manager = new QNetworkAccessManager(context);
    return manager;
}

}  // namespace

QVNetworkThread& QVNetworkThread::shared() {
    static QVNetworkThread instance;
    return instance;
}

QVNetworkThread::QVNetworkThread() {
    thread_.setObjectName(QStringLiteral("Tessel.network"));
    context_ = new QObject;
    context_->moveToThread(&thread_);
    // The manager and its replies go with the context, on their own thread.
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

QVNetworkThread::~QVNetworkThread() {
    thread_.quit();
    thread_.wait();
}

QVError QVNetworkThread::urlError(qint64 code, const QUrl& url) {
    QVError error =
        QVError::make(QString::fromLatin1(kNSURLErrorDomain), code, urlErrorDescription(code));
    error.userInfo.insert(QStringLiteral("NSErrorFailingURLStringKey"), url.toString());
    return error;
}

QVErrorOpt QVNetworkThread::transportError(QNetworkReply::NetworkError code, const QUrl& url) {
    using E = QNetworkReply;
    switch (code) {
        case E::NoError:
            return std::nullopt;
        case E::ConnectionRefusedError:
        case E::ProxyConnectionRefusedError:
            return urlError(-1004, url);
        case E::RemoteHostClosedError:
        case E::ProxyConnectionClosedError:
            return urlError(-1005, url);
        case E::HostNotFoundError:
        case E::ProxyNotFoundError:
            return urlError(-1003, url);
        case E::TimeoutError:
        case E::ProxyTimeoutError:
            return urlError(-1001, url);
        case E::OperationCanceledError:
            return urlError(-999, url);
        case E::SslHandshakeFailedError:
            return urlError(-1200, url);
        case E::TemporaryNetworkFailureError:
        case E::NetworkSessionFailedError:
        case E::BackgroundRequestNotAllowedError:
            return urlError(-1009, url);
        case E::TooManyRedirectsError:
        case E::InsecureRedirectError:
            return urlError(-1007, url);
        // The service refused the credentials (HTTP 401): what the URL-loading
        // system reports when it gives up on the authentication challenge.
        case E::AuthenticationRequiredError:
            return urlError(-1012, url);
        case E::ProxyAuthenticationRequiredError:
            return urlError(-1013, url);
        case E::ProtocolUnknownError:
            return urlError(-1002, url);
        case E::ProtocolFailure:
        case E::ProtocolInvalidOperationError:
            return urlError(-1017, url);
        case E::UnknownNetworkError:
        case E::UnknownProxyError:
            return urlError(-1, url);
        default:
            // Every other code only restates an HTTP status (403, 404, 500,
            // ...): the answer arrived and its body is what counts.
            return std::nullopt;
    }
}

void QVNetworkThread::post(std::function<void(QObject*)> task) {
    {
        std::lock_guard lock(tasksMutex_);
        tasks_.push_back(std::move(task));
    }
    // The wake-up carries no data: the tasks travel through the locked queue,
    // where every thread (and ThreadSanitizer) sees them handed over.
    QMetaObject::invokeMethod(
        context_, [] { shared().runTasks(); }, Qt::QueuedConnection);
}

void QVNetworkThread::runTasks() {
    std::deque<std::function<void(QObject*)>> tasks;
    {
        std::lock_guard lock(tasksMutex_);
        tasks.swap(tasks_);
    }
    for (auto& task : tasks) task(context_);
}

struct QVNetworkThread::Exchange {
    QString key;
    QString host;
    quint16 port = 0;
    QUrl url;
    QByteArray head;
    QByteArray body;
    Done done;
    QTimer* timer = nullptr;
    QVHttpConnection* connection = nullptr;
    bool ended = false;
    bool retried = false;
};

bool QVNetworkThread::sendsPlain(const QUrl& url) {
    if (url.scheme() != QLatin1String("http") || url.host().isEmpty()) return false;
    // Where Qt's manager would use a proxy, it still does the work. Asked
    // once per host (the question reads and parses the environment): the
    // agent sets no proxy of its own, and its environment does not change.
    Host& host = hosts_[url.host() + QLatin1Char(':') + QString::number(url.port(80))];
    if (!host.direct) {
        const auto proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
        host.direct = proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy ||
                      proxies.first().type() == QNetworkProxy::DefaultProxy;
    }
    return *host.direct;
}

void QVNetworkThread::sendPlain(const QNetworkRequest& request, const QByteArray& method,
                                const std::optional<QByteArray>& body, int timeoutMs, Done done) {
    auto exchange = std::make_shared<Exchange>();
    const QUrl url = request.url();
    exchange->url = url;
    exchange->host = url.host();
    exchange->port = quint16(url.port(80));
    exchange->key = exchange->host + QLatin1Char(':') + QString::number(exchange->port);
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority |
                                      QUrl::RemoveFragment | QUrl::FullyEncoded);
    if (!target.startsWith('/')) target.prepend('/');
    QByteArray hostHeader = url.host(QUrl::FullyEncoded).toLatin1();
    if (hostHeader.contains(':')) hostHeader = '[' + hostHeader + ']';
    if (exchange->port != 80) hostHeader += ':' + QByteArray::number(exchange->port);
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QByteArray& name : request.rawHeaderList())
        headers.append({name, request.rawHeader(name)});
    exchange->head = QVHttpConnection::requestHead(method, target, hostHeader, headers,
                                                   body ? body->size() : -1);
    exchange->body = body.value_or(QByteArray());
    exchange->done = std::move(done);
    exchange->timer = new QTimer(context_);
    exchange->timer->setSingleShot(true);
    QObject::connect(exchange->timer, &QTimer::timeout, context_, [this, exchange] {
        if (exchange->ended) return;
        if (QVHttpConnection* connection = exchange->connection) {
            exchange->connection = nullptr;
            connection->abort();
            --hosts_[exchange->key].busy;
            retire(connection);
        }
        QVNetworkResponse response;
        response.error = urlError(-1001, exchange->url);
        endExchange(exchange, response);
        pump(exchange->key);
    });
    exchange->timer->start(std::max(0, timeoutMs));
    dispatch(exchange, false);
}

void QVNetworkThread::dispatch(const std::shared_ptr<Exchange>& exchange, bool fresh) {
    Host& host = hosts_[exchange->key];
    if (host.busy >= kConnectionsPerHost) {
        host.waiting.push_back(exchange);
        return;
    }
    QVHttpConnection* connection = nullptr;
    while (!fresh && !connection && !host.idle.empty()) {
        connection = host.idle.back();
        host.idle.pop_back();
        if (!connection->reusable()) {
            retire(connection);
            connection = nullptr;
        }
    }
    if (!connection)
        connection = new QVHttpConnection(exchange->host, exchange->port, kMaxResponseBytes);
    ++host.busy;
    exchange->connection = connection;
    connection->start(exchange->head, exchange->body,
                      [this, exchange, connection](const QVHttpConnection::Result& result) {
                          answered(exchange, connection, result);
                      });
}

void QVNetworkThread::answered(const std::shared_ptr<Exchange>& exchange,
                               QVHttpConnection* connection,
                               const QVHttpConnection::Result& result) {
    exchange->connection = nullptr;
    Host& host = hosts_[exchange->key];
    --host.busy;
    if (connection->reusable())
        host.idle.push_back(connection);
    else
        retire(connection);
    if (exchange->ended) return;
    if (result.staleConnection && !exchange->retried) {
        // A kept-alive connection the server had closed while it was idle:
        // the request never reached it, and goes again on a new one.
        exchange->retried = true;
        dispatch(exchange, true);
        return;
    }
    QVNetworkResponse response;
    response.statusCode = result.statusCode;
    response.body = result.body;
    if (result.errorCode != 0)
        response.error = urlError(result.errorCode, exchange->url);
    else if (result.statusCode == 401)
        response.error = transportError(QNetworkReply::AuthenticationRequiredError, exchange->url);
    else if (result.statusCode == 407)
        response.error =
            transportError(QNetworkReply::ProxyAuthenticationRequiredError, exchange->url);
    endExchange(exchange, response);
    pump(exchange->key);
}

void QVNetworkThread::endExchange(const std::shared_ptr<Exchange>& exchange,
                                  const QVNetworkResponse& response) {
    exchange->ended = true;
    if (exchange->timer) {
        exchange->timer->stop();
        exchange->timer->deleteLater();
        exchange->timer = nullptr;
    }
    Done done = std::move(exchange->done);
    if (done) done(response);
}

void QVNetworkThread::retire(QVHttpConnection* connection) {
    // The connection may be inside one of its own socket's signals.
    QMetaObject::invokeMethod(
        context_, [connection] { delete connection; }, Qt::QueuedConnection);
}

void QVNetworkThread::pump(const QString& key) {
    Host& host = hosts_[key];
    while (host.busy < kConnectionsPerHost && !host.waiting.empty()) {
        const auto next = host.waiting.front();
        host.waiting.pop_front();
        if (!next->ended) dispatch(next, false);
    }
}

void QVNetworkThread::closeIdleConnections() {
    for (auto& [key, host] : hosts_) {
        for (QVHttpConnection* connection : host.idle) retire(connection);
        host.idle.clear();
    }
}

void QVNetworkThread::send(const QNetworkRequest& request, const QByteArray& method,
                           const std::optional<QByteArray>& body, int timeoutMs, Done done) {
    post([this, request, method, body, timeoutMs,
          done = std::move(done)](QObject* context) mutable {
        if (sendsPlain(request.url())) {
            sendPlain(request, method, body, timeoutMs, std::move(done));
            return;
        }
        QNetworkRequest outgoing = request;
        // No cookies travel: a request carries exactly the headers its
        // builder set (plus what HTTP itself needs).
        outgoing.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        outgoing.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        QNetworkAccessManager* manager = managerOf(context);
        QNetworkReply* reply = body ? manager->sendCustomRequest(outgoing, method, *body)
                                    : manager->sendCustomRequest(outgoing, method);
        auto timedOut = std::make_shared<bool>(false);
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        });
        timer->start(std::max(0, timeoutMs));
        // An answer that announces or delivers more than the limit is cut off
        // at once, so that no service can make the agent hold it all.
        auto tooLarge = std::make_shared<bool>(false);
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, tooLarge](qint64 received, qint64 total) {
                             if (*tooLarge) return;
                             if (received > kMaxResponseBytes || total > kMaxResponseBytes) {
                                 *tooLarge = true;
                                 reply->abort();
                             }
                         });
        const QUrl url = outgoing.url();
        QObject::connect(reply, &QNetworkReply::finished, context,
                         [reply, timer, timedOut, tooLarge, url, done = std::move(done)] {
                             timer->stop();
                             QVNetworkResponse response;
                             response.statusCode =
                                 reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                             if (*tooLarge) {
                                 response.error = urlError(-1103, url);
                                 reply->deleteLater();
                                 if (done) done(response);
                                 return;
                             }
                             if (reply->isOpen()) response.body = reply->readAll();
                             response.error = *timedOut ? QVErrorOpt(urlError(-1001, url))
                                                        : transportError(reply->error(), url);
                             reply->deleteLater();
                             if (done) done(response);
                         });
    });
}

void QVNetworkThread::clearConnectionCache() {
    if (QThread::currentThread() == &thread_) {
        managerOf(context_)->clearConnectionCache();
        closeIdleConnections();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([this, done](QObject* context) {
        managerOf(context)->clearConnectionCache();
        closeIdleConnections();
        done->set_value();
    });
    finished.wait();
}

QVNetworkResponse QVNetworkThread::sendAndWait(const QNetworkRequest& request,
                                               const QByteArray& method,
                                               const std::optional<QByteArray>& body,
                                               int timeoutMs) {
    if (QThread::currentThread() == &thread_) {
        // Waiting here would stop the very loop that has to deliver the answer.
        QVNetworkResponse refused;
        refused.error = urlError(-1, request.url());
        return refused;
    }
    auto promise = std::make_shared<std::promise<QVNetworkResponse>>();
    std::future<QVNetworkResponse> future = promise->get_future();
    send(request, method, body, timeoutMs,
         [promise](const QVNetworkResponse& response) { promise->set_value(response); });
    // The network thread enforces the time-out itself; the extra margin only
    // guards against a network thread that can no longer run at all.
    const auto limit = std::chrono::milliseconds(std::max(0, timeoutMs) + 5000);
    if (future.wait_for(limit) == std::future_status::ready) return future.get();
    QVNetworkResponse timedOut;
    timedOut.error = urlError(-1001, request.url());
    return timedOut;
}
