// How the stand-in service holds its connections: the port it chose stays
// across a restart, and answers are not held back by Nagle's algorithm or
// by compression.
#include <gtest/gtest.h>

#include <QTcpSocket>

#include "HttpProbe.h"
#include "TestSeeds.h"
#include "support/ProcessSockets.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

TEST(TesselServiceConnection, RestartKeepsThePortTheServiceChose) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard()});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    const int port = service.port();
    ASSERT_GT(port, 0);
    service.stop();
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    EXPECT_EQ(service.port(), port);
    EXPECT_EQ(HttpProbe::get(service.baseUrl() + "/tessel/system?id=X").status, 200);
}

// cpp-httplib writes headers and body apart; the body of an answer on a
// kept-alive connection must not wait for the client's delayed ACK. Nor is
// a small answer compressed for a client that accepts it (as Qt's does):
// Brotli costs more CPU than the answer itself.
TEST(TesselServiceConnection, KeptAliveConnectionsSendWithoutDelay) {
    TempHome home;
    TesselServiceProcess service({.seed = TestSeeds::standard()});
    ASSERT_TRUE(service.start()) << service.errorString().toStdString();
    QTcpSocket client;
    client.connectToHost(service.address(), quint16(service.port()));
    ASSERT_TRUE(client.waitForConnected(10000));
    client.write("GET /tessel/system?id=X HTTP/1.1\r\nHost: x\r\n"
                 "Accept-Encoding: gzip, deflate, br\r\n\r\n");
    ASSERT_TRUE(client.waitForReadyRead(10000));
    while (!client.peek(64 * 1024).contains("\r\n\r\n") && client.waitForReadyRead(10000)) {
    }
    const QByteArray head = client.peek(64 * 1024).toLower();
    EXPECT_TRUE(head.contains("content-type: application/json")) << head.toStdString();
    EXPECT_FALSE(head.contains("content-encoding")) << head.toStdString();

    QString error;
    const auto connections =
        ProcessSockets::connections(service.processId(), client.localPort(), &error);
    if (!error.isEmpty()) GTEST_SKIP() << "cannot look into the service: " << error.toStdString();
    ASSERT_EQ(connections.size(), 1);
    EXPECT_TRUE(connections[0].noDelay);
}
