#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QSignalSpy>

#include "appleevents/AEWireFormat.h"
#include "appleevents/AppleEventServer.h"
#include "appleevents/UserDefinedRecord.h"
#include "support/TempHome.h"
#include "support/Wait.h"

using namespace AECodes;

namespace {

qint64 peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray frameHeader(quint32 length) {
    QByteArray h("RDAE");
    h.append(char(0)).append(char(1)).append(char(0)).append(char(1));
    for (int s = 24; s >= 0; s -= 8) h.append(char(length >> s));
    return h;
}

}  // namespace

TEST(OversizedInput, AGigabyteFrameIsRefusedFromItsHeader) {
    // The header alone decides: nothing is buffered while waiting for a
    // gigabyte that is never going to be taken.
    QByteArray buffer = frameHeader(1u << 30);
    AEWireFormat::FrameKind kind;
    AEDesc event;
    QString why;
    EXPECT_EQ(AEWireFormat::takeFrame(buffer, &kind, &event, &why),
              AEWireFormat::Status::Malformed);
    EXPECT_FALSE(why.isEmpty());

    // Over the socket, the server hangs up on such a client at once.
    TempHome home;
    AppleEventServer server;
    ASSERT_TRUE(server.listen(AppleEventServer::defaultSocketPath()));
    QSignalSpy closed(&server, &AppleEventServer::connectionClosed);
    QLocalSocket client;
    client.connectToServer(server.socketPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(frameHeader(1u << 30) + QByteArray(4096, 'x'));
    client.flush();
    ASSERT_TRUE(waitUntil([&] { return !closed.isEmpty(); }, 10000));
    EXPECT_TRUE(closed.first().at(0).toBool());
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(OversizedInput, AHundredMegabyteMetadataRecord) {
    const QString value(50 * 1024 * 1024, QChar(u'\u00e9'));  // 100 MB as UTF-16
    const qint64 before = peakResidentKiB();
    {
        const QVariantMap metadata{{"com.apple.proapps.share.description", value}};
        AEDesc make = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
        AEDesc properties = AEDesc::recordDescriptor();
        properties.setDescriptor(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(metadata),
                                 fourCC("meta"));
        make.setParamDescriptor(properties, fourCC("prdt"));
        make.setAttributeDescriptor(AEDesc::int32(1), keyReturnIDAttr);

        // Too large for a frame: the editor's side cannot send it ...
        EXPECT_FALSE(AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, make));
        // ... and the conversions still take it whole when it comes from
        // within, in a small multiple of its size.
        const auto back = UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(
            *make.paramDescriptorForKeyword(fourCC("prdt"))->descriptorForKeyword(fourCC("meta")));
        EXPECT_EQ(back.value("com.apple.proapps.share.description").toString().size(),
                  value.size());
    }
    EXPECT_LT(peakResidentKiB() - before, 8 * 100 * 1024);
}
