#include <cmath>
#include <limits>

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <QTimeZone>

#include "platform/QVLog.h"
#include "service/QVTesselUtil.h"

namespace {

constexpr qint64 kMin = std::numeric_limits<qint64>::min();
constexpr qint64 kMax = std::numeric_limits<qint64>::max();

bool isLeadingSpace(QChar c) {
    return c.isSpace();
}

// Text reads like -[NSString longLongValue]: leading white space skipped, an
// optional sign, then the decimal digits that follow; no digits read 0, and
// values beyond 64 bits stick at the limit.
qint64 longLongValueOfString(const QString& text) {
    int i = 0;
    const int n = int(text.size());
    while (i < n && isLeadingSpace(text.at(i))) ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) break;
        const int digit = c.unicode() - '0';
        if (!overflow) {
            // Accumulate towards the sign so that the minimum fits.
            if (negative) {
                if (value < (kMin + digit) / 10)
                    overflow = true;
                else
                    value = value * 10 - digit;
            } else {
                if (value > (kMax - digit) / 10)
                    overflow = true;
                else
                    value = value * 10 + digit;
            }
        }
    }
    if (overflow) return negative ? kMin : kMax;
    return value;
}

// Text reads like -[NSString doubleValue]: the longest leading decimal
// number, 0.0 when there is none.
double doubleValueOfString(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const auto match = number.match(text);
    if (!match.hasMatch()) return 0.0;
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    return ok ? value : 0.0;
}

qint64 clampToInt64(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return kMax;
    if (value <= -9.2233720368547758e18) return kMin;
    return static_cast<qint64>(value);
}

bool isNumberType(int typeId) {
    switch (typeId) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::ULong:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Char:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
    }
}

}  // namespace

QString QVTesselUtil::stringValueFromObject(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) return {};
    const QString text = value.toString();
    // A string value is never nil, even an empty one.
    return text.isNull() ? QString(QLatin1String("")) : text;
}

std::optional<qint64> QVTesselUtil::integerReading(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::QString) return longLongValueOfString(value.toString());
    if (!isNumberType(type)) return std::nullopt;
    switch (type) {
        case QMetaType::Double:
        case QMetaType::Float:
            return clampToInt64(value.toDouble());
        case QMetaType::ULongLong:
        case QMetaType::ULong: {
            const quint64 u = value.toULongLong();
            return u > quint64(kMax) ? kMax : qint64(u);
        }
        default:
            return value.toLongLong();
    }
}

qint64 QVTesselUtil::integerValueFromObject(const QVariant& value) {
    return integerReading(value).value_or(-1);
}

qint64 QVTesselUtil::longlongValueFromObject(const QVariant& value) {
    return integerReading(value).value_or(-1);
}

double QVTesselUtil::doubleValueFromObject(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::QString) return doubleValueOfString(value.toString());
    if (!isNumberType(type)) return -1.0;
    return value.toDouble();
}

std::optional<qint64> QVTesselUtil::dateNumberFromDate(const QDateTime& date) {
    const QDateTime moment = date.isValid() ? date : QDateTime::currentDateTimeUtc();
    // Formatted in UTC with fixed digits, so neither the process time zone
    // nor the user's locale changes the value.
    const QString text = moment.toUTC().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    if (text.isEmpty()) {
        QVLog::log(QStringLiteral("dateNumberFromDate exception: %1")
                       .arg(QStringLiteral("the date cannot be formatted")));
        return std::nullopt;
    }
    return longLongValueOfString(text);
}

QDateTime QVTesselUtil::dateFromNumber(const std::optional<qint64>& number) {
    if (!number) return {};
    const QString text = QString::number(*number);
    // Exactly yyyyMMddHHmmss; the fields are read as GMT directly, never via
    // local time (a local-time detour loses the hour that a daylight-saving
    // change skips).
    if (text.size() != 14) return {};
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return {};
    }
    const auto field = [&](int from, int length) { return text.mid(from, length).toInt(); };
    const QDate day(field(0, 4), field(4, 2), field(6, 2));
    const QTime time(field(8, 2), field(10, 2), field(12, 2));
    if (!day.isValid() || !time.isValid()) return {};
    return QDateTime(day, time, QTimeZone::utc());
}
