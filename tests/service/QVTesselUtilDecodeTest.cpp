#include <gtest/gtest.h>

#include "platform/PropertyList.h"
#include "platform/QVLog.h"
#include "service/QVNetworkThread.h"
#include "service/QVTesselUtil.h"

namespace {

using U = QVTesselUtil;

const QUrl kProjects(QStringLiteral("http://127.0.0.1:7662/tessel/libraries/Main%20Lib/projects"));
const QUrl kLibraries(QStringLiteral("http://127.0.0.1:7662/tessel/libraries?type=0"));

U::Outcome decode(const QUrl& url, const QByteArray& body) {
    return U::decodeResponse(url, body, std::nullopt);
}

void expectServiceError(const U::Outcome& outcome, qint64 code, const QVariant& dbName) {
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_FALSE(outcome.result.isValid());
    EXPECT_EQ(outcome.error->domain, "QVTesselServiceErrorDomain");
    EXPECT_EQ(outcome.error->code, code);
    EXPECT_EQ(outcome.error->userInfo.value("dbname"), dbName);
}

TEST(LibraryDBName, FourthPathComponentAfterLibraries) {
    EXPECT_EQ(U::libraryDBNameFromURL(kProjects), "Main Lib");
    EXPECT_EQ(U::libraryDBNameFromURL(QUrl("http://h:1/tessel/libraries/DB1")), "DB1");
    EXPECT_EQ(U::libraryDBNameFromURL(QUrl("http://h:1/tessel/libraries/DB1/assets/create")),
              "DB1");
    EXPECT_TRUE(U::libraryDBNameFromURL(kLibraries).isNull());
    EXPECT_TRUE(U::libraryDBNameFromURL(QUrl("http://h:1/tessel/libraries/")).isNull());
    EXPECT_TRUE(U::libraryDBNameFromURL(QUrl("http://h:1/tessel/system?id=X")).isNull());
    EXPECT_TRUE(U::libraryDBNameFromURL(QUrl("http://h:1/other/projects/DB1")).isNull());
}

TEST(DecodeResponse, SuccessEnvelopeIsHandedBackWhole) {
    const auto outcome = decode(kProjects, R"({"error":0,"domain":"tessel","message":"ok",
        "items":[{"dbname":"A"},{"n":null}]})");
    ASSERT_FALSE(outcome.error.has_value());
    const QVariantMap map = outcome.result.toMap();
    EXPECT_EQ(map.value("message"), "ok");
    EXPECT_EQ(map.value("domain"), "tessel");
    EXPECT_EQ(U::integerValueFromObject(map.value("error")), 0);
    EXPECT_FALSE(map.contains("dbname"));
    const QVariantList items = map.value("items").toList();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items.at(0).toMap().value("dbname"), "A");
    EXPECT_EQ(U::integerValueFromObject(items.at(1).toMap().value("n")), -1);  // JSON null
}

TEST(DecodeResponse, ErrorEnvelopeBecomesTheServicesError) {
    const auto outcome = decode(kProjects, R"({"error":3,"domain":"D","message":"M"})");
    ASSERT_TRUE(outcome.error.has_value());
    EXPECT_EQ(outcome.error->domain, "D");
    EXPECT_EQ(outcome.error->code, 3);
    EXPECT_EQ(outcome.error->localizedDescription(), "M");
    EXPECT_EQ(outcome.error->userInfo.value("dbname"), "Main Lib");
    // "error" as text with an integer reading counts too.
    const auto textual = decode(kLibraries, R"({"error":"35","domain":"D","message":"M"})");
    ASSERT_TRUE(textual.error.has_value());
    EXPECT_EQ(textual.error->code, 35);
    EXPECT_FALSE(textual.error->userInfo.contains("dbname"));
    EXPECT_FALSE(decode(kLibraries, R"({"error":"0","domain":"D","message":"M"})").error);
}

TEST(DecodeResponse, MalformedAnswersAreError14) {
    expectServiceError(decode(kProjects, R"({"error":0,"domain":"D"})"), 14, "Main Lib");
    expectServiceError(decode(kLibraries, R"({"domain":"D","message":"M"})"), 14, QVariant());
    expectServiceError(decode(kLibraries, R"({"error":0,"message":"M"})"), 14, QVariant());
    expectServiceError(decode(kLibraries, R"({"error":null,"domain":"D","message":"M"})"), 14,
                       QVariant());
    expectServiceError(decode(kLibraries, R"([{"error":0,"domain":"D","message":"M"}])"), 14,
                       QVariant());
    const auto empty = decode(kProjects, QByteArray());
    expectServiceError(empty, 14, "Main Lib");
    EXPECT_EQ(empty.error->localizedDescription(), "(kQVTesselServiceErrorDomain error 14.)");
}

TEST(DecodeResponse, NeitherJsonNorPropertyListIsError15) {
    const auto html = decode(kProjects, "<html><body><h1>502 Bad Gateway</h1></body></html>");
    expectServiceError(html, 15, "Main Lib");
    EXPECT_EQ(html.error->localizedDescription(), "(kQVTesselServiceErrorDomain error 15.)");
    expectServiceError(decode(kLibraries, "{\"error\":0,"), 15, QVariant());  // cut short
}

TEST(DecodeResponse, PropertyListsAreResults) {
    const QVariantMap projects{{"projects", QVariantList{QVariantMap{{"id", "P1"}}}}};
    const auto dictionary = decode(kProjects, PropertyList::toXml(projects));
    ASSERT_FALSE(dictionary.error.has_value());
    QVariantMap expected = projects;
    expected.insert("dbname", "Main Lib");
    EXPECT_EQ(dictionary.result.toMap(), expected);
    // Without a library in the URL nothing is added; other kinds pass unchanged.
    EXPECT_EQ(decode(kLibraries, PropertyList::toXml(projects)).result.toMap(), projects);
    const auto array = decode(kProjects, PropertyList::toXml(QVariantList{"a", qint64(2)}));
    ASSERT_FALSE(array.error.has_value());
    EXPECT_EQ(array.result.toList(), (QVariantList{"a", qint64(2)}));
}

TEST(DecodeResponse, TransportErrors) {
    const QVError refused = QVNetworkThread::urlError(-1004, kProjects);
    const auto passed = U::decodeResponse(kProjects, QByteArray(), refused);
    ASSERT_TRUE(passed.error.has_value());
    EXPECT_EQ(*passed.error, refused);  // unchanged, no "dbname"

    for (const qint64 code : {-1012, -1013}) {
        const QVError auth = QVNetworkThread::urlError(code, kProjects);
        const auto outcome = U::decodeResponse(kProjects, "ignored body", auth);
        expectServiceError(outcome, 26, "Main Lib");
        EXPECT_EQ(outcome.error->localizedDescription(),
                  QStringLiteral("(kQVTesselServiceErrorDomain error 26. and %1)")
                      .arg(auth.localizedDescription()));
    }
    // An authentication code of another domain is not a refusal of credentials.
    const QVError other = QVError::make("OtherDomain", -1012, "x");
    EXPECT_EQ(*U::decodeResponse(kProjects, QByteArray(), other).error, other);
}

TEST(TransportErrors, QtCodesMapToMacOSCodes) {
    using E = QNetworkReply;
    const auto code = [](E::NetworkError e) {
        const auto error = QVNetworkThread::transportError(e, kProjects);
        return error ? error->code : 0;
    };
    EXPECT_EQ(code(E::ConnectionRefusedError), -1004);
    EXPECT_EQ(code(E::HostNotFoundError), -1003);
    EXPECT_EQ(code(E::RemoteHostClosedError), -1005);
    EXPECT_EQ(code(E::TimeoutError), -1001);
    EXPECT_EQ(code(E::AuthenticationRequiredError), -1012);
    // HTTP statuses are answers, not failures of the transport.
    EXPECT_EQ(code(E::InternalServerError), 0);
    EXPECT_EQ(code(E::ContentNotFoundError), 0);
    EXPECT_EQ(code(E::ContentAccessDenied), 0);
    EXPECT_EQ(QVNetworkThread::transportError(E::ConnectionRefusedError, kProjects)->domain,
              "NSURLErrorDomain");
}

TEST(ErrorConstruction, CodesMessagesAndDomains) {
    const QVError sdk = U::errorWithCode(10000, "missing");
    EXPECT_EQ(sdk.domain, "TESSEL Exporter SDK");
    EXPECT_EQ(sdk.code, 10000);
    EXPECT_EQ(sdk.localizedDescription(), "missing");
    EXPECT_EQ(U::errorWithCode(7, "m", "D").domain, "D");
}

TEST(ErrorWithResponse, StatusRecords) {
    QVLog::Capture log;
    EXPECT_FALSE(U::errorWithResponse(QVariant()));
    EXPECT_FALSE(U::errorWithResponse(QVariantMap{{"items", QVariantList()}}));
    const QVariantMap ok{{"Status", QVariantMap{{"code", 0}, {"msg", "fine"}, {"domain", "D"}}}};
    EXPECT_FALSE(U::errorWithResponse(ok));

    const QVariantMap bad{{"Status", QVariantMap{{"code", "12"}, {"msg", "no"}, {"domain", "D"}}}};
    const auto error = U::errorWithResponse(bad);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 12);
    EXPECT_EQ(error->domain, "D");
    EXPECT_EQ(error->localizedDescription(), "no");

    const auto noCode = U::errorWithResponse(QVariantMap{{"Status", QVariantMap{{"msg", "m"}}}});
    ASSERT_TRUE(noCode);
    EXPECT_EQ(noCode->code, -1);

    // The first element with a non-zero code wins.
    const QVariantList list{QVariantMap{{"x", 1}}, ok,
                            QVariantMap{{"Status", QVariantMap{{"code", 4}, {"msg", "a"}}}},
                            QVariantMap{{"Status", QVariantMap{{"code", 5}, {"msg", "b"}}}}};
    const auto first = U::errorWithResponse(list);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, 4);
    EXPECT_TRUE(log.contains("array error result"));
    EXPECT_FALSE(U::errorWithResponse(QVariantList{ok}));

    EXPECT_FALSE(U::errorWithResponse(QVariantMap{{"Status", QVariantMap{{"code", 9}}}}));
    EXPECT_TRUE(log.contains("Exception occured ["));
}

}  // namespace
