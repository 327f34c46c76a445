#include <gtest/gtest.h>

#include <limits>

#include "service/QVJsonReader.h"
#include "service/QVTesselUtil.h"

namespace {

QVariant readOk(const QByteArray& json) {
    QVJsonReader::Failure failure;
    const auto value = QVJsonReader::read(json, &failure);
    EXPECT_TRUE(value.has_value())
        << json.left(80).toStdString() << ": " << failure.message.toStdString();
    return value.value_or(QVariant());
}

bool refused(const QByteArray& json) {
    return !QVJsonReader::read(json).has_value();
}

QByteArray nested(int depth, const QByteArray& inner = "0") {
    return QByteArray(depth, '[') + inner + QByteArray(depth, ']');
}

}  // namespace

TEST(QVJsonReader, ValuesKeepTheTypesTheDecoderHandsOut) {
    const QVariant value = readOk(R"( {"s":"text","i":42,"neg":-7,"d":1.5,"e":2.0e3,"t":true,
        "f":false,"n":null,"a":[1,"x",{}],"o":{"k":[]}} )");
    ASSERT_EQ(value.typeId(), QMetaType::QVariantMap);
    const QVariantMap map = value.toMap();
    EXPECT_EQ(map.value("s").typeId(), QMetaType::QString);
    EXPECT_EQ(map.value("i").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("i").toLongLong(), 42);
    EXPECT_EQ(map.value("neg").toLongLong(), -7);
    EXPECT_EQ(map.value("d").typeId(), QMetaType::Double);
    EXPECT_EQ(map.value("d").toDouble(), 1.5);
    EXPECT_EQ(map.value("e").typeId(), QMetaType::LongLong);
    EXPECT_EQ(map.value("e").toLongLong(), 2000);
    EXPECT_EQ(map.value("t").typeId(), QMetaType::Bool);
    EXPECT_TRUE(map.value("t").toBool());
    EXPECT_FALSE(map.value("f").toBool());
    EXPECT_EQ(map.value("n").typeId(), QMetaType::Nullptr);
    EXPECT_EQ(QVTesselUtil::integerValueFromObject(map.value("n")), -1);
    EXPECT_EQ(map.value("a").toList(), (QVariantList{qint64(1), "x", QVariantMap()}));
    EXPECT_EQ(map.value("o").toMap().value("k").typeId(), QMetaType::QVariantList);
    // Scalars stand alone too; the last of duplicate keys wins.
    EXPECT_EQ(readOk("\"alone\""), "alone");
    EXPECT_EQ(readOk(" 3 ").toLongLong(), 3);
    EXPECT_EQ(readOk(R"({"k":1,"k":2})").toMap().value("k").toLongLong(), 2);
}

TEST(QVJsonReader, StringEscapesAndUtf8) {
    EXPECT_EQ(readOk(R"("\"\\\/\b\f\n\r\t")"), QString("\"\\/\b\f\n\r\t"));
    EXPECT_EQ(readOk(R"("\u00e9\u4E2D\u0000x")"),
              QString::fromUtf16(u"\u00e9\u4e2d") + QChar(u'\0') + QLatin1Char('x'));
    // A surrogate pair escape is one astral character, like its UTF-8 form.
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
    EXPECT_EQ(readOk(R"("\uD834\uDD1E")"), clef);
    EXPECT_EQ(readOk("\"\xF0\x9D\x84\x9E\""), clef);
    EXPECT_EQ(readOk("\"Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x82\xAC\""),
              QString::fromUtf8("Grüße €"));
    EXPECT_EQ(readOk(R"({"\u006Bey":1})").toMap().keys(), QStringList{"key"});

    // Half a pair stands for U+FFFD; what follows it is kept.
    const QChar replacement = QChar::ReplacementCharacter;
    EXPECT_EQ(readOk(R"("\uD834")"), QString(replacement));
    EXPECT_EQ(readOk(R"("\uD834\u0041")"), QString(replacement) + 'A');
    EXPECT_EQ(readOk(R"("\uDD1E\uD834x")"), QString(2, replacement) + 'x');
    EXPECT_EQ(readOk(R"("\uD834\uD834\uDD1E")"), QString(replacement) + clef);
    EXPECT_TRUE(refused(R"("\uD834\u12")"));
    EXPECT_TRUE(refused(R"("\u12G4")"));
    EXPECT_TRUE(refused(R"("\u12")"));
    EXPECT_TRUE(refused(R"("\x41")"));
    EXPECT_TRUE(refused("\"tab\there\""));  // raw control character
    EXPECT_TRUE(refused("\"open"));
    EXPECT_TRUE(refused("\"\xC0\xAF\""));          // overlong
    EXPECT_TRUE(refused("\"\xED\xA0\x80\""));      // encoded surrogate
    EXPECT_TRUE(refused("\"\xF4\x90\x80\x80\""));  // beyond U+10FFFF
    EXPECT_TRUE(refused("\"\xE2\x82\""));          // cut short
    EXPECT_TRUE(refused("\"\xFF\""));
}

TEST(QVJsonReader, NumbersIntegersAsInt64OthersAsDouble) {
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    EXPECT_EQ(readOk("9223372036854775807").toLongLong(), max);
    EXPECT_EQ(readOk("-9223372036854775808").toLongLong(), min);
    const QVariant beyond = readOk("9223372036854775808");
    EXPECT_EQ(beyond.typeId(), QMetaType::Double);
    EXPECT_EQ(beyond.toDouble(), 9223372036854775808.0);
    EXPECT_EQ(readOk("123456789012345678901234567890").toDouble(), 1.2345678901234568e29);
    EXPECT_EQ(readOk("-0").typeId(), QMetaType::LongLong);
    // An integral value is an integer however it is written.
    EXPECT_EQ(readOk("1.0").typeId(), QMetaType::LongLong);
    EXPECT_EQ(readOk("1E+2").toLongLong(), 100);
    EXPECT_EQ(readOk("-0.0").typeId(), QMetaType::LongLong);
    EXPECT_EQ(readOk("1.5e300").typeId(), QMetaType::Double);
    EXPECT_EQ(readOk("0.000001").toDouble(), 1e-6);
    EXPECT_EQ(readOk("1.7976931348623157e308").toDouble(), std::numeric_limits<double>::max());
    // Too small to tell from zero reads as zero; too large is refused.
    EXPECT_EQ(readOk("1e-400").toDouble(), 0.0);
    EXPECT_EQ(readOk("0.5e-999999999999999999999").toDouble(), 0.0);
    EXPECT_TRUE(refused("1e400"));
    EXPECT_TRUE(refused(QByteArray(400, '9')));

    for (const char* bad : {"01", "-", "+1", "1.", ".5", "1e", "1e+", "0x10", "NaN", "Infinity",
                            "-Infinity", "1_000", "--1", "1.2.3"})
        EXPECT_TRUE(refused(bad)) << bad;
}

TEST(QVJsonReader, MalformedDocumentsAreRefusedWithAPlace) {
    for (const char* bad : {"",           "   ",        "{",        "[",
                            "[1,]",       "{\"a\":1,}", "{'a':1}",  "{a:1}",
                            "{\"a\" 1}",  "{\"a\":}",   "[1 2]",    "[1,,2]",
                            "{\"a\":1}x", "[] []",      "// c\n{}", "{\"a\":1 /* c */}",
                            "tru",        "nul",        "True",     "[\"a\"",
                            "{\"a\":[}",  "[}",         "{]",       "\xEF\xBB\xBF{}"})
        EXPECT_TRUE(refused(bad)) << bad;

    QVJsonReader::Failure failure;
    EXPECT_FALSE(QVJsonReader::read(R"({"items": [1, 2 x]})", &failure));
    EXPECT_EQ(failure.offset, 16);
    EXPECT_FALSE(failure.message.isEmpty());
}

TEST(QVJsonReader, DepthFarBeyondRecursionAndItsCap) {
    // 30,000 levels: more than a 10,000-level project tree needs (each level
    // is an object and a list).
    QVariant value = readOk(nested(30000));
    int depth = 0;
    for (QVariant v = value; v.typeId() == QMetaType::QVariantList; v = v.toList().value(0))
        ++depth;
    EXPECT_EQ(depth, 30000);

    QByteArray objects;
    for (int i = 0; i < 20000; ++i) objects += "{\"c\":";
    objects += "null" + QByteArray(20000, '}');
    EXPECT_EQ(readOk(objects).typeId(), QMetaType::QVariantMap);

    const QVJsonReader::Limits limits{1 << 20, 100};
    EXPECT_TRUE(QVJsonReader::read(nested(100), limits).has_value());
    QVJsonReader::Failure failure;
    EXPECT_FALSE(QVJsonReader::read(nested(101), limits, &failure));
    EXPECT_TRUE(failure.message.contains("depth"));
    EXPECT_EQ(failure.offset, 100);
    // Refusing at the cap frees what was read without recursing either.
    EXPECT_FALSE(QVJsonReader::read(QByteArray(200000, '['), &failure));
    EXPECT_TRUE(failure.message.contains("depth"));
    EXPECT_TRUE(refused(nested(50000).chopped(1)));
}

TEST(QVJsonReader, SizeCap) {
    const QByteArray big = "[\"" + QByteArray(2000, 'a') + "\"]";
    QVJsonReader::Failure failure;
    EXPECT_FALSE(QVJsonReader::read(big, QVJsonReader::Limits{1000, 100}, &failure));
    EXPECT_TRUE(failure.message.contains("size"));
    EXPECT_TRUE(QVJsonReader::read(big, QVJsonReader::Limits{big.size(), 100}).has_value());
}
