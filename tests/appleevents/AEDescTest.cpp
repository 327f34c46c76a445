#include <gtest/gtest.h>

#include "appleevents/AEDesc.h"

using namespace AECodes;

TEST(AEDesc, ListItemsCountFromOneAndInsertAtPositions) {
    AEDesc list = AEDesc::listDescriptor();
    EXPECT_TRUE(list.insertDescriptor(AEDesc::int32(1), 0));
    EXPECT_TRUE(list.insertDescriptor(AEDesc::int32(3), 2));
    EXPECT_TRUE(list.insertDescriptor(AEDesc::int32(2), 2));
    EXPECT_FALSE(list.insertDescriptor(AEDesc::int32(9), 5));  // beyond count + 1
    ASSERT_EQ(list.numberOfItems(), 3);
    EXPECT_FALSE(list.descriptorAtIndex(0).has_value());
    EXPECT_FALSE(list.descriptorAtIndex(4).has_value());
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(list.descriptorAtIndex(i)->int32Value(), i);
    EXPECT_TRUE(list.removeDescriptorAtIndex(1));
    EXPECT_EQ(list.descriptorAtIndex(1)->int32Value(), 2);
}

TEST(AEDesc, RecordsKeepTheirTypeAndReplaceFieldsInPlace) {
    AEDesc rec = AEDesc::recordDescriptor(fourCC("aslc"));
    rec.setDescriptor(AEDesc::unicodeText("a"), fourCC("asbn"));
    rec.setDescriptor(AEDesc::boolean(true), fourCC("ashm"));
    rec.setDescriptor(AEDesc::unicodeText("b"), fourCC("asbn"));
    EXPECT_EQ(rec.descriptorType(), fourCC("aslc"));
    ASSERT_EQ(rec.numberOfItems(), 2);
    EXPECT_EQ(rec.keywordForDescriptorAtIndex(1), fourCC("asbn"));
    EXPECT_EQ(rec.descriptorForKeyword(fourCC("asbn"))->stringValue(), "b");
    EXPECT_FALSE(rec.descriptorForKeyword(fourCC("nope")).has_value());
    EXPECT_FALSE(rec.insertDescriptor(AEDesc::int32(1), 0));
}

TEST(AEDesc, AppleEventKeepsAttributesApartFromParameters) {
    AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    ev.setAttributeDescriptor(AEDesc::int32(0x20), keyInteractLevelAttr);
    ev.setParamDescriptor(AEDesc::typeCode(fourCC("aset")), fourCC("kocl"));
    EXPECT_EQ(ev.eventClass(), kAECoreSuite);
    EXPECT_EQ(ev.eventID(), kAECreateElement);
    EXPECT_EQ(ev.attributeDescriptorForKeyword(keyInteractLevelAttr)->int32Value(), 0x20);
    EXPECT_FALSE(ev.paramDescriptorForKeyword(keyInteractLevelAttr).has_value());
    EXPECT_EQ(ev.paramDescriptorForKeyword(fourCC("kocl"))->typeCodeValue(), fourCC("aset"));
    EXPECT_FALSE(AEDesc::listDescriptor().setAttributeDescriptor(AEDesc(), fourCC("inte")));
}

TEST(AEDesc, TextTypesDecodeAndCoerce) {
    const QString s = QString::fromUtf8("Zoë – 日本 🎬");
    EXPECT_EQ(AEDesc::unicodeText(s).stringValue(), s);
    EXPECT_EQ(AEDesc::utf8Text(s).stringValue(), s);
    EXPECT_EQ(AEDesc::unicodeText("").stringValue(), "");
    EXPECT_FALSE(AEDesc::unicodeText("").stringValue().isNull());
    // utxt travels as big-endian UTF-16 without a byte-order mark.
    EXPECT_EQ(AEDesc::unicodeText("A").data(), QByteArray("\0A", 2));
    EXPECT_EQ(AEDesc(typeChar, "caf\xe9").stringValue(), QString::fromUtf8("café"));
    EXPECT_EQ(AEDesc::int32(-5).stringValue(), "-5");
    EXPECT_EQ(AEDesc::boolean(true).stringValue(), "true");
    EXPECT_TRUE(AEDesc::listDescriptor().stringValue().isNull());
    EXPECT_TRUE(AEDesc::typeCode(fourCC("aset")).stringValue().isNull());
}

TEST(AEDesc, IntegerCoercionChecksRanges) {
    EXPECT_EQ(AEDesc::int64(5).int32Value(), 5);
    EXPECT_EQ(AEDesc::int64(-70000).int32Value(), -70000);
    EXPECT_EQ(AEDesc::int64(qint64(1) << 40).int32Value(), 0);  // does not fit
    EXPECT_EQ(AEDesc::uint32(0xffffffffu).int32Value(), 0);
    EXPECT_EQ(AEDesc::uint64(~quint64(0)).int64Value(), std::nullopt);
    EXPECT_EQ(AEDesc::int16(-2).int32Value(), -2);  // sign extended
    EXPECT_EQ(AEDesc::uint16(65535).int32Value(), 65535);
    EXPECT_EQ(AEDesc::unicodeText(" 42 ").int32Value(), 42);
    EXPECT_EQ(AEDesc::unicodeText("4x").int32Value(), 0);
    EXPECT_EQ(AEDesc::doubleValue(3.0).int32Value(), 3);
    EXPECT_EQ(AEDesc::doubleValue(3.5).int32Value(), 0);
    EXPECT_EQ(AEDesc::boolean(true).int32Value(), 1);
    EXPECT_EQ(AEDesc(typeSInt32, QByteArray("\1\2", 2)).int32Value(), 0);  // short data
    EXPECT_FALSE(AEDesc::int32(5).coerceToDescriptorType(typeUInt16 + 1).has_value());
    EXPECT_EQ(AEDesc::int32(-1).coerceToDescriptorType(typeUInt32), std::nullopt);
    EXPECT_EQ(AEDesc::int32(7).coerceToDescriptorType(typeSInt16), AEDesc::int16(7));
}

TEST(AEDesc, BooleansCodesAndFileURLs) {
    EXPECT_TRUE(AEDesc::boolean(true).booleanValue());
    EXPECT_FALSE(AEDesc::boolean(false).booleanValue());
    EXPECT_TRUE(AEDesc(typeTrue, {}).booleanValue());
    EXPECT_TRUE(AEDesc::int32(1).booleanValue());
    EXPECT_FALSE(AEDesc::int32(2).booleanValue());  // only 0 and 1 coerce
    EXPECT_TRUE(AEDesc::unicodeText("TRUE").booleanValue());

    EXPECT_EQ(AEDesc::enumCode(fourCC("ID  ")).typeCodeValue(), fourCC("ID  "));
    EXPECT_EQ(AEDesc::typeCode(fourCC("aset")).coerceToDescriptorType(typeEnumerated),
              AEDesc::enumCode(fourCC("aset")));
    EXPECT_EQ(AEDesc::int32(1).typeCodeValue(), 0u);

    const QUrl url = QUrl::fromLocalFile("/tmp/a folder/ü.mov");
    const AEDesc furl = AEDesc::fileURL(url);
    EXPECT_EQ(furl.descriptorType(), typeFileURL);
    EXPECT_EQ(furl.fileURLValue(), url);
    EXPECT_EQ(furl.fileURLValue().toLocalFile(), "/tmp/a folder/ü.mov");
    EXPECT_TRUE(AEDesc::unicodeText("file:///tmp").fileURLValue().isEmpty());
}

TEST(AEDesc, FourCharCodeText) {
    EXPECT_EQ(toString(fourCC("ID  ")), "ID  ");
    bool ok = false;
    EXPECT_EQ(fromString("aset", &ok), fourCC("aset"));
    EXPECT_TRUE(ok);
    EXPECT_EQ(fromString("toolong", &ok), 0u);
    EXPECT_FALSE(ok);
}
