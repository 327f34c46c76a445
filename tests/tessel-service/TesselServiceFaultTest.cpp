// Injected faults and the log of requests received.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include "HttpProbe.h"
#include "TestSeeds.h"
#include "platform/PropertyList.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

namespace {

class TesselServiceFaults : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service.start()) << service.errorString().toStdString(); }
    HttpProbe::Result projects() {
        return HttpProbe::get(service.baseUrl() + "/tessel/libraries/main/projects", "local-user",
                              "local-pass");
    }
    TempHome home;
    TesselServiceProcess service{{.seed = TestSeeds::standard()}};
};

}  // namespace

TEST_F(TesselServiceFaults, ErrorEnvelopeCarriesTheGivenCode) {
    ASSERT_TRUE(service.setFault("projects", "error", "35"));
    const QJsonObject json = projects().json();
    EXPECT_EQ(json.value("error").toInt(), 35);
    EXPECT_FALSE(json.value("domain").toString().isEmpty());
    EXPECT_FALSE(json.value("message").toString().isEmpty());
    EXPECT_FALSE(json.contains("projects"));

    ASSERT_TRUE(service.setFault("projects", "error", "3:Library is busy"));
    EXPECT_EQ(projects().json().value("message").toString(), "Library is busy");
}

TEST_F(TesselServiceFaults, MalformedBodies) {
    ASSERT_TRUE(service.setFault("projects", "nomessage"));
    QJsonObject json = projects().json();
    EXPECT_EQ(json.value("error").toInt(-1), 0);
    EXPECT_FALSE(json.contains("message"));
    EXPECT_TRUE(json.contains("projects"));

    ASSERT_TRUE(service.setFault("projects", "empty"));
    auto answer = projects();
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.isEmpty());

    ASSERT_TRUE(service.setFault("projects", "html"));
    answer = projects();
    EXPECT_TRUE(answer.body.startsWith("<!DOCTYPE html>"));
    EXPECT_TRUE(QJsonDocument::fromJson(answer.body).isNull());

    ASSERT_TRUE(service.setFault("projects", "array"));
    answer = projects();
    EXPECT_TRUE(answer.contentType.startsWith("text/plain"));
    EXPECT_TRUE(QJsonDocument::fromJson(answer.body).isArray());
}

TEST_F(TesselServiceFaults, PlistAnswerIsTheSameEnvelopeAsAPropertyList) {
    ASSERT_TRUE(service.setFault("projects", "plist"));
    const auto answer = projects();
    EXPECT_TRUE(QJsonDocument::fromJson(answer.body).isNull());
    const auto value = PropertyList::read(answer.body);
    ASSERT_TRUE(value.has_value());
    const QVariantMap map = value->toMap();
    EXPECT_EQ(map.value("error").toInt(), 0);
    const QVariantList list = map.value("projects").toList();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toMap().value("group").toList()[0].toMap().value("id").toString(), "grp-a1");
}

TEST_F(TesselServiceFaults, HttpStatusFaults) {
    ASSERT_TRUE(service.setFault("libraries", "401"));
    EXPECT_EQ(
        HttpProbe::get(service.baseUrl() + "/tessel/libraries?type=0", "local-user", "local-pass")
            .status,
        401);
    // 500 with a valid success envelope and the endpoint's fields.
    ASSERT_TRUE(service.setFault("projects", "500"));
    const auto answer = projects();
    EXPECT_EQ(answer.status, 500);
    EXPECT_EQ(answer.json().value("error").toInt(-1), 0);
    EXPECT_EQ(answer.json().value("projects").toArray().size(), 2);
}

TEST_F(TesselServiceFaults, DroppedConnectionAndDelay) {
    ASSERT_TRUE(service.setFault("projects", "drop"));
    const auto dropped = projects();
    EXPECT_NE(dropped.error, QNetworkReply::NoError);
    EXPECT_NE(dropped.error, QNetworkReply::AuthenticationRequiredError);

    ASSERT_TRUE(service.setFault("projects", "delay", "20"));
    EXPECT_EQ(projects().json().value("error").toInt(-1), 0);
}

TEST_F(TesselServiceFaults, OneShotFaultsClearThemselvesAndClearingWorks) {
    ASSERT_TRUE(service.setFault("projects", "error", "14", 2));
    EXPECT_EQ(projects().json().value("error").toInt(), 14);
    EXPECT_EQ(projects().json().value("error").toInt(), 14);
    EXPECT_EQ(projects().json().value("error").toInt(-1), 0);

    ASSERT_TRUE(service.setFault("projects", "html"));
    ASSERT_TRUE(service.clearFault("projects"));
    EXPECT_EQ(projects().json().value("error").toInt(-1), 0);
    ASSERT_TRUE(service.setFault("system", "empty"));
    ASSERT_TRUE(service.clearFaults());
    EXPECT_EQ(
        HttpProbe::get(service.baseUrl() + "/tessel/system?id=1").json().value("error").toInt(-1),
        0);

    EXPECT_FALSE(service.setFault("nosuch", "html"));
    EXPECT_FALSE(service.setFault("projects", "nosuch"));
    EXPECT_FALSE(service.setFault("projects", "delay", "soon"));
}

TEST(TesselServiceFaultOptions, FaultsFromTheCommandLine) {
    TempHome home;
    TesselServiceProcess service(
        {.seed = TestSeeds::standard(), .faults = {"access=error:35", "system=nomessage@1"}});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    const auto access = HttpProbe::post(service.baseUrl() + "/tessel/libraries/main/assets/access",
                                        R"({"items":[{"path":"/"}]})", "local-user", "local-pass");
    EXPECT_EQ(access.json().value("error").toInt(), 35);
    const QString system = service.baseUrl() + "/tessel/system?id=1";
    EXPECT_FALSE(HttpProbe::get(system).json().contains("message"));
    EXPECT_TRUE(HttpProbe::get(system).json().contains("message"));

    TesselServiceProcess bad({.seed = TestSeeds::standard(), .faults = {"create=sometimes"}});
    EXPECT_FALSE(bad.start());
}

TEST_F(TesselServiceFaults, CountsRequestsPerEndpointWithTheirHeaders) {
    EXPECT_EQ(service.requests("projects").count, 0);
    projects();
    ASSERT_TRUE(service.setFault("projects", "drop"));
    projects();  // faulty answers are counted too
    const auto projectCalls = service.requests("projects");
    ASSERT_EQ(projectCalls.count, 2);
    const QJsonObject headers = projectCalls.list[0].headers;
    EXPECT_EQ(headers.value("ClientType").toString(), "Relaypost");
    EXPECT_EQ(headers.value("DeviceUUID").toString(), "00000000-1111-2222-3333-444444444444");
    EXPECT_TRUE(headers.value("Authorization").toString().startsWith("Basic "));
    EXPECT_EQ(projectCalls.list[0].method, "GET");
    EXPECT_EQ(projectCalls.list[0].path, "/tessel/libraries/main/projects");

    // An empty list is a question with nothing to check, not an error.
    EXPECT_EQ(HttpProbe::post(service.baseUrl() + "/tessel/libraries/main/assets/access",
                              R"({"items":[]})", "local-user", "local-pass")
                  .json()
                  .value("failures"),
              QJsonArray{});
    const auto access = service.requests("access");
    ASSERT_EQ(access.count, 1);
    EXPECT_EQ(access.list[0].body, R"({"items":[]})");
    EXPECT_EQ(service.requests("create").count, 0);

    ASSERT_TRUE(service.clearRequests());
    EXPECT_EQ(service.requests("projects").count, 0);
}
