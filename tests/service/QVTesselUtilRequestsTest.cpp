#include <iostream>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QTest>
#include <QThread>

#include "CannedHttpServer.h"
#include "platform/Localization.h"
#include "platform/MachineIdentity.h"
#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/DataTessel.h"
#include "service/QVTesselUtil.h"
#include "service/URLRequestTessel.h"
#include "support/TempHome.h"

namespace {

using U = QVTesselUtil;

const QByteArray kEnvelope = R"({"error":0,"domain":"tessel","message":"ok","items":[1,2]})";

// The header lines of a raw request, name (lower case) -> values.
QMultiMap<QByteArray, QByteArray> headersOf(const QByteArray& raw) {
    QMultiMap<QByteArray, QByteArray> headers;
    const QByteArray head = raw.left(raw.indexOf("\r\n\r\n"));
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    return headers;
}

QByteArray bodyOf(const QByteArray& raw) {
    return raw.mid(raw.indexOf("\r\n\r\n") + 4);
}

struct AsyncResult {
    bool done = false;
    bool onMainThread = false;
    QVariant result;
    QVErrorOpt error;
};

U::Completion recordInto(AsyncResult& out) {
    return [&out](const QVariant& result, const QVErrorOpt& error) {
        out.done = true;
        out.onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        out.result = result;
        out.error = error;
    };
}

QUrl urlFor(quint16 port, const QString& path) {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path));
}

class RequestsTest : public ::testing::Test {
  protected:
    void TearDown() override {
        U::setRequestTimeout(60000);
        U::setSystemInfoTimeout(5000);
    }
};

TEST(AuthenticatedRequest, CarriesExactlyTheThreeHeaders) {
    const QNetworkRequest request = URLRequestTessel::requestWithURL(
        QUrl("http://h:1/tessel/libraries"), "user", "", "UUID-1", "Relaypost");
    QList<QByteArray> names = request.rawHeaderList();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (QList<QByteArray>{"Authorization", "ClientType", "DeviceUUID"}));
    EXPECT_EQ(request.rawHeader("Authorization"), "Basic " + QByteArray("user:").toBase64());
    EXPECT_EQ(request.rawHeader("DeviceUUID"), "UUID-1");
    EXPECT_EQ(request.rawHeader("ClientType"), "Relaypost");
    EXPECT_FALSE(request.header(QNetworkRequest::ContentTypeHeader).isValid());

    const QString longUser(500, QChar('u'));
    const QByteArray value = URLRequestTessel::authorizationValue(longUser, QString(300, 'p'));
    EXPECT_FALSE(value.contains('\n'));
    EXPECT_EQ(DataTessel::base64Decoded(value.mid(6)),
              (longUser + ":" + QString(300, 'p')).toUtf8());
}

TEST(MachineIdentityUse, StableIdentitiesFreshUUIDs) {
    EXPECT_EQ(U::systemUUID(), MachineIdentity::platformUUID());
    EXPECT_EQ(U::systemUUID(), U::systemUUID());
    EXPECT_EQ(U::deviceSerialNumber(), MachineIdentity::serialNumber());
    const QString a = U::UUIDString();
    EXPECT_NE(a, U::UUIDString());
    EXPECT_EQ(a.size(), 36);
    EXPECT_EQ(a, a.toUpper());
}

TEST_F(RequestsTest, MissingArgumentsCompleteAtOnceWithoutSending) {
    CannedHttpServer server(CannedHttpServer::response(200, kEnvelope));
    const QUrl url = urlFor(server.port(), "/tessel/libraries/A/assets/upload");
    QVLog::Capture log;
    struct Case {
        QUrl url;
        QString user, password, method;
    };
    for (const Case& c : {Case{url, "u", QString(), "GET"}, Case{url, QString(), "p", "GET"},
                          Case{url, "u", "p", QString()}, Case{QUrl(), "u", "p", "GET"}}) {
        AsyncResult out;
        U::requestURL(c.url, c.user, c.password, c.method, std::nullopt, recordInto(out));
        ASSERT_TRUE(out.done);  // before requestURL returned, on this thread
        EXPECT_FALSE(out.result.isValid());
        ASSERT_TRUE(out.error);
        EXPECT_EQ(out.error->domain, "TESSEL Exporter SDK");
        EXPECT_EQ(out.error->code, 10000);
        EXPECT_EQ(out.error->localizedDescription(),
                  Localization::localizedString("request.error.param.nil"));
    }
    // A request that is sent afterwards is the first the server sees.
    AsyncResult sent;
    U::requestURL(url, "u", "p", "GET", std::nullopt, recordInto(sent));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent.done; }, 20000));
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(log.contains("Tessel Error:"));
}

TEST_F(RequestsTest, AsyncPostSendsHeadersAndPrettyJsonAndCompletesOnMain) {
    CannedHttpServer server(CannedHttpServer::response(200, kEnvelope));
    const QVariantMap params{{"items", QVariantList{QVariantMap{{"path", "/a b/c.mov"}}}}};
    AsyncResult out;
    U::requestURL(urlFor(server.port(), "/tessel/libraries/DB1/assets/access"), "editor",
                  QString::fromUtf8("pässwort"), "POST", params, recordInto(out));
    EXPECT_FALSE(out.done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.done; }, 20000));
    EXPECT_TRUE(out.onMainThread);
    ASSERT_FALSE(out.error) << out.error->localizedDescription().toStdString();
    EXPECT_EQ(out.result.toMap().value("items").toList().size(), 2);
    EXPECT_FALSE(out.result.toMap().contains("dbname"));

    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray raw = server.requests().first();
    EXPECT_TRUE(raw.startsWith("POST /tessel/libraries/DB1/assets/access HTTP/1.1\r\n"));
    const auto headers = headersOf(raw);
    EXPECT_EQ(
        headers.values("authorization"),
        QList<QByteArray>{"Basic " + QString::fromUtf8("editor:pässwort").toUtf8().toBase64()});
    EXPECT_EQ(headers.values("deviceuuid"), QList<QByteArray>{U::systemUUID().toUtf8()});
    EXPECT_EQ(headers.values("clienttype"), QList<QByteArray>{"Relaypost"});
    EXPECT_FALSE(headers.contains("content-type"));
    EXPECT_FALSE(headers.contains("cookie"));
    if (qEnvironmentVariableIsSet("SHOW_RAW")) std::cerr << raw.toStdString() << std::endl;
    const QByteArray body = bodyOf(raw);
    EXPECT_TRUE(body.contains('\n'));  // pretty-printed
    EXPECT_EQ(QJsonDocument::fromJson(body).toVariant().toMap(), params);
}

TEST_F(RequestsTest, GetWithoutParamsHasNoBody) {
    CannedHttpServer server(CannedHttpServer::response(200, kEnvelope));
    QVErrorOpt error;
    const QVariant result = U::syncRequestURL(urlFor(server.port(), "/tessel/libraries/DB1"), "u",
                                              "p", "GET", std::nullopt, &error);
    EXPECT_FALSE(error);
    EXPECT_TRUE(result.isValid());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(bodyOf(server.requests().first()).isEmpty());
    EXPECT_TRUE(server.requests().first().startsWith("GET /tessel/libraries/DB1 HTTP/1.1"));
}

TEST_F(RequestsTest, AsyncErrorsAreLoggedAndDelivered) {
    CannedHttpServer server(
        CannedHttpServer::response(404, R"({"error":7,"domain":"D","message":"gone"})"));
    QVLog::Capture log;
    AsyncResult out;
    U::requestURL(urlFor(server.port(), "/tessel/libraries/DB1/projects"), "u", "p", "GET",
                  std::nullopt, recordInto(out));
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.done; }, 20000));
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->code, 7);
    EXPECT_EQ(out.error->userInfo.value("dbname"), "DB1");
    EXPECT_FALSE(out.result.isValid());
    EXPECT_TRUE(log.contains("Tessel Error:Error Domain=D Code=7 \"gone\""));
}

TEST_F(RequestsTest, HungServiceTimesOutOnTheMainThreadWithoutDeadlock) {
    ASSERT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    CannedHttpServer hanging(QByteArray(), CannedHttpServer::Mode::Hang);
    U::setRequestTimeout(300);
    QVErrorOpt error;
    EXPECT_FALSE(U::syncRequestURL(urlFor(hanging.port(), "/tessel/libraries/DB1"), "u", "p", "GET",
                                   std::nullopt, &error)
                     .isValid());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "NSURLErrorDomain");
    EXPECT_EQ(error->code, -1001);
    EXPECT_FALSE(error->userInfo.contains("dbname"));

    AsyncResult out;
    U::requestURL(urlFor(hanging.port(), "/tessel/libraries/DB1"), "u", "p", "GET", std::nullopt,
                  recordInto(out));
    ASSERT_TRUE(QTest::qWaitFor([&] { return out.done; }, 20000));
    ASSERT_TRUE(out.error);
    EXPECT_EQ(out.error->code, -1001);
}

TEST_F(RequestsTest, SyncWithoutCredentialsIsAPlainRequest) {
    CannedHttpServer server(CannedHttpServer::response(200, kEnvelope));
    QVErrorOpt untouched = QVError::make("keep", 1);
    EXPECT_FALSE(U::syncRequestURL(QUrl(), "u", "p", "GET", std::nullopt, &untouched).isValid());
    EXPECT_EQ(untouched->domain, "keep");
    EXPECT_TRUE(U::syncRequestURL(urlFor(server.port(), "/tessel/libraries"), "u", QString(), "GET",
                                  std::nullopt)
                    .isValid());
    ASSERT_EQ(server.requests().size(), 1);
    const auto headers = headersOf(server.requests().first());
    EXPECT_FALSE(headers.contains("authorization"));
    EXPECT_FALSE(headers.contains("deviceuuid"));
    EXPECT_FALSE(headers.contains("clienttype"));
}

TEST_F(RequestsTest, SystemInfoAsksTheConfiguredLocalPort) {
    TempHome home;
    const QByteArray answer =
        R"({"error":0,"domain":"tessel","message":"ok","id":"local","password":"pw"})";
    CannedHttpServer server(CannedHttpServer::response(200, answer));
    QDir().mkpath(U::corvaneSupportPreferenceFolder());
    ASSERT_TRUE(PropertyList::writeFile(U::preferencePlist(),
                                        QVariantMap{{"PREF_SERVICE_PORT", qint64(server.port())}}));
    QVErrorOpt error = QVError::make("stale", 1);
    const QVariantMap withOut = U::syncRequestTesselSystemInfoWithError(&error).toMap();
    EXPECT_FALSE(error);
    const QVariantMap without = U::syncRequestTesselSystemInfoWithError().toMap();
    EXPECT_EQ(withOut, without);
    EXPECT_EQ(withOut.value("id"), "local");
    EXPECT_EQ(withOut.value("password"), "pw");
    ASSERT_EQ(server.requests().size(), 2);
    const QByteArray raw = server.requests().first();
    ASSERT_TRUE(raw.startsWith("GET /tessel/system?id="));
    const QByteArray target = raw.mid(4, raw.indexOf(' ', 4) - 4);
    EXPECT_EQ(QUrl::fromPercentEncoding(target.mid(target.indexOf('=') + 1)),
              U::deviceSerialNumber());
    EXPECT_FALSE(headersOf(raw).contains("authorization"));
}

}  // namespace
