#include <time.h>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include "platform/QVLog.h"
#include "service/DataTessel.h"
#include "service/QVTesselUtil.h"
#include "service/StringExtension.h"
#include "service/StringMD5.h"

namespace {

using U = QVTesselUtil;

TEST(TolerantReaders, IntegerSentinelsAndReadings) {
    EXPECT_EQ(U::integerValueFromObject(QVariant()), -1);
    EXPECT_EQ(U::integerValueFromObject(QVariant::fromValue(nullptr)), -1);
    EXPECT_EQ(U::integerValueFromObject(QDateTime::currentDateTimeUtc()), -1);
    EXPECT_EQ(U::integerValueFromObject(QVariantMap{{"a", 1}}), -1);
    EXPECT_EQ(U::integerValueFromObject(QByteArray("42")), -1);
    EXPECT_EQ(U::integerValueFromObject(QStringLiteral("42")), 42);
    EXPECT_EQ(U::integerValueFromObject(QStringLiteral("  -17abc")), -17);
    EXPECT_EQ(U::integerValueFromObject(QStringLiteral("abc")), 0);
    EXPECT_EQ(U::integerValueFromObject(0), 0);
    EXPECT_EQ(U::integerValueFromObject(3.9), 3);
    EXPECT_EQ(U::integerValueFromObject(true), 1);
    EXPECT_EQ(U::longlongValueFromObject(QStringLiteral("20240102030405678")), 20240102030405678);
    EXPECT_EQ(U::longlongValueFromObject(QStringLiteral("99999999999999999999")),
              std::numeric_limits<qint64>::max());
    EXPECT_EQ(U::longlongValueFromObject(QVariant::fromValue(nullptr)), -1);
}

TEST(TolerantReaders, DoubleAndString) {
    EXPECT_EQ(U::doubleValueFromObject(QVariant()), -1.0);
    EXPECT_EQ(U::doubleValueFromObject(QVariant::fromValue(nullptr)), -1.0);
    EXPECT_EQ(U::doubleValueFromObject(QStringLiteral(" 2.5e2x")), 250.0);
    EXPECT_EQ(U::doubleValueFromObject(QStringLiteral("x")), 0.0);
    EXPECT_EQ(U::doubleValueFromObject(qint64(7)), 7.0);
    EXPECT_TRUE(U::stringValueFromObject(42).isNull());
    EXPECT_TRUE(U::stringValueFromObject(QVariant::fromValue(nullptr)).isNull());
    const QString empty = U::stringValueFromObject(QString(""));
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(U::stringValueFromObject(QStringLiteral("x")), "x");
}

// The dates must come out the same whatever zone the process runs in, so
// they are checked under a zone with daylight-saving time and a locale with
// its own digits.
class ForeignZoneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = qgetenv("TZ");
        hadTZ_ = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "America/Los_Angeles");
        tzset();
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    }
    void TearDown() override {
        if (hadTZ_)
            qputenv("TZ", saved_);
        else
            qunsetenv("TZ");
        tzset();
        QLocale::setDefault(QLocale::c());
    }
    QByteArray saved_;
    bool hadTZ_ = false;
};

TEST_F(ForeignZoneTest, DateNumberIsSeventeenGMTDigits) {
    const QDateTime date(QDate(2024, 1, 2), QTime(3, 4, 5, 678), QTimeZone::utc());
    EXPECT_EQ(U::dateNumberFromDate(date), 20240102030405678);
    // The same instant expressed in local time gives the same number.
    EXPECT_EQ(U::dateNumberFromDate(date.toLocalTime()), 20240102030405678);
    const auto now = U::dateNumberFromDate();
    ASSERT_TRUE(now.has_value());
    EXPECT_EQ(QString::number(*now).size(), 17);
}

TEST_F(ForeignZoneTest, DateFromNumberReadsFourteenGMTDigits) {
    EXPECT_EQ(U::dateFromNumber(20240102030405),
              QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
    // 02:30 on 10 March 2024 does not exist in Los Angeles; in GMT it does.
    EXPECT_EQ(U::dateFromNumber(20240310023000),
              QDateTime(QDate(2024, 3, 10), QTime(2, 30), QTimeZone::utc()));
    EXPECT_FALSE(U::dateFromNumber(std::nullopt).isValid());
    EXPECT_FALSE(U::dateFromNumber(20240102030405678).isValid());  // 17 digits
    EXPECT_FALSE(U::dateFromNumber(20241302030405).isValid());     // month 13
    EXPECT_FALSE(U::dateFromNumber(-2024010203040).isValid());
}

TEST(StringExtension, IsNumeric) {
    EXPECT_TRUE(StringExtension::isNumeric(QString()));
    EXPECT_TRUE(StringExtension::isNumeric(QStringLiteral("0123456789")));
    EXPECT_TRUE(StringExtension::isNumeric(QString::fromUtf8("٤٢")));  // Arabic-Indic
    EXPECT_TRUE(StringExtension::isNumeric(QString::fromUtf8("𝟘𝟙")));  // outside the BMP
    EXPECT_FALSE(StringExtension::isNumeric(QStringLiteral("12a")));
    EXPECT_FALSE(StringExtension::isNumeric(QStringLiteral("-1")));
    EXPECT_FALSE(StringExtension::isNumeric(QString::fromUtf8("½")));
}

TEST(StringExtension, IsEmptyTrimsOnlySpacesAndTabs) {
    EXPECT_TRUE(StringExtension::isEmpty(QString()));
    EXPECT_TRUE(StringExtension::isEmpty(QStringLiteral(" \t  \t")));
    EXPECT_TRUE(StringExtension::isEmpty(QString::fromUtf8("\u00a0\u3000")));
    EXPECT_FALSE(StringExtension::isEmpty(QStringLiteral("\n")));
    EXPECT_FALSE(StringExtension::isEmpty(QStringLiteral(" \r ")));
    EXPECT_FALSE(StringExtension::isEmpty(QStringLiteral(" a ")));
}

TEST(StringExtension, IsEmailAddress) {
    for (const char* good :
         {"user@example.com", "USER@EXAMPLE.COM", "a.b-c+d@sub.example.co",
          "\"john\\ doe\"@example.com", "\"a\\\"b\"@example.com", "x@[192.168.0.255]",
          "x@[10.0.0.tag:any]", "!#$%&'*+/=?^_`{|}~-@a.b"}) {
        EXPECT_TRUE(StringExtension::isEmailAddress(QString::fromLatin1(good))) << good;
    }
    for (const char* bad :
         {"", "user", "user@example", "user@@example.com", "a..b@example.com", ".a@example.com",
          "user@-example.com", "user@example-.com", "user@example.com\n", " user@example.com",
          "user@[256.1.1.1]", "\"a\"b\"@example.com", "us er@example.com",
          "\"john doe\"@example.com", "x@[IPv6:2001:db8::1]"}) {
        EXPECT_FALSE(StringExtension::isEmailAddress(QString::fromLatin1(bad))) << bad;
    }
}

TEST(DataTessel, EncodesWithExactPadding) {
    EXPECT_EQ(DataTessel::base64Encoded(QByteArray()), "");
    EXPECT_EQ(DataTessel::base64Encoded("a"), "YQ==");
    EXPECT_EQ(DataTessel::base64Encoded("ab"), "YWI=");
    EXPECT_EQ(DataTessel::base64Encoded("abc"), "YWJj");
    EXPECT_EQ(DataTessel::base64Encoded(QByteArray("\xfb\xff\xbf", 3)), "+/+/");
    const QString longText = DataTessel::base64Encoded(QByteArray(1000, 'x'));
    EXPECT_EQ(longText.size(), 1336);
    EXPECT_FALSE(longText.contains('\n'));
    EXPECT_FALSE(longText.contains('\r'));
}

TEST(DataTessel, DecodesSkippingForeignCharactersAndStoppingAtPadding) {
    EXPECT_EQ(DataTessel::base64Decoded("YWJj"), "abc");
    EXPECT_EQ(DataTessel::base64Decoded("YWI="), "ab");
    EXPECT_EQ(DataTessel::base64Decoded("YQ=="), "a");
    EXPECT_EQ(DataTessel::base64Decoded("Y W\r\nJ*j"), "abc");
    EXPECT_EQ(DataTessel::base64Decoded("YWJjYQ=YWJj"), "abca");  // "=" ends the input
    EXPECT_EQ(DataTessel::base64Decoded("YWJjYWI"), "abc");       // unclosed group dropped
    EXPECT_EQ(DataTessel::base64Decoded("YWJjY="), "abc`");       // one character, one byte
    EXPECT_EQ(DataTessel::base64Decoded("+/+/"), QByteArray("\xfb\xff\xbf", 3));
    const QByteArray all = [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i) b += char(i);
        return b;
    }();
    EXPECT_EQ(DataTessel::base64Decoded(DataTessel::base64Encoded(all).toLatin1()), all);
}

TEST(StringMD5, UppercaseHexDigest) {
    EXPECT_EQ(StringMD5::MD5String(QString("")), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(StringMD5::MD5String(QStringLiteral("password")), "5F4DCC3B5AA765D61D8327DEB882CF99");
    EXPECT_EQ(StringMD5::MD5String(QString::fromUtf8("pässwört")),
              "E1F27045646954E224F9F4045C8D6AED");  // UTF-8 bytes
    EXPECT_EQ(StringMD5::MD5String(QString("ab") + QChar(0) + "cd"),
              "187EF4436122D1CC2F40DC2B92F0EBA0");
    EXPECT_TRUE(StringMD5::MD5String(QString()).isNull());
}

}  // namespace
