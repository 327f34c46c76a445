#include "appleevents/AEDesc.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>

using namespace AECodes;

QString AECodes::toString(quint32 code) {
    QString s;
    for (int shift = 24; shift >= 0; shift -= 8) s += QChar(ushort((code >> shift) & 0xff));
    return s;
}

quint32 AECodes::fromString(const QString& text, bool* ok) {
    bool good = text.size() == 4;
    quint32 code = 0;
    for (int i = 0; good && i < 4; ++i) {
        if (text.at(i).unicode() > 0xff) good = false;
        code = (code << 8) | text.at(i).unicode();
    }
    if (ok) *ok = good;
    return good ? code : 0;
}

namespace {

QByteArray beBytes(quint64 value, int size) {
    QByteArray out(size, '\0');
    for (int i = size - 1; i >= 0; --i) {
        out[i] = char(value & 0xff);
        value >>= 8;
    }
    return out;
}

quint64 readBE(const QByteArray& data) {
    quint64 v = 0;
    for (char c : data) v = (v << 8) | quint8(c);
    return v;
}

bool isTextType(DescType t) {
    return t == typeUnicodeText || t == typeUTF8Text || t == typeChar;
}
bool isCodeType(DescType t) {
    return t == typeType || t == typeEnumerated || t == typeKeyword;
}
bool isBoolType(DescType t) {
    return t == typeBoolean || t == typeTrue || t == typeFalse;
}

int integerSize(DescType t) {
    if (t == typeSInt16 || t == typeUInt16) return 2;
    if (t == typeSInt32 || t == typeUInt32) return 4;
    if (t == typeSInt64 || t == typeUInt64) return 8;
    return 0;
}
bool isSignedInteger(DescType t) {
    return t == typeSInt16 || t == typeSInt32 || t == typeSInt64;
}
bool isNumericType(DescType t) {
    return integerSize(t) > 0 || t == typeIEEE64BitFloatingPoint;
}

// A number read from any numeric descriptor: an integer (with a flag for
// unsigned values above the signed 64-bit range) or a double.
struct Number {
    bool isDouble = false;
    bool hugeUnsigned = false;
    qint64 i = 0;
    quint64 u = 0;
    double d = 0;
};

std::optional<Number> parseText(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    Number n;
    n.i = t.toLongLong(&ok);
    if (ok) return n;
    n.u = t.toULongLong(&ok);
    if (ok) {
        n.hugeUnsigned = true;
        return n;
    }
    n.d = t.toDouble(&ok);
    if (ok && std::isfinite(n.d)) {
        n.isDouble = true;
        return n;
    }
    return std::nullopt;
}

QString decodeText(DescType type, const QByteArray& data) {
    if (type == typeUTF8Text) return QString::fromUtf8(data);
    if (type == typeChar) return QString::fromLatin1(data);
    QStringDecoder dec(QStringDecoder::Utf16BE);
    QString s = dec(data);
    return s.isNull() ? QString("") : s;
}

}  // namespace

AEDesc::AEDesc() = default;

AEDesc::AEDesc(DescType type, const QByteArray& data) : type_(type), data_(data) {}

AEDesc::AEDesc(Kind kind, DescType type) : kind_(kind), type_(type) {}

AEDesc AEDesc::listDescriptor() {
    return AEDesc(Kind::List, typeAEList);
}
AEDesc AEDesc::recordDescriptor(DescType recordType) {
    return AEDesc(Kind::Record, recordType);
}
AEDesc AEDesc::appleEvent(AEEventClass eventClass, AEEventID eventID) {
    AEDesc d(Kind::AppleEvent, typeAppleEvent);
    d.eventClass_ = eventClass;
    d.eventID_ = eventID;
    return d;
}

AEDesc AEDesc::unicodeText(const QString& text) {
    QStringEncoder enc(QStringEncoder::Utf16BE);
    return AEDesc(typeUnicodeText, enc(text));
}
AEDesc AEDesc::utf8Text(const QString& text) {
    return AEDesc(typeUTF8Text, text.toUtf8());
}
AEDesc AEDesc::int16(qint16 v) {
    return AEDesc(typeSInt16, beBytes(quint16(v), 2));
}
AEDesc AEDesc::uint16(quint16 v) {
    return AEDesc(typeUInt16, beBytes(v, 2));
}
AEDesc AEDesc::int32(qint32 v) {
    return AEDesc(typeSInt32, beBytes(quint32(v), 4));
}
AEDesc AEDesc::uint32(quint32 v) {
    return AEDesc(typeUInt32, beBytes(v, 4));
}
AEDesc AEDesc::int64(qint64 v) {
    return AEDesc(typeSInt64, beBytes(quint64(v), 8));
}
AEDesc AEDesc::uint64(quint64 v) {
    return AEDesc(typeUInt64, beBytes(v, 8));
}
AEDesc AEDesc::doubleValue(double v) {
    quint64 bits;
    static_assert(sizeof(bits) == sizeof(v));
    memcpy(&bits, &v, sizeof(v));
    return AEDesc(typeIEEE64BitFloatingPoint, beBytes(bits, 8));
}
AEDesc AEDesc::boolean(bool v) {
    return AEDesc(typeBoolean, QByteArray(1, v ? '\1' : '\0'));
}
AEDesc AEDesc::typeCode(quint32 code) {
    return AEDesc(typeType, beBytes(code, 4));
}
AEDesc AEDesc::enumCode(quint32 code) {
    return AEDesc(typeEnumerated, beBytes(code, 4));
}
AEDesc AEDesc::fileURL(const QUrl& url) {
    return AEDesc(typeFileURL, url.toEncoded());
}

int AEDesc::numberOfItems() const {
    if (kind_ == Kind::List) return int(items_.size());
    if (kind_ == Kind::Record) return int(fields_.size());
    return 0;
}

std::optional<AEDesc> AEDesc::descriptorAtIndex(int index) const {
    if (index < 1 || index > numberOfItems()) return std::nullopt;
    if (kind_ == Kind::List) return items_[size_t(index - 1)];
    return fields_[size_t(index - 1)].second;
}

bool AEDesc::insertDescriptor(const AEDesc& desc, int index) {
    if (kind_ != Kind::List || index < 0 || index > int(items_.size()) + 1) return false;
    if (index == 0) index = int(items_.size()) + 1;
    items_.insert(items_.begin() + (index - 1), desc);
    return true;
}

bool AEDesc::removeDescriptorAtIndex(int index) {
    if (index < 1 || index > numberOfItems()) return false;
    if (kind_ == Kind::List)
        items_.erase(items_.begin() + (index - 1));
    else
        fields_.erase(fields_.begin() + (index - 1));
    return true;
}

AEKeyword AEDesc::keywordForDescriptorAtIndex(int index) const {
    if (kind_ != Kind::Record || index < 1 || index > int(fields_.size())) return 0;
    return fields_[size_t(index - 1)].first;
}

std::optional<AEDesc> AEDesc::descriptorForKeyword(AEKeyword keyword) const {
    if (kind_ != Kind::Record && kind_ != Kind::AppleEvent) return std::nullopt;
    for (const auto& [k, d] : fields_)
        if (k == keyword) return d;
    return std::nullopt;
}

static bool setIn(std::vector<std::pair<AEKeyword, AEDesc>>& list, const AEDesc& desc,
                  AEKeyword keyword) {
    for (auto& entry : list) {
        if (entry.first == keyword) {
            entry.second = desc;
            return true;
        }
    }
    list.emplace_back(keyword, desc);
    return true;
}

bool AEDesc::setDescriptor(const AEDesc& desc, AEKeyword keyword) {
    if (kind_ != Kind::Record && kind_ != Kind::AppleEvent) return false;
    return setIn(fields_, desc, keyword);
}

bool AEDesc::removeDescriptorWithKeyword(AEKeyword keyword) {
    for (auto it = fields_.begin(); it != fields_.end(); ++it) {
        if (it->first == keyword) {
            fields_.erase(it);
            return true;
        }
    }
    return false;
}

QList<AEKeyword> AEDesc::keywords() const {
    QList<AEKeyword> out;
    for (const auto& f : fields_) out.append(f.first);
    return out;
}

std::optional<AEDesc> AEDesc::paramDescriptorForKeyword(AEKeyword keyword) const {
    if (kind_ != Kind::AppleEvent) return std::nullopt;
    return descriptorForKeyword(keyword);
}

bool AEDesc::setParamDescriptor(const AEDesc& desc, AEKeyword keyword) {
    if (kind_ != Kind::AppleEvent) return false;
    return setIn(fields_, desc, keyword);
}

std::optional<AEDesc> AEDesc::attributeDescriptorForKeyword(AEKeyword keyword) const {
    for (const auto& [k, d] : attributes_)
        if (k == keyword) return d;
    return std::nullopt;
}

bool AEDesc::setAttributeDescriptor(const AEDesc& desc, AEKeyword keyword) {
    if (kind_ != Kind::AppleEvent) return false;
    return setIn(attributes_, desc, keyword);
}

QList<AEKeyword> AEDesc::attributeKeywords() const {
    QList<AEKeyword> out;
    for (const auto& a : attributes_) out.append(a.first);
    return out;
}

std::optional<AEDesc> AEDesc::coerceNumber(DescType target) const {
    Number n;
    if (integerSize(type_) > 0) {
        if (data_.size() != integerSize(type_)) return std::nullopt;
        const quint64 raw = readBE(data_);
        if (isSignedInteger(type_)) {
            const int bits = integerSize(type_) * 8;
            n.i = bits == 64 ? qint64(raw) : qint64(raw << (64 - bits)) >> (64 - bits);
        } else if (raw > quint64(std::numeric_limits<qint64>::max())) {
            n.hugeUnsigned = true;
            n.u = raw;
        } else {
            n.i = qint64(raw);
        }
    } else if (type_ == typeIEEE64BitFloatingPoint) {
        if (data_.size() != 8) return std::nullopt;
        const quint64 bits = readBE(data_);
        memcpy(&n.d, &bits, sizeof(n.d));
        if (!std::isfinite(n.d)) return std::nullopt;
        n.isDouble = true;
    } else if (isBoolType(type_)) {
        n.i = booleanValue() ? 1 : 0;
    } else if (isTextType(type_)) {
        const auto parsed = parseText(decodeText(type_, data_));
        if (!parsed) return std::nullopt;
        n = *parsed;
    } else {
        return std::nullopt;
    }

    if (target == typeIEEE64BitFloatingPoint) {
        const double d = n.isDouble ? n.d : n.hugeUnsigned ? double(n.u) : double(n.i);
        return doubleValue(d);
    }
    if (n.isDouble) {
        if (std::trunc(n.d) != n.d || n.d < -9.2e18 || n.d > 9.2e18) return std::nullopt;
        n.i = qint64(n.d);
    }
    if (n.hugeUnsigned) {
        if (target != typeUInt64) return std::nullopt;
        return uint64(n.u);
    }
    const qint64 v = n.i;
    switch (target) {
        case typeSInt16:
            if (v < -32768 || v > 32767) return std::nullopt;
            return int16(qint16(v));
        case typeUInt16:
            if (v < 0 || v > 65535) return std::nullopt;
            return uint16(quint16(v));
        case typeSInt32:
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                return std::nullopt;
            return int32(qint32(v));
        case typeUInt32:
            if (v < 0 || v > qint64(std::numeric_limits<quint32>::max())) return std::nullopt;
            return uint32(quint32(v));
        case typeSInt64:
            return int64(v);
        case typeUInt64:
            if (v < 0) return std::nullopt;
            return uint64(quint64(v));
        default:
            return std::nullopt;
    }
}

std::optional<AEDesc> AEDesc::coerceToDescriptorType(DescType type) const {
    if (type == type_ || type == typeWildCard) {
        // Malformed numeric data never passes for a number.
        if (integerSize(type_) > 0 && data_.size() != integerSize(type_)) return std::nullopt;
        if (type_ == typeIEEE64BitFloatingPoint && data_.size() != 8) return std::nullopt;
        return *this;
    }
    if (kind_ != Kind::Scalar) return std::nullopt;

    if (isNumericType(type)) return coerceNumber(type);

    if (isTextType(type)) {
        QString text;
        if (isTextType(type_)) {
            text = decodeText(type_, data_);
        } else if (integerSize(type_) > 0) {
            if (data_.size() != integerSize(type_)) return std::nullopt;
            const quint64 raw = readBE(data_);
            if (isSignedInteger(type_)) {
                const int bits = integerSize(type_) * 8;
                text = QString::number(bits == 64 ? qint64(raw)
                                                  : qint64(raw << (64 - bits)) >> (64 - bits));
            } else {
                text = QString::number(raw);
            }
        } else if (type_ == typeIEEE64BitFloatingPoint) {
            const auto d = coerceNumber(typeIEEE64BitFloatingPoint);
            if (!d) return std::nullopt;
            double v;
            const quint64 bits = readBE(d->data_);
            memcpy(&v, &bits, sizeof(v));
            text = QString::number(v, 'g', 17);
        } else if (isBoolType(type_)) {
            text = booleanValue() ? QStringLiteral("true") : QStringLiteral("false");
        } else if (type_ == typeFileURL) {
            text = QString::fromUtf8(data_);
        } else {
            return std::nullopt;
        }
        if (type == typeUnicodeText) return unicodeText(text);
        if (type == typeUTF8Text) return utf8Text(text);
        return AEDesc(typeChar, text.toLatin1());
    }

    if (type == typeBoolean) {
        if (type_ == typeTrue) return boolean(true);
        if (type_ == typeFalse) return boolean(false);
        if (isTextType(type_)) {
            const QString t = decodeText(type_, data_).trimmed().toLower();
            if (t == "true" || t == "yes") return boolean(true);
            if (t == "false" || t == "no") return boolean(false);
            return std::nullopt;
        }
        const auto n = coerceNumber(typeSInt64);
        if (!n) return std::nullopt;
        const qint64 v = qint64(readBE(n->data_));
        if (v != 0 && v != 1) return std::nullopt;
        return boolean(v == 1);
    }

    if (isCodeType(type) && isCodeType(type_)) {
        if (data_.size() != 4) return std::nullopt;
        return AEDesc(type, data_);
    }
    return std::nullopt;
}

QString AEDesc::stringValue() const {
    const auto d = coerceToDescriptorType(typeUnicodeText);
    if (!d) return QString();
    return decodeText(typeUnicodeText, d->data_);
}

qint32 AEDesc::int32Value() const {
    const auto d = coerceToDescriptorType(typeSInt32);
    return d ? qint32(quint32(readBE(d->data_))) : 0;
}

std::optional<qint64> AEDesc::int64Value() const {
    const auto d = coerceToDescriptorType(typeSInt64);
    if (!d) return std::nullopt;
    return qint64(readBE(d->data_));
}

bool AEDesc::booleanValue() const {
    if (type_ == typeTrue) return true;
    if (type_ == typeFalse) return false;
    if (type_ == typeBoolean) return !data_.isEmpty() && data_.at(0) != 0;
    const auto d = coerceToDescriptorType(typeBoolean);
    return d && d->booleanValue();
}

quint32 AEDesc::typeCodeValue() const {
    if (!isCodeType(type_) || data_.size() != 4) return 0;
    return quint32(readBE(data_));
}

QUrl AEDesc::fileURLValue() const {
    if (type_ != typeFileURL) return QUrl();
    return QUrl(QString::fromUtf8(data_));
}

bool AEDesc::operator==(const AEDesc& other) const {
    return kind_ == other.kind_ && type_ == other.type_ && data_ == other.data_ &&
           items_ == other.items_ && fields_ == other.fields_ && attributes_ == other.attributes_ &&
           eventClass_ == other.eventClass_ && eventID_ == other.eventID_;
}
