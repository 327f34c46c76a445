#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include "platform/QVLog.h"
#include "service/QVNetworkThread.h"
#include "service/QVTesselUtil.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"
#include "support/Wait.h"

// The client against the real stand-in service: every decoding rule on
// answers that travel through HTTP, and the headers the service receives.
namespace {

using U = QVTesselUtil;

const QString kUser = QStringLiteral("local-user");
const QString kPassword = QStringLiteral("local-secret");

QJsonObject seed() {
    return QJsonObject{
        {"localuser", QJsonObject{{"id", kUser}, {"password", kPassword}}},
        {"libraries", QJsonArray{QJsonObject{
                          {"dbname", "demo"},
                          {"name", "Demo"},
                          {"desc", "d"},
                          {"type", 0},
                          {"projects", QJsonArray{QJsonObject{{"id", "p1"}, {"name", "One"}}}}}}}};
}

struct Answer {
    bool done = false;
    bool onMainThread = false;
    QVariant result;
    QVErrorOpt error;
};

class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        service_ =
            std::make_unique<TesselServiceProcess>(TesselServiceProcess::Options{.seed = seed()});
        ASSERT_TRUE(service_->start()) << service_->errorString().toStdString();
    }
    void TearDown() override {
        U::setRequestTimeout(60000);
        // Idle keep-alive connections would hold the service's shutdown.
        QVNetworkThread::shared().clearConnectionCache();
        service_.reset();
    }

    QUrl url(const QString& path) const { return QUrl(service_->baseUrl() + path); }

    Answer ask(const QString& path, const QString& method = "GET",
               const std::optional<QVariantMap>& params = std::nullopt,
               const QString& password = kPassword) {
        Answer answer;
        U::requestURL(url(path), kUser, password, method, params,
                      [&answer](const QVariant& result, const QVErrorOpt& error) {
                          answer.done = true;
                          answer.onMainThread =
                              QThread::currentThread() == QCoreApplication::instance()->thread();
                          answer.result = result;
                          answer.error = error;
                      });
        EXPECT_TRUE(waitUntil([&] { return answer.done; }));
        EXPECT_TRUE(answer.onMainThread);
        EXPECT_NE(answer.result.isValid(), answer.error.has_value());
        return answer;
    }

    void expectServiceError(const Answer& answer, qint64 code) {
        ASSERT_TRUE(answer.error);
        EXPECT_EQ(answer.error->domain, "QVTesselServiceErrorDomain");
        EXPECT_EQ(answer.error->code, code);
    }

    TempHome home_;
    std::unique_ptr<TesselServiceProcess> service_;
};

TEST_F(ServiceTest, SuccessEnvelopeComesBackWholeWithoutDBName) {
    const Answer answer = ask("/tessel/libraries/demo");
    ASSERT_FALSE(answer.error) << answer.error->localizedDescription().toStdString();
    const QVariantMap map = answer.result.toMap();
    EXPECT_EQ(U::integerValueFromObject(map.value("error")), 0);
    EXPECT_TRUE(map.contains("domain"));
    EXPECT_TRUE(map.contains("message"));
    EXPECT_FALSE(map.contains("dbname"));
    const QVariantList items = map.value("items").toList();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.first().toMap().value("dbname"), "demo");
}

TEST_F(ServiceTest, ErrorEnvelopeBecomesDomainCodeMessageAndDBName) {
    ASSERT_TRUE(service_->setFault("projects", "error", "3:Library is being rebuilt"));
    const Answer answer = ask("/tessel/libraries/demo/projects");
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.error->domain, "com.corvane.tessel");
    EXPECT_EQ(answer.error->code, 3);
    EXPECT_EQ(answer.error->localizedDescription(), "Library is being rebuilt");
    EXPECT_EQ(answer.error->userInfo.value("dbname"), "demo");
}

TEST_F(ServiceTest, MalformedAndForeignAnswers) {
    ASSERT_TRUE(service_->setFault("library", "nomessage"));
    expectServiceError(ask("/tessel/libraries/demo"), 14);
    ASSERT_TRUE(service_->setFault("library", "empty"));
    const Answer empty = ask("/tessel/libraries/demo");
    expectServiceError(empty, 14);
    EXPECT_EQ(empty.error->userInfo.value("dbname"), "demo");
    ASSERT_TRUE(service_->setFault("library", "array"));
    expectServiceError(ask("/tessel/libraries/demo"), 14);
    ASSERT_TRUE(service_->setFault("library", "html"));
    expectServiceError(ask("/tessel/libraries/demo"), 15);
}

TEST_F(ServiceTest, PropertyListAnswerGainsDBName) {
    ASSERT_TRUE(service_->setFault("projects", "plist"));
    const Answer answer = ask("/tessel/libraries/demo/projects");
    ASSERT_FALSE(answer.error) << answer.error->localizedDescription().toStdString();
    const QVariantMap map = answer.result.toMap();
    EXPECT_EQ(map.value("dbname"), "demo");
    EXPECT_EQ(map.value("projects").toList().size(), 1);
}

TEST_F(ServiceTest, HttpStatusIsNotTheVerdict) {
    ASSERT_TRUE(service_->setFault("library", "500"));
    const Answer answer = ask("/tessel/libraries/demo");
    EXPECT_FALSE(answer.error);
    EXPECT_EQ(answer.result.toMap().value("items").toList().size(), 1);
}

TEST_F(ServiceTest, RefusedCredentialsAreError26) {
    const Answer wrong = ask("/tessel/libraries/demo/projects", "GET", std::nullopt, "wrong");
    expectServiceError(wrong, 26);
    EXPECT_EQ(wrong.error->localizedDescription(),
              QString::fromUtf8("(kQVTesselServiceErrorDomain error 26. and The operation "
                                "couldn\u2019t be completed. (NSURLErrorDomain error -1012.))"));
    EXPECT_EQ(wrong.error->userInfo.value("dbname"), "demo");
    ASSERT_TRUE(service_->setFault("library", "401"));
    expectServiceError(ask("/tessel/libraries/demo"), 26);
}

TEST_F(ServiceTest, TransportFailures) {
    ASSERT_TRUE(service_->setFault("library", "drop"));
    const Answer dropped = ask("/tessel/libraries/demo");
    ASSERT_TRUE(dropped.error);
    EXPECT_EQ(dropped.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(dropped.error->code, -1005);

    U::setRequestTimeout(200);
    ASSERT_TRUE(service_->setFault("projects", "delay", "1500"));
    const Answer late = ask("/tessel/libraries/demo/projects");
    ASSERT_TRUE(late.error);
    EXPECT_EQ(late.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(late.error->code, -1001);
    EXPECT_FALSE(late.error->userInfo.contains("dbname"));

    const QUrl gone = url("/tessel/libraries/demo/projects");
    service_->stop();
    QVErrorOpt refused;
    EXPECT_FALSE(
        U::syncRequestURL(gone, kUser, kPassword, "GET", std::nullopt, &refused).isValid());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->domain, "NSURLErrorDomain");
    EXPECT_EQ(refused->code, -1004);
    EXPECT_FALSE(refused->userInfo.contains("dbname"));
}

TEST_F(ServiceTest, MissingPasswordNeverReachesTheService) {
    QVLog::Capture log;
    bool done = false;
    QVErrorOpt error;
    U::requestURL(url("/tessel/libraries/demo/assets/upload"), kUser, QString(), "GET",
                  std::nullopt, [&](const QVariant&, const QVErrorOpt& e) {
                      done = true;
                      error = e;
                  });
    ASSERT_TRUE(done);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "TESSEL Exporter SDK");
    EXPECT_EQ(error->code, 10000);
    EXPECT_EQ(service_->requests("upload-location").count, 0);
    EXPECT_FALSE(log.contains("Tessel Error:"));
}

TEST_F(ServiceTest, EveryRequestCarriesExactlyTheThreeHeaders) {
    ask("/tessel/libraries/demo");
    ask("/tessel/libraries/demo/assets/access", "POST",
        QVariantMap{{"items", QVariantList{QVariantMap{{"path", "/nowhere/a.mov"}}}}});
    const QByteArray authorization = "Basic " + (kUser + ":" + kPassword).toUtf8().toBase64();
    for (const QString endpoint : {"library", "access"}) {
        const auto record = service_->requests(endpoint);
        ASSERT_EQ(record.count, 1) << endpoint.toStdString();
        const QJsonObject headers = record.list.first().headers;
        EXPECT_EQ(headers.value("Authorization").toString().toUtf8(), authorization);
        EXPECT_EQ(headers.value("DeviceUUID").toString(), U::systemUUID());
        EXPECT_EQ(headers.value("ClientType").toString(), "Relaypost");
        for (const QString& name : headers.keys()) {
            EXPECT_NE(name.toLower(), "content-type") << endpoint.toStdString();
            EXPECT_NE(name.toLower(), "cookie");
        }
    }
    const auto access = service_->requests("access").list.first();
    EXPECT_EQ(access.method, "POST");
    EXPECT_TRUE(access.body.contains("\n    "));  // pretty-printed JSON
}

TEST_F(ServiceTest, SystemInfoFromTheMainThread) {
    ASSERT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    EXPECT_EQ(U::servicePort(), service_->port());  // from the service's preference file
    QVErrorOpt error;
    const QVariantMap info = U::syncRequestTesselSystemInfoWithError(&error).toMap();
    ASSERT_FALSE(error) << error->localizedDescription().toStdString();
    EXPECT_EQ(info.value("id"), kUser);
    EXPECT_EQ(info.value("password"), kPassword);
    const auto record = service_->requests("system");
    ASSERT_EQ(record.count, 1);
    EXPECT_FALSE(record.list.first().headers.contains("Authorization"));
    EXPECT_FALSE(record.list.first().headers.contains("DeviceUUID"));
    EXPECT_FALSE(record.list.first().headers.contains("ClientType"));
}

}  // namespace
