// The network thread's own HTTP/1.1 client, against servers that frame,
// drop and mangle their answers in the ways real ones do.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include <QNetworkRequest>
#include <QUrl>

#include "CannedHttpServer.h"
#include "service/QVNetworkThread.h"

namespace {

QNetworkRequest requestTo(quint16 port, const QString& pathAndQuery = QStringLiteral("/x")) {
    QNetworkRequest request(
        QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(pathAndQuery)));
    request.setRawHeader("ClientType", "Relaypost");
    return request;
}

QVNetworkResponse get(quint16 port, int timeoutMs = 5000) {
    return QVNetworkThread::shared().sendAndWait(requestTo(port), "GET", std::nullopt, timeoutMs);
}

TEST(PlainHttp, EveryFramingOfAnAnswerComesBackWhole) {
    struct Case {
        const char* name;
        QByteArray reply;
    };
    const std::vector<Case> cases = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "2;ext=1\r\nhe\r\n3\r\nllo\r\n0\r\nTrailer: x\r\n\r\n"},
        {"until close", "HTTP/1.0 200 OK\r\n\r\nhello"},
        {"after an interim answer",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CannedHttpServer server(c.reply);
        const QVNetworkResponse response = get(server.port());
        EXPECT_FALSE(response.error) << response.error->localizedDescription().toStdString();
        EXPECT_EQ(response.statusCode, 200);
        EXPECT_EQ(response.body, "hello");
    }

    // The request itself: the target as the URL encodes it, the caller's
    // headers, HTTP's own framing, and nothing that invites compression.
    CannedHttpServer server(CannedHttpServer::response(200, "{}"));
    const QByteArray body = "{\"a\":1}";
    QNetworkRequest request =
        requestTo(server.port(), QStringLiteral("/libraries/Cut%2F2026/assets?id=%C3%84"));
    request.setRawHeader("DeviceUUID", "abc\r\nX-Injected: 1");
    const auto response = QVNetworkThread::shared().sendAndWait(request, "POST", body, 5000);
    ASSERT_FALSE(response.error);
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray sent = server.requests().first();
    EXPECT_TRUE(sent.startsWith("POST /libraries/Cut%2F2026/assets?id=%C3%84 HTTP/1.1\r\n"));
    EXPECT_TRUE(sent.contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n"));
    EXPECT_TRUE(sent.contains("\r\nClientType: Relaypost\r\n"));
    EXPECT_TRUE(sent.contains("\r\nContent-Length: 7\r\n"));
    EXPECT_TRUE(sent.endsWith("\r\n\r\n" + body));
    EXPECT_FALSE(sent.toLower().contains("accept-encoding"));
    EXPECT_TRUE(sent.contains("\r\nDeviceUUID: abc  X-Injected: 1\r\n"));
    EXPECT_FALSE(sent.contains("\r\nX-Injected"));
}

TEST(PlainHttp, AConnectionTheServerDroppedIsTriedAgainOnANewOne) {
    CannedHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
                            CannedHttpServer::Mode::DropSecond);
    const QVNetworkResponse first = get(server.port());
    ASSERT_FALSE(first.error);
    // The second request goes on the kept connection, which the server
    // closes on it; the client sends it again on a new connection.
    const QVNetworkResponse second = get(server.port());
    EXPECT_FALSE(second.error) << second.error->localizedDescription().toStdString();
    EXPECT_EQ(second.body, "ok");
    EXPECT_EQ(server.requests().size(), 3);
}

TEST(PlainHttp, MalformedAnswersCannotBeParsed) {
    const std::vector<QByteArray> replies = {
        "garbage\r\n\r\n",
        "HTTP/1.1 2x0 OK\r\nContent-Length: 0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nno colon here\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXX0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nX-Endless: " + QByteArray(70 * 1024, 'a'),
    };
    for (const QByteArray& reply : replies) {
        SCOPED_TRACE(reply.left(60).toStdString());
        CannedHttpServer server(reply, CannedHttpServer::Mode::KeepAlive);
        const QVNetworkResponse response = get(server.port(), 3000);
        ASSERT_TRUE(response.error);
        EXPECT_EQ(response.error->domain, "NSURLErrorDomain");
        EXPECT_EQ(response.error->code, -1017);
        EXPECT_TRUE(response.body.isEmpty());
    }
}

TEST(PlainHttp, RequestsBeyondTheConnectionLimitWaitTheirTurn) {
    // Every request gets its answer, however many are under way at once.
    {
        CannedHttpServer server(CannedHttpServer::response(200, "ok"));
        std::atomic<int> answered{0};
        std::atomic<int> failed{0};
        const int count = 20;
        for (int i = 0; i < count; ++i)
            QVNetworkThread::shared().send(requestTo(server.port()), "GET", std::nullopt, 10000,
                                           [&](const QVNetworkResponse& response) {
                                               if (response.error || response.body != "ok")
                                                   ++failed;
                                               ++answered;
                                           });
        for (int waited = 0; answered < count && waited < 1000; ++waited) QThread::msleep(10);
        EXPECT_EQ(answered.load(), count);
        EXPECT_EQ(failed.load(), 0);
    }
    // A request still waiting for a connection times out like any other.
    {
        CannedHttpServer server(QByteArray(), CannedHttpServer::Mode::Hang);
        std::atomic<int> timedOut{0};
        std::atomic<int> ended{0};
        const int count = 8;
        for (int i = 0; i < count; ++i)
            QVNetworkThread::shared().send(requestTo(server.port()), "GET", std::nullopt, 300,
                                           [&](const QVNetworkResponse& response) {
                                               if (response.error && response.error->code == -1001)
                                                   ++timedOut;
                                               ++ended;
                                           });
        for (int waited = 0; ended < count && waited < 500; ++waited) QThread::msleep(10);
        EXPECT_EQ(ended.load(), count);
        EXPECT_EQ(timedOut.load(), count);
    }
}

TEST(PlainHttp, AProxyTheEnvironmentNamesIsStillUsed) {
    CannedHttpServer proxy(CannedHttpServer::response(200, "via proxy"));
    qputenv("http_proxy", QByteArray("http://127.0.0.1:") + QByteArray::number(proxy.port()));
    const QNetworkRequest request(QUrl(QStringLiteral("http://relaydock-proxied.invalid/x")));
    const auto response = QVNetworkThread::shared().sendAndWait(request, "GET", std::nullopt, 5000);
    qunsetenv("http_proxy");
    ASSERT_FALSE(response.error) << response.error->localizedDescription().toStdString();
    EXPECT_EQ(response.body, "via proxy");
    ASSERT_EQ(proxy.requests().size(), 1);
    EXPECT_TRUE(proxy.requests().first().startsWith("GET http://relaydock-proxied.invalid/x "));
}

}  // namespace
