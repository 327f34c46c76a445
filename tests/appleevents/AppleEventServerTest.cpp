#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTimer>

#include "WaitUntil.h"
#include "appleevents/AEWireFormat.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/AppleEventServer.h"
#include "support/TempHome.h"

using namespace AECodes;

namespace {

constexpr int kWait = 5000;

// Answers every event with its own event ID as the result, except 'hold'
// events, whose replies are kept for the test to send.
class ServerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(AppleEventServer::defaultSocketPath()));
        server.setHandler([this](const AEDesc& event, AppleEventServer::ReplyFunction reply) {
            if (event.eventID() == fourCC("hold")) {
                held.push_back({event, reply});
                return;
            }
            AEDesc r = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
            r.setParamDescriptor(AEDesc::typeCode(event.eventID()), keyDirectObject);
            reply(r);
        });
    }

    std::unique_ptr<AppleEventClient> connectClient() {
        auto client = std::make_unique<AppleEventClient>();
        EXPECT_TRUE(client->connectToServer(server.socketPath(), kWait));
        return client;
    }

    static AEDesc event(const char (&id)[5]) {
        return AEDesc::appleEvent(fourCC("test"), fourCC(id));
    }

    TempHome home;
    AppleEventServer server;
    std::vector<std::pair<AEDesc, AppleEventServer::ReplyFunction>> held;
};

QByteArray header(quint16 kind, quint32 length) {
    QByteArray h("RDAE");
    h.append(char(0)).append(char(1)).append(char(kind >> 8)).append(char(kind));
    for (int s = 24; s >= 0; s -= 8) h.append(char(length >> s));
    return h;
}

}  // namespace

TEST_F(ServerFixture, SocketLivesInAPrivateFolder) {
    EXPECT_EQ(server.socketPath(), home.runtimeDir() + "/relaydock/appleevents.sock");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(home.runtimeDir() + "/relaydock").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(QFile::encodeName(server.socketPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ServerFixture, PathComesFromOptionThenEnvironment) {
    EXPECT_EQ(AppleEventServer::socketPathFromArguments({"x", "--socket", "/a/b.sock"}),
              "/a/b.sock");
    EXPECT_EQ(AppleEventServer::socketPathFromArguments({"--socket=/c.sock"}), "/c.sock");
    qputenv("RELAYDOCK_SOCKET", "/env.sock");
    EXPECT_EQ(AppleEventServer::socketPathFromArguments({}), "/env.sock");
    qunsetenv("RELAYDOCK_SOCKET");
    EXPECT_EQ(AppleEventServer::socketPathFromArguments({}), server.socketPath());
}

TEST_F(ServerFixture, RefusesASecondServerAndReplacesAStaleSocket) {
    AppleEventServer second;
    QString error;
    EXPECT_FALSE(second.listen(server.socketPath(), &error));
    EXPECT_TRUE(error.contains("another server"));
    // A regular file in the way is never removed.
    const QString file = home.runtimeDir() + "/plain";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(second.listen(file));
    EXPECT_TRUE(QFileInfo::exists(file));
    // Once the first server is gone its leftover socket file is replaced.
    const QString path = server.socketPath();
    server.close();
    EXPECT_TRUE(second.listen(path));
}

TEST_F(ServerFixture, RepliesMatchTheirEventsInAnyOrder) {
    auto client = connectClient();
    std::vector<QString> answered;
    int done = 0;
    for (const char* label : {"one", "two"}) {
        client->send(event("hold"), kWait, [&, label](std::optional<AEDesc> reply, const QString&) {
            ASSERT_TRUE(reply.has_value());
            answered.push_back(QString(label) + "=" +
                               AppleEventClient::result(*reply)->stringValue());
            ++done;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return held.size() == 2u; }));
    // A third event is answered while the first two are still held.
    auto quick = client->sendAndWait(event("fast"), kWait);
    ASSERT_TRUE(quick.has_value());
    EXPECT_EQ(AppleEventClient::result(*quick)->typeCodeValue(), fourCC("fast"));

    auto answer = [](const QString& text) {
        AEDesc r = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
        r.setParamDescriptor(AEDesc::unicodeText(text), keyDirectObject);
        return r;
    };
    held[1].second(answer("second"));
    held[0].second(answer("first"));
    held[0].second(answer("again"));  // only the first reply counts
    ASSERT_TRUE(waitUntil([&] { return done == 2; }));
    EXPECT_EQ(answered, (std::vector<QString>{"two=second", "one=first"}));
}

TEST_F(ServerFixture, ReplyToAClientThatLeftIsDropped) {
    auto client = connectClient();
    client->send(event("hold"), kWait, [](std::optional<AEDesc>, const QString&) {});
    ASSERT_TRUE(waitUntil([&] { return held.size() == 1u; }));
    client.reset();
    ASSERT_TRUE(waitUntil([&] { return server.connectionCount() == 0; }));
    held[0].second(AEDesc::appleEvent(kCoreEventClass, kAEAnswer));  // must not crash
    auto next = connectClient();
    EXPECT_TRUE(next->sendAndWait(event("next"), kWait).has_value());
}

TEST_F(ServerFixture, TimeoutReportsNoReply) {
    auto client = connectClient();
    QString error;
    EXPECT_FALSE(client->sendAndWait(event("hold"), 10, &error).has_value());
    EXPECT_EQ(error, "timed out");
}

TEST_F(ServerFixture, MalformedFramesCloseOnlyTheirConnection) {
    const QByteArray good = *AEWireFormat::encodeDescriptor(event("good"));
    QByteArray deep;
    for (int i = 0; i < 10000; ++i)
        deep += QByteArray::fromHex("6c69737401") + QByteArray::fromHex("00000001");
    deep += QByteArray::fromHex("6e756c6c0000000000");
    QByteArray lyingList = QByteArray::fromHex("616576740374657374") + QByteArray("lies") +
                           QByteArray::fromHex("00000000") + QByteArray::fromHex("00000001") +
                           QByteArray("----") + QByteArray::fromHex("6c69737401000f4240") +
                           QByteArray::fromHex("6c6f6e67000000000400000001");
    const QByteArray noReturnID =
        *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, event("nort"));
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"truncated", header(1, quint32(good.size() - 5)) + good.left(good.size() - 5)},
        {"oversized", header(1, 0xfffffff0u)},
        {"unknown kind", header(7, quint32(good.size())) + good},
        {"reply from client", header(2, quint32(good.size())) + good},
        {"deep nesting", header(1, quint32(deep.size())) + deep},
        {"lying list", header(1, quint32(lyingList.size())) + lyingList},
        {"no return id", noReturnID},
        {"garbage", QByteArray(64, 'x')},
    };
    auto bystander = connectClient();
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        QSignalSpy closed(&server, &AppleEventServer::connectionClosed);
        auto bad = connectClient();
        bad->writeRaw(bytes);
        // "truncated" is a whole frame whose payload ends early, so every
        // case is complete and must be refused without more bytes.
        EXPECT_TRUE(bad->waitForDisconnected(kWait));
        // Clients of earlier rounds may be reported too; one refusal must be.
        int refused = 0;
        for (const auto& args : closed) refused += args.at(0).toBool() ? 1 : 0;
        EXPECT_EQ(refused, 1);
        auto reply = bystander->sendAndWait(event("ping"), kWait);
        ASSERT_TRUE(reply.has_value());
        auto fresh = connectClient();
        EXPECT_TRUE(fresh->sendAndWait(event("ping"), kWait).has_value());
    }
}

TEST_F(ServerFixture, AClientThatStopsMidFrameIsCutOff) {
    server.setPartialFrameTimeout(0);
    const QByteArray frame =
        *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, event("half"));
    auto bad = connectClient();
    QSignalSpy closed(&server, &AppleEventServer::connectionClosed);
    bad->writeRaw(frame.left(frame.size() / 2));
    EXPECT_TRUE(bad->waitForDisconnected(kWait));
    ASSERT_EQ(closed.size(), 1);
    EXPECT_EQ(closed.first().at(1).toString(), "frame left unfinished");
}
