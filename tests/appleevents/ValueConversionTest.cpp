#include <gtest/gtest.h>

#include <QUrl>

#include "appleevents/GenericObject.h"
#include "appleevents/URLValue.h"
#include "appleevents/UserDefinedRecord.h"
#include "appleevents/UserList.h"
#include "platform/QVLog.h"

using namespace AECodes;

namespace {

AEDesc usrf(const QList<AEDesc>& items) {
    AEDesc list = AEDesc::listDescriptor();
    for (const auto& i : items) list.insertDescriptor(i, 0);
    AEDesc rec = AEDesc::recordDescriptor();
    rec.setDescriptor(list, keyASUserRecordFields);
    return rec;
}

AEDesc fields(const AEDesc& record) {
    return *record.descriptorForKeyword(keyASUserRecordFields);
}

}  // namespace

TEST(UserDefinedRecord, OneIntegerFieldBecomesANumberAndTravelsBackAsText) {
    const QVariantMap map = UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(
        usrf({AEDesc::unicodeText("a"), AEDesc::int32(5)}));
    ASSERT_EQ(map.size(), 1);
    EXPECT_EQ(map.value("a").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("a").toLongLong(), 5);
    const AEDesc back = fields(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(map));
    ASSERT_EQ(back.numberOfItems(), 2);
    EXPECT_EQ(back.descriptorAtIndex(1)->stringValue(), "a");
    EXPECT_EQ(back.descriptorAtIndex(2)->descriptorType(), typeUnicodeText);
    EXPECT_EQ(back.descriptorAtIndex(2)->stringValue(), "5");
}

TEST(UserDefinedRecord, PairsAndOddItems) {
    // A dangling key, a key without text, a later equal key, and a 'furl'
    // value that is no URL: only sound pairs survive, the last one winning.
    const QVariantMap map = UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(
        usrf({AEDesc::unicodeText("k"), AEDesc::utf8Text("one"), AEDesc::listDescriptor(),
              AEDesc::unicodeText("x"), AEDesc::unicodeText("bad"), AEDesc(typeFileURL, ""),
              AEDesc::unicodeText("k"), AEDesc::utf8Text("two"), AEDesc::unicodeText("dangling")}));
    EXPECT_EQ(map, (QVariantMap{{"k", "two"}}));
    EXPECT_TRUE(
        UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(AEDesc::recordDescriptor())
            .isEmpty());
    EXPECT_TRUE(UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(
                    usrf({AEDesc::unicodeText("only")}))
                    .isEmpty());
}

TEST(UserDefinedRecord, NonStringKeysAreSkippedAndEmptyGivesAnEmptyList) {
    const UserDefinedRecord::Dictionary dict = {{QVariant(7), QVariant("seven")},
                                                {QVariant("b"), QVariant(true)},
                                                {QVariant("u"), QVariant(QUrl("file:///a%20b"))}};
    const AEDesc list = fields(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(dict));
    ASSERT_EQ(list.numberOfItems(), 4);
    EXPECT_EQ(list.descriptorAtIndex(1)->stringValue(), "b");
    EXPECT_EQ(list.descriptorAtIndex(2)->stringValue(), "1");
    EXPECT_EQ(list.descriptorAtIndex(4)->stringValue(), "file:///a%20b");

    const AEDesc empty = UserDefinedRecord::scriptingUserDefinedRecordDescriptor(QVariantMap());
    ASSERT_TRUE(empty.descriptorForKeyword(keyASUserRecordFields).has_value());
    EXPECT_TRUE(fields(empty).isList());
    EXPECT_EQ(fields(empty).numberOfItems(), 0);
}

TEST(GenericObject, TextAndBooleanDescriptorsBecomeRawData) {
    QVLog::Capture log;
    const QVariant text = GenericObject::objectValue(AEDesc(typeChar, "abc"));
    EXPECT_EQ(text.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(text.toByteArray(), "abc");
    const QVariant flag = GenericObject::objectValue(AEDesc::boolean(true));
    EXPECT_EQ(flag.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(flag.toByteArray(), QByteArray(1, 1));
    EXPECT_TRUE(log.contains("Creating NSData for AE desc type TEXT."));
    EXPECT_TRUE(log.contains("Creating NSData for AE desc type bool."));
}

TEST(GenericObject, IntegersOfEveryWidth) {
    EXPECT_EQ(GenericObject::objectValue(AEDesc::int64(123456)).toLongLong(), 123456);
    EXPECT_EQ(GenericObject::objectValue(AEDesc::int16(-3)).toLongLong(), -3);
    EXPECT_EQ(GenericObject::objectValue(AEDesc::uint32(4000000000u)).toLongLong(), 4000000000LL);
    // Beyond 32 bits the value is kept instead of collapsing to 0.
    EXPECT_EQ(GenericObject::objectValue(AEDesc::int64(qint64(1) << 40)).toLongLong(), qint64(1)
                                                                                           << 40);
    EXPECT_EQ(GenericObject::objectValue(AEDesc::uint64(~quint64(0))).toULongLong(), ~quint64(0));
    EXPECT_EQ(GenericObject::objectValue(AEDesc(typeSInt32, "x")).toLongLong(), 0);
}

TEST(GenericObject, NestedListsAndTheWayBack) {
    AEDesc inner = AEDesc::listDescriptor();
    inner.insertDescriptor(AEDesc::unicodeText("x"), 0);
    inner.insertDescriptor(AEDesc::int32(2), 0);
    const QVariantMap map = UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(
        usrf({AEDesc::unicodeText("list"), inner}));
    EXPECT_EQ(map.value("list").toList(), (QVariantList{"x", qint64(2)}));
    // Records carry text values only: the array comes back as its description.
    const AEDesc back = fields(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(map));
    EXPECT_EQ(back.descriptorAtIndex(2)->stringValue(), "(\n    x,\n    2\n)");

    const AEDesc list = UserList::scriptingUserListDescriptor(
        {QVariant("s"), QVariant(QUrl::fromLocalFile("/f")), QVariant(QVariantList{1}),
         QVariant(QVariantMap{{"k", 1}}), QVariant(3)});
    ASSERT_EQ(list.numberOfItems(), 5);
    EXPECT_EQ(list.descriptorAtIndex(2)->descriptorType(), typeFileURL);
    EXPECT_TRUE(list.descriptorAtIndex(3)->isList());
    EXPECT_TRUE(list.descriptorAtIndex(4)->descriptorForKeyword(keyASUserRecordFields).has_value());
    EXPECT_EQ(list.descriptorAtIndex(5)->stringValue(), "3");
    EXPECT_EQ(UserList::scriptingUserListWithDescriptor(list).size(), 5);
}

TEST(URLValue, FileURLsRoundTripAndOtherTypesGiveNil) {
    const QUrl url = QUrl::fromLocalFile("/Users/me/My Movies/clip.mov");
    const AEDesc desc = URLValue::descriptorWithURL(url);
    EXPECT_EQ(desc.data(), "file:///Users/me/My%20Movies/clip.mov");
    EXPECT_EQ(URLValue::urlValue(desc), url);
    EXPECT_TRUE(URLValue::urlValue(AEDesc::unicodeText("file:///x")).isEmpty());
    EXPECT_EQ(GenericObject::objectValue(desc).toUrl(), url);
}
