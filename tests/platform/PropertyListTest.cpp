#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>

#include "platform/PropertyList.h"
#include "support/Python.h"

namespace {

// Both sides describe a value in the same typed JSON form, so a difference
// of type (integer vs real, string vs data) shows as well as one of value.
// Reals are compared by their bits, dates to the millisecond.
const char* const kTagScript = R"PY(
import base64, datetime, json, plistlib, struct, sys

def tag(v):
    if isinstance(v, dict):
        return {"dict": {k: tag(x) for k, x in v.items()}}
    if isinstance(v, list):
        return {"array": [tag(x) for x in v]}
    if isinstance(v, bool):
        return {"bool": v}
    if isinstance(v, int):
        return {"int": str(v)}
    if isinstance(v, float):
        return {"real": str(struct.unpack("<q", struct.pack("<d", v))[0])}
    if isinstance(v, str):
        return {"string": v}
    if isinstance(v, bytes):
        return {"data": base64.b64encode(v).decode()}
    if isinstance(v, datetime.datetime):
        return {"date": v.strftime("%Y-%m-%dT%H:%M:%S") + ".%03dZ" % (v.microsecond // 1000)}
    raise TypeError(type(v))
)PY";

QJsonValue tag(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::QVariantMap: {
            QJsonObject inner;
            const QVariantMap map = v.toMap();
            for (auto it = map.cbegin(); it != map.cend(); ++it) inner[it.key()] = tag(it.value());
            return QJsonObject{{"dict", inner}};
        }
        case QMetaType::QVariantList: {
            QJsonArray inner;
            for (const QVariant& item : v.toList()) inner.append(tag(item));
            return QJsonObject{{"array", inner}};
        }
        case QMetaType::Bool:
            return QJsonObject{{"bool", v.toBool()}};
        case QMetaType::LongLong:
        case QMetaType::Int:
            return QJsonObject{{"int", QString::number(v.toLongLong())}};
        case QMetaType::ULongLong:
            return QJsonObject{{"int", QString::number(v.toULongLong())}};
        case QMetaType::Double: {
            const double d = v.toDouble();
            qint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            return QJsonObject{{"real", QString::number(bits)}};
        }
        case QMetaType::QString:
            return QJsonObject{{"string", v.toString()}};
        case QMetaType::QByteArray:
            return QJsonObject{{"data", QString::fromLatin1(v.toByteArray().toBase64())}};
        case QMetaType::QDateTime:
            return QJsonObject{
                {"date", v.toDateTime().toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzzZ")}};
        default:
            return QJsonObject{{"unexpected", QString::fromLatin1(v.typeName())}};
    }
}

QByteArray canonical(const QJsonValue& v) {
    return QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
}

QByteArray pythonCanonical(const QByteArray& json) {
    return canonical(QJsonDocument::fromJson(json).array().at(0));
}

// Equal, or the first difference with some context around it.
::testing::AssertionResult sameText(const QByteArray& actual, const QByteArray& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
    const qsizetype from = std::max<qsizetype>(0, i - 80);
    return ::testing::AssertionFailure()
           << "first difference at " << i << "\n  actual:   " << actual.mid(from, 160).toStdString()
           << "\n  expected: " << expected.mid(from, 160).toStdString();
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// Everything a property list can hold, nested, with the awkward corners.
QVariant sampleValue() {
    QVariantMap nested{{"empty dict", QVariantMap()},
                       {"empty array", QVariantList()},
                       {"empty data", QByteArray()},
                       {"empty string", QString("")}};
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) bytes.append(char(i));
    return QVariantMap{
        {"string", QString("plain")},
        {"markup & <tags> \"quoted\" 'single' ]]>", QString("a & b < c > d ]]> &amp;")},
        {"unicode", QString::fromUtf8("Grüße, 日本語, emoji 🎬, combining e\u0301, rtl שלום")},
        {"whitespace", QString("  leading\ttab\nnew line\r\ncarriage  ")},
        {QString::fromUtf8("ключ ✓"), QString("unicode key")},
        {"int zero", qint64(0)},
        {"int negative", qint64(-42)},
        {"int max", std::numeric_limits<qint64>::max()},
        {"int min", std::numeric_limits<qint64>::min()},
        {"int beyond 63 bits", std::numeric_limits<quint64>::max()},
        {"int just beyond", quint64(std::numeric_limits<qint64>::max()) + 1},
        {"real", 3.141592653589793},
        {"real tiny", 5e-324},
        {"real huge", 1.7976931348623157e308},
        {"real negative", -0.1},
        {"real whole", 2.0},
        {"true", true},
        {"false", false},
        {"date", utc(2024, 2, 29, 23, 59, 58)},
        {"date before 2001", utc(1969, 7, 20, 20, 17, 40)},
        {"date far", utc(2150, 1, 1, 0, 0, 0)},
        {"data", bytes},
        {"nested", QVariantList{nested, QVariantList{QVariantList{qint64(1), QString("deep")}}}},
    };
}

class PropertyListTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
};

TEST_F(PropertyListTest, WrittenXmlReadsBackEqualInPlistlib) {
    const QVariant value = sampleValue();
    QString error;
    ASSERT_TRUE(PropertyList::writeFile(file("ours.plist"), value, &error)) << error.toStdString();
    bool ok = false;
    QByteArray errors;
    const QByteArray json = Python::run(
        QString(kTagScript) +
            "print(json.dumps([tag(plistlib.load(open(sys.argv[1], 'rb')))], ensure_ascii=False))",
        {file("ours.plist")}, &ok, &errors);
    ASSERT_TRUE(ok) << errors.toStdString();
    EXPECT_TRUE(sameText(pythonCanonical(json), canonical(tag(value))));

    // And our own reader agrees.
    const auto back = PropertyList::readFile(file("ours.plist"), &error);
    ASSERT_TRUE(back.has_value()) << error.toStdString();
    EXPECT_TRUE(sameText(canonical(tag(*back)), canonical(tag(value))));
}

TEST_F(PropertyListTest, PlistlibBinaryAndXmlReadIntoTheSameValues) {
    const QString script = QString(kTagScript) + R"PY(
value = {
    "string": "plain & <odd> ]]>",
    "unicode": "Grüße 日本語 🎬 e\u0301",
    "control chars": "cr\r lf\n tab\t",
    "ints": [0, 1, -1, 255, 256, 65535, 65536, 2**31, -2**31, 2**32, 2**63 - 1, -2**63,
             2**63, 2**64 - 1],
    "reals": [0.0, 0.1, 1e300, -2.5e-300, 123456.789],
    "bools": [True, False],
    "dates": [datetime.datetime(2001, 1, 1), datetime.datetime(2000, 12, 31, 23, 59, 59, 500000),
              datetime.datetime(2001, 1, 1, 0, 0, 0, 250000),
              datetime.datetime(1990, 5, 6, 7, 8, 9, 750000),
              datetime.datetime(2100, 1, 2, 3, 4, 5, 125000), datetime.datetime(1900, 1, 1)],
    "data": [b"", bytes(range(256)), b"\0" * 1000],
    "empty": [{}, [], ""],
    "nested": {"a": [{"b": [[{"c": {}}]]}]},
    "many": list(range(300)),
}
fmt = plistlib.FMT_BINARY if sys.argv[2] == "binary" else plistlib.FMT_XML
if fmt == plistlib.FMT_XML:
    value["control chars"] = "no carriage returns in plistlib's XML"
    value["dates"] = [d.replace(microsecond=0) for d in value["dates"]]
open(sys.argv[1], "wb").write(plistlib.dumps(value, fmt=fmt))
print(json.dumps([tag(value)], ensure_ascii=False))
)PY";
    for (const QString& format : {QString("binary"), QString("xml")}) {
        SCOPED_TRACE(format.toStdString());
        const QString path = file(format + ".plist");
        bool ok = false;
        QByteArray errors;
        const QByteArray json = Python::run(script, {path, format}, &ok, &errors);
        ASSERT_TRUE(ok) << errors.toStdString();
        QString error;
        const auto value = PropertyList::readFile(path, &error);
        ASSERT_TRUE(value.has_value()) << error.toStdString();
        EXPECT_TRUE(sameText(canonical(tag(*value)), pythonCanonical(json)));
    }
}

TEST_F(PropertyListTest, TopLevelScalarsAndStreamedDocuments) {
    for (const QVariant& v : {QVariant(QString("x")), QVariant(qint64(-7)), QVariant(true),
                              QVariant(QVariantList()), QVariant(QByteArray("\x01\x02"))}) {
        const auto back = PropertyList::read(PropertyList::toXml(v));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(canonical(tag(*back)), canonical(tag(v)));
    }
    // A document assembled piece by piece equals the one written at once.
    QByteArray streamed = PropertyList::xmlHeader() + "<array>\n";
    QVariantList items;
    for (int i = 0; i < 5; ++i) {
        const QVariant item =
            QVariantMap{{"index", qint64(i)}, {"name", QString("item %1").arg(i)}};
        items.append(item);
        PropertyList::appendXmlValue(streamed, item, 1);
    }
    streamed += "</array>\n" + PropertyList::xmlFooter();
    EXPECT_EQ(streamed, PropertyList::toXml(items));
}

TEST_F(PropertyListTest, DatesAreWrittenAsUtcSecondsAcrossTheCalendar) {
    QRandomGenerator random(7);
    const qint64 first = utc(1, 1, 1, 0, 0, 0).toMSecsSinceEpoch();
    const qint64 last = utc(9999, 12, 31, 23, 59, 59, 999).toMSecsSinceEpoch();
    QList<QDateTime> dates{utc(1970, 1, 1, 0, 0, 0),      utc(1969, 12, 31, 23, 59, 59, 999),
                           utc(2000, 2, 29, 12, 0, 0),    utc(1900, 3, 1, 0, 0, 0),
                           utc(2001, 1, 1, 0, 0, 0, 500), utc(9999, 12, 31, 23, 59, 59)};
    for (int i = 0; i < 2000; ++i)
        dates.append(QDateTime::fromMSecsSinceEpoch(
            first + qint64(random.generateDouble() * double(last - first)), Qt::UTC));
    // A zone other than UTC is converted.
    dates.append(QDateTime(QDate(2020, 6, 1), QTime(2, 0), QTimeZone(3600 * 5)));
    for (const QDateTime& date : dates) {
        QByteArray xml;
        PropertyList::appendXmlValue(xml, date, 0);
        EXPECT_EQ(xml,
                  "<date>" + date.toUTC().toString("yyyy-MM-ddTHH:mm:ssZ").toLatin1() + "</date>\n")
            << date.toMSecsSinceEpoch();
    }
}

TEST_F(PropertyListTest, ValuesWithoutAPlistFormAreLeftOut) {
    const QVariantMap map{{"null", QVariant::fromValue(nullptr)},
                          {"invalid", QVariant()},
                          {"kept", QString("yes")},
                          {"control", QString("a\x01"
                                              "b")},
                          {"lone surrogate", QString(QChar(0xD800)) + "x"}};
    const auto back = PropertyList::read(PropertyList::toXml(map));
    ASSERT_TRUE(back.has_value());
    const QVariantMap expected{{"kept", QString("yes")},
                               {"control", QString("ab")},
                               {"lone surrogate", QString(QChar(0xFFFD)) + "x"}};
    EXPECT_TRUE(sameText(canonical(tag(*back)), canonical(tag(expected))));
}

TEST_F(PropertyListTest, CorruptInputIsRefusedWithoutCrashing) {
    QString error;
    EXPECT_FALSE(PropertyList::read(QByteArray(), &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    for (const QByteArray& bad :
         {QByteArray("not a plist at all"), QByteArray("bplist00"), QByteArray("<plist><dict>"),
          QByteArray("<?xml version=\"1.0\"?><plist><integer>1</plist>"),
          QByteArray("\xff\xfe\x00\x01garbage", 12)}) {
        error.clear();
        EXPECT_FALSE(PropertyList::read(bad, &error).has_value()) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    // Nesting beyond what a settings file ever holds is refused, not recursed.
    const QByteArray deep = "<plist>" + QByteArray("<array>").repeated(100000) +
                            QByteArray("</array>").repeated(100000) + "</plist>";
    EXPECT_FALSE(PropertyList::read(deep, &error).has_value());

    // Entity definitions are not expanded (no exponential blow-up).
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE l [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i)
        laughs += QString("<!ENTITY l%1 \"%2\">")
                      .arg(i)
                      .arg(QString("&l%1;").arg(i - 1).repeated(10))
                      .toLatin1();
    laughs += "]>\n<plist><string>&l9;</string></plist>\n";
    EXPECT_FALSE(PropertyList::read(laughs).has_value());

    // Every truncation and random damage of a real binary list: any outcome
    // but a crash is acceptable.
    bool ok = false;
    const QByteArray binary = Python::run(
        "import plistlib, sys, datetime\n"
        "v = {'a': [1, 2.5, 'x' * 40, b'\\0' * 20, {'d': datetime.datetime(2020, 1, 1)}], "
        "'b': True, 'c': 2**64 - 1}\n"
        "sys.stdout.buffer.write(plistlib.dumps(v, fmt=plistlib.FMT_BINARY))",
        {}, &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(PropertyList::read(binary).has_value());
    // libplist would abort on a key holding NUL; such a list is refused.
    const QByteArray nulKey = Python::run(
        "import plistlib, sys\n"
        "sys.stdout.buffer.write(plistlib.dumps({'a\\0b': 1, 'u\\0\u00e9': 2}, "
        "fmt=plistlib.FMT_BINARY))",
        {}, &ok);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(PropertyList::read(nulKey, &error).has_value());
    EXPECT_TRUE(error.contains("NUL"));
    for (qsizetype n = 0; n < binary.size(); ++n) PropertyList::read(binary.left(n));
    QRandomGenerator random(1234);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = binary;
        for (int flips = 0; flips < 3; ++flips)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        PropertyList::read(damaged);
    }
    const QByteArray xml = PropertyList::toXml(sampleValue());
    for (qsizetype n = 0; n < xml.size(); n += 7) PropertyList::read(xml.left(n));
}

TEST_F(PropertyListTest, MissingFileReportsItsName) {
    QString error;
    EXPECT_FALSE(PropertyList::readFile(file("absent.plist"), &error).has_value());
    EXPECT_TRUE(error.contains("absent.plist"));
}

}  // namespace
