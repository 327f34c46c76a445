#include <gtest/gtest.h>

#include "appleevents/AEWireFormat.h"

using namespace AECodes;

namespace {

AEDesc sampleEvent() {
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    ev.setAttributeDescriptor(AEDesc::int32(7), keyReturnIDAttr);
    AEDesc props = AEDesc::recordDescriptor();
    props.setDescriptor(AEDesc::unicodeText("Clip"), fourCC("pnam"));
    AEDesc list = AEDesc::listDescriptor();
    list.insertDescriptor(AEDesc::utf8Text("k"), 0);
    list.insertDescriptor(AEDesc::fileURL(QUrl::fromLocalFile("/x y")), 0);
    AEDesc usr = AEDesc::recordDescriptor();
    usr.setDescriptor(list, keyASUserRecordFields);
    props.setDescriptor(usr, fourCC("meta"));
    ev.setParamDescriptor(props, fourCC("prdt"));
    ev.setParamDescriptor(AEDesc(), keyDirectObject);
    return ev;
}

QByteArray header(quint16 kind, quint32 length) {
    QByteArray h("RDAE");
    h.append(char(0)).append(char(1));
    h.append(char(kind >> 8)).append(char(kind));
    for (int s = 24; s >= 0; s -= 8) h.append(char(length >> s));
    return h;
}

QByteArray u32(quint32 v) {
    QByteArray b;
    for (int s = 24; s >= 0; s -= 8) b.append(char(v >> s));
    return b;
}

}  // namespace

TEST(AEWireFormat, RoundTripsEveryKindOfDescriptor) {
    const AEDesc ev = sampleEvent();
    QByteArray buffer = *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, ev);
    buffer += *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Reply, ev);
    AEWireFormat::FrameKind kind;
    AEDesc out;
    ASSERT_EQ(AEWireFormat::takeFrame(buffer, &kind, &out), AEWireFormat::Status::Frame);
    EXPECT_EQ(kind, AEWireFormat::FrameKind::Event);
    EXPECT_EQ(out, ev);
    ASSERT_EQ(AEWireFormat::takeFrame(buffer, &kind, &out), AEWireFormat::Status::Frame);
    EXPECT_EQ(kind, AEWireFormat::FrameKind::Reply);
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(AEWireFormat::takeFrame(buffer, &kind, &out), AEWireFormat::Status::NeedMore);
}

TEST(AEWireFormat, PartialFramesWaitForTheRest) {
    const QByteArray frame =
        *AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, sampleEvent());
    QByteArray buffer;
    AEWireFormat::FrameKind kind;
    AEDesc out;
    for (int i = 0; i < frame.size() - 1; ++i) {
        buffer.append(frame.at(i));
        ASSERT_EQ(AEWireFormat::takeFrame(buffer, &kind, &out), AEWireFormat::Status::NeedMore)
            << i;
    }
    buffer.append(frame.back());
    EXPECT_EQ(AEWireFormat::takeFrame(buffer, &kind, &out), AEWireFormat::Status::Frame);
}

TEST(AEWireFormat, RefusesMalformedFrames) {
    const QByteArray good = *AEWireFormat::encodeDescriptor(sampleEvent());
    auto status = [](QByteArray buffer) {
        AEWireFormat::FrameKind kind;
        AEDesc out;
        QString error;
        const auto s = AEWireFormat::takeFrame(buffer, &kind, &out, &error);
        if (s == AEWireFormat::Status::Malformed) {
            EXPECT_FALSE(error.isEmpty());
        }
        return s;
    };
    using S = AEWireFormat::Status;
    EXPECT_EQ(status("GET / HTTP/1.1\r\n"), S::Malformed);
    EXPECT_EQ(status("RDAX"), S::Malformed);
    QByteArray v2 = header(1, 0);
    v2[5] = 2;
    EXPECT_EQ(status(v2), S::Malformed);
    EXPECT_EQ(status(header(3, quint32(good.size())) + good), S::Malformed);  // unknown kind
    EXPECT_EQ(status(header(1, 0xfffffff0u)), S::Malformed);                  // oversized
    EXPECT_EQ(status(header(1, AEWireFormat::kMaxPayload + 1)), S::Malformed);
    // A payload that ends inside a descriptor, although the frame is whole.
    EXPECT_EQ(status(header(1, quint32(good.size() - 3)) + good.left(good.size() - 3)),
              S::Malformed);
    // Trailing garbage inside the frame.
    EXPECT_EQ(status(header(1, quint32(good.size() + 1)) + good + "x"), S::Malformed);
    // A scalar instead of an Apple event.
    const QByteArray scalar = *AEWireFormat::encodeDescriptor(AEDesc::int32(1));
    EXPECT_EQ(status(header(1, quint32(scalar.size())) + scalar), S::Malformed);
}

TEST(AEWireFormat, RefusesLyingCountsAndLengths) {
    // A list that claims a million items but holds one.
    QByteArray list = u32(typeAEList) + QByteArray(1, 1) + u32(1000000) +
                      *AEWireFormat::encodeDescriptor(AEDesc::int32(1));
    QString error;
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(list, &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    // Scalar data longer than the bytes present.
    QByteArray scalar = u32(typeSInt32) + QByteArray(1, 0) + u32(0x7fffffff) + "abcd";
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(scalar).has_value());
    // Unknown tag.
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(u32(typeSInt32) + QByteArray(1, 9) + u32(0)));
    // A 'list' tag with another type would not survive a round trip.
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(u32(typeAERecord) + QByteArray(1, 1) + u32(0)));
}

TEST(AEWireFormat, BoundsNesting) {
    auto nested = [](int depth) {
        QByteArray bytes;
        for (int i = 0; i < depth; ++i) bytes += u32(typeAEList) + QByteArray(1, 1) + u32(1);
        bytes += u32(typeNull) + QByteArray(1, 0) + u32(0);
        return bytes;
    };
    EXPECT_TRUE(AEWireFormat::decodeDescriptor(nested(AEWireFormat::kMaxDepth)).has_value());
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(nested(AEWireFormat::kMaxDepth + 1)).has_value());
    EXPECT_FALSE(AEWireFormat::decodeDescriptor(nested(10000)).has_value());

    AEDesc deep;
    for (int i = 0; i <= AEWireFormat::kMaxDepth; ++i) {
        AEDesc l = AEDesc::listDescriptor();
        l.insertDescriptor(deep, 0);
        deep = l;
    }
    EXPECT_FALSE(AEWireFormat::encodeDescriptor(deep).has_value());
}

TEST(AEWireFormat, MatchesTheDocumentedExampleFrame) {
    AEDesc ev = AEDesc::appleEvent(kCoreEventClass, kAEReopenApplication);
    ev.setAttributeDescriptor(AEDesc::int32(1), keyReturnIDAttr);
    const QByteArray expected = QByteArray::fromHex(
        "52444145000100010000002661657674036165767472617070000000017274696"
        "46c6f6e67000000000400000001"
        "00000000");
    EXPECT_EQ(AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Event, ev)->toHex(),
              expected.toHex());
}
