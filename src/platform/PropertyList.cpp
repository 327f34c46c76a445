#include "platform/PropertyList.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <QDateTime>
#include <QFile>
#include <QUrl>

#include "platform/AtomicFile.h"

namespace {

// Seconds between the Unix epoch and the property list epoch, 2001-01-01.
constexpr qint64 kPlistEpochOffset = 978307200;
// Deeper documents are refused rather than risking the stack.
constexpr int kMaxDepth = 512;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// libplist 2.2 keeps every integer as 64 bits and remembers only internally
// whether a value with the top bit set is a large unsigned one or a negative
// one. Its XML writer tells them apart, so the rare ambiguous value is settled
// by printing that one node.
bool isNegativeInteger(plist_t node) {
    PlistPtr copy(plist_copy(node));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(copy.get(), &xml, &length);
    if (!xml) return true;
    const QByteArray text(xml, qsizetype(length));
    plist_to_xml_free(xml);
    const qsizetype start = text.indexOf("<integer>");
    return start >= 0 && text.mid(start + 9, 1) == "-";
}

// libplist 2.2 hands dates out as 32-bit seconds and an unsigned fraction:
// dates before 2001 lose the fraction's sign, dates beyond 1933..2069 do not
// fit, and the second around the epoch itself is ambiguous. Those cases read
// the exact double from the node's binary form instead.
qint64 dateMilliseconds(plist_t node) {
    int32_t sec = 0, usec = 0;
    plist_get_date_val(node, &sec, &usec);
    if (sec != 0 && sec != std::numeric_limits<int32_t>::min() &&
        sec != std::numeric_limits<int32_t>::max()) {
        const qint64 fraction = (qint64(usec) + 500) / 1000;
        return qint64(sec) * 1000 + (sec < 0 ? -fraction : fraction);
    }
    PlistPtr copy(plist_copy(node));
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(copy.get(), &bin, &length);
    qint64 ms = 0;
    // "bplist00", then the date object: marker 0x33 and a big-endian double.
    if (bin && length >= 17 && static_cast<unsigned char>(bin[8]) == 0x33) {
        quint64 bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | static_cast<unsigned char>(bin[9 + i]);
        double seconds = 0;
        std::memcpy(&seconds, &bits, sizeof seconds);
        if (std::isfinite(seconds) && std::fabs(seconds) < 1e15) ms = qRound64(seconds * 1000);
    }
    if (bin) plist_to_bin_free(bin);
    return ms;
}

quint64 bigEndian(const uchar* p, int size) {
    quint64 value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | p[i];
    return value;
}

// libplist 2.2 aborts the process (an assertion) when asked for a dictionary
// key holding a NUL character, which only a binary list can carry. Such keys
// are found beforehand by walking the binary object table; a damaged table is
// left for libplist to refuse.
bool binaryHasKeyWithNul(const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const quint64 size = quint64(data.size());
    if (size < 8 + 32) return false;
    const uchar* trailer = bytes + size - 32;
    const int offsetSize = trailer[6];
    const int refSize = trailer[7];
    const quint64 count = bigEndian(trailer + 8, 8);
    const quint64 tableOffset = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    if (tableOffset >= size || count > (size - tableOffset) / quint64(offsetSize)) return false;
    auto objectOffset = [&](quint64 index) -> quint64 {
        if (index >= count) return size;
        return bigEndian(bytes + tableOffset + index * quint64(offsetSize), offsetSize);
    };
    // Marker and length of the object at offset; false when out of bounds.
    auto header = [&](quint64 offset, uchar& type, quint64& length, quint64& start) {
        if (offset >= size) return false;
        type = bytes[offset] >> 4;
        length = bytes[offset] & 0x0F;
        start = offset + 1;
        if (length == 0x0F) {
            if (start >= size || (bytes[start] >> 4) != 0x1) return false;
            const int width = 1 << (bytes[start] & 0x0F);
            if (width > 8 || start + 1 + quint64(width) > size) return false;
            length = bigEndian(bytes + start + 1, width);
            start += 1 + quint64(width);
        }
        return true;
    };
    for (quint64 index = 0; index < count; ++index) {
        uchar type = 0;
        quint64 entries = 0, start = 0;
        if (!header(objectOffset(index), type, entries, start) || type != 0xD) continue;
        if (entries > (size - start) / quint64(refSize)) continue;
        for (quint64 k = 0; k < entries; ++k) {
            const quint64 ref = bigEndian(bytes + start + k * quint64(refSize), refSize);
            uchar keyType = 0;
            quint64 length = 0, keyStart = 0;
            if (!header(objectOffset(ref), keyType, length, keyStart)) continue;
            const quint64 unit = keyType == 0x5 ? 1 : keyType == 0x6 ? 2 : 0;
            if (unit == 0 || length > (size - keyStart) / unit) continue;
            for (quint64 i = 0; i < length; ++i) {
                const uchar* c = bytes + keyStart + i * unit;
                if (c[0] == 0 && (unit == 1 || c[1] == 0)) return true;
            }
        }
    }
    return false;
}

bool convert(plist_t node, QVariant& out, int depth, QString* error) {
    auto fail = [error](const QString& message) {
        if (error) *error = message;
        return false;
    };
    if (depth > kMaxDepth) return fail(QStringLiteral("Property list nested too deeply"));
    switch (plist_get_node_type(node)) {
        case PLIST_DICT: {
            QVariantMap map;
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            while (iter) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iter, &key, &value);
                if (!value) {
                    free(key);
                    break;
                }
                QVariant converted;
                const bool ok = convert(value, converted, depth + 1, error);
                const QString name = QString::fromUtf8(key ? key : "");
                free(key);
                if (!ok) {
                    free(iter);
                    return false;
                }
                map.insert(map.cend(), name, converted);  // keys usually arrive sorted
            }
            free(iter);
            out = map;
            return true;
        }
        case PLIST_ARRAY: {
            QVariantList list;
            const uint32_t count = plist_array_get_size(node);
            list.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                QVariant converted;
                if (!convert(plist_array_get_item(node, i), converted, depth + 1, error))
                    return false;
                list.append(converted);
            }
            out = list;
            return true;
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            out = QString::fromUtf8(text ? text : "", text ? qsizetype(length) : 0);
            return true;
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            out = bool(value);
            return true;
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            if (value <= uint64_t(std::numeric_limits<qint64>::max()) || isNegativeInteger(node))
                out = qint64(value);
            else
                out = quint64(value);
            return true;
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            out = value;
            return true;
        }
        case PLIST_DATE:
            out = QDateTime::fromMSecsSinceEpoch(dateMilliseconds(node) + kPlistEpochOffset * 1000,
                                                 Qt::UTC);
            return true;
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            out = QByteArray(bytes, qsizetype(length));
            free(bytes);
            return true;
        }
        case PLIST_UID: {
            uint64_t value = 0;
            plist_get_uid_val(node, &value);
            out = QVariantMap{{QStringLiteral("CF$UID"), qint64(value)}};
            return true;
        }
        default:
            return fail(QStringLiteral("Property list holds a value of unknown type"));
    }
}

// Text content straight from UTF-16 into the document: the three markup
// characters escaped, a carriage return kept as a character reference (XML
// readers turn a literal one into a line feed), the control characters XML
// 1.0 cannot carry dropped, and a lone surrogate replaced by U+FFFD.
// Writes at p, which has room for five bytes per UTF-16 unit ("&amp;",
// "&#13;"); answers the end of what it wrote.
char* escapeInto(char* p, QStringView text) {
    const char16_t* s = text.utf16();
    const char16_t* end = s + text.size();
    auto put = [&p](const char* literal, int n) {
        std::memcpy(p, literal, size_t(n));
        p += n;
    };
    while (s != end) {
        char32_t c = *s++;
        if (c < 0x80) {
            switch (c) {
                case '&':
                    put("&amp;", 5);
                    break;
                case '<':
                    put("&lt;", 4);
                    break;
                case '>':
                    put("&gt;", 4);
                    break;
                case '\r':
                    put("&#13;", 5);
                    break;
                default:
                    if (c >= 0x20 || c == '\t' || c == '\n') *p++ = char(c);
                    break;
            }
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && s != end && *s >= 0xDC00 && *s <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(*s++) - 0xDC00);
            else
                c = 0xFFFD;
        }
        if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *p++ = char(0xE0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            *p++ = char(0xF0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3F));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        }
    }
    return p;
}

void appendDigits(char*& p, qint64 value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
    p += width;
}

// "YYYY-MM-DDTHH:MM:SSZ" in UTC, whole seconds, without QDateTime's general
// formatter (days to civil date after H. Hinnant's algorithm).
QByteArray dateText(const QDateTime& date) {
    const qint64 ms = date.toMSecsSinceEpoch();
    qint64 seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    qint64 days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    qint64 inDay = seconds - days * 86400;
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 day = doy - (153 * mp + 2) / 5 + 1;
    const qint64 month = mp < 10 ? mp + 3 : mp - 9;
    const qint64 year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) return date.toUTC().toString(Qt::ISODate).toLatin1();
    QByteArray text(20, Qt::Uninitialized);
    char* p = text.data();
    appendDigits(p, year, 4);
    *p++ = '-';
    appendDigits(p, month, 2);
    *p++ = '-';
    appendDigits(p, day, 2);
    *p++ = 'T';
    appendDigits(p, inDay / 3600, 2);
    *p++ = ':';
    appendDigits(p, inDay / 60 % 60, 2);
    *p++ = ':';
    appendDigits(p, inDay % 60, 2);
    *p++ = 'Z';
    return text;
}

// From a run of tabs rather than append(count, '\t'), which Qt implements
// as a general insert: indentation is called for every line of a long list.
void indent(QByteArray& out, int depth) {
    static constexpr char kTabs[] = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
    constexpr int kRun = int(sizeof kTabs) - 1;
    for (; depth > 0; depth -= kRun) out.append(kTabs, std::min(depth, kRun));
}

void appendElement(QByteArray& out, int depth, const char* tag, const QByteArray& text) {
    indent(out, depth);
    out.append('<').append(tag).append('>').append(text).append("</").append(tag).append(">\n");
}

// One resize for the whole element: every QByteArray::append of a C string
// is a general insert in Qt 6.4, and a long list has a dozen elements per
// item.
void appendTextElement(QByteArray& out, int depth, const char* tag, QStringView text) {
    const size_t tagLength = std::strlen(tag);
    const qsizetype start = out.size();
    out.resize(start + std::max(depth, 0) + 2 * qsizetype(tagLength) + 6 + text.size() * 5);
    char* p = out.data() + start;
    for (int i = 0; i < depth; ++i) *p++ = '\t';
    *p++ = '<';
    std::memcpy(p, tag, tagLength);
    p += tagLength;
    *p++ = '>';
    p = escapeInto(p, text);
    *p++ = '<';
    *p++ = '/';
    std::memcpy(p, tag, tagLength);
    p += tagLength;
    *p++ = '>';
    *p++ = '\n';
    out.resize(p - out.constData());
}

QByteArray realText(double value) {
    if (std::isnan(value)) return QByteArrayLiteral("nan");
    if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendDict(QByteArray& out, const QVariantMap& map, int depth) {
    indent(out, depth);
    if (map.isEmpty()) {
        out.append("<dict/>\n");
        return;
    }
    out.append("<dict>\n");
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype before = out.size();
        appendTextElement(out, depth + 1, "key", it.key());
        const qsizetype afterKey = out.size();
        PropertyList::appendXmlValue(out, it.value(), depth + 1);
        if (out.size() == afterKey) out.truncate(before);  // the value has no plist form
    }
    indent(out, depth);
    out.append("</dict>\n");
}

void appendArray(QByteArray& out, const QVariantList& list, int depth) {
    indent(out, depth);
    if (list.isEmpty()) {
        out.append("<array/>\n");
        return;
    }
    out.append("<array>\n");
    for (const QVariant& item : list) PropertyList::appendXmlValue(out, item, depth + 1);
    indent(out, depth);
    out.append("</array>\n");
}

}  // namespace

std::optional<QVariant> PropertyList::read(const QByteArray& data, QString* error) {
    auto fail = [error](const QString& message) -> std::optional<QVariant> {
        if (error) *error = message;
        return std::nullopt;
    };
    if (data.isEmpty()) return fail(QStringLiteral("The property list is empty"));
    if (quint64(data.size()) > std::numeric_limits<uint32_t>::max())
        return fail(QStringLiteral("The property list is too large"));
    plist_t root = nullptr;
    const auto length = uint32_t(data.size());
    if (data.startsWith("bplist00")) {
        if (binaryHasKeyWithNul(data))
            return fail(QStringLiteral("The property list holds a key with a NUL character"));
        plist_from_bin(data.constData(), length, &root);
    } else {
        plist_from_xml(data.constData(), length, &root);
    }
    if (!root) return fail(QStringLiteral("The data is not a valid property list"));
    PlistPtr owner(root);
    QVariant value;
    if (!convert(root, value, 0, error)) return std::nullopt;
    return value;
}

std::optional<QVariant> PropertyList::readFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open \u201c%1\u201d: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return read(file.readAll(), error);
}

QByteArray PropertyList::xmlHeader() {
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n");
}

QByteArray PropertyList::xmlFooter() {
    return QByteArrayLiteral("</plist>\n");
}

// Values without a property list form (invalid or null variants) are left
// out: a dictionary drops the key, an array the element.
void PropertyList::appendXmlTextElement(QByteArray& out, const char* tag, QStringView text,
                                        int depth) {
    appendTextElement(out, depth, tag, text);
}

void PropertyList::appendXmlValue(QByteArray& out, const QVariant& value, int depth) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            return;
        case QMetaType::QVariantMap:
            appendDict(out, *static_cast<const QVariantMap*>(value.constData()), depth);
            return;
        case QMetaType::QVariantHash: {
            const QVariantHash hash = value.toHash();
            QVariantMap map;
            for (auto it = hash.cbegin(); it != hash.cend(); ++it) map.insert(it.key(), it.value());
            appendDict(out, map, depth);
            return;
        }
        case QMetaType::QVariantList:
            appendArray(out, *static_cast<const QVariantList*>(value.constData()), depth);
            return;
        case QMetaType::QStringList: {
            const QStringList strings = value.toStringList();
            appendArray(out, QVariantList(strings.cbegin(), strings.cend()), depth);
            return;
        }
        case QMetaType::QString:
            appendTextElement(out, depth, "string",
                              *static_cast<const QString*>(value.constData()));
            return;
        case QMetaType::QUrl:
            appendTextElement(out, depth, "string", value.toUrl().toString());
            return;
        case QMetaType::QByteArray:
            appendElement(out, depth, "data", value.toByteArray().toBase64());
            return;
        case QMetaType::Bool:
            indent(out, depth);
            out.append(value.toBool() ? "<true/>\n" : "<false/>\n");
            return;
        case QMetaType::ULongLong:
        case QMetaType::ULong:
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
            appendElement(out, depth, "integer", QByteArray::number(value.toULongLong()));
            return;
        case QMetaType::LongLong:
        case QMetaType::Long:
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
            appendElement(out, depth, "integer", QByteArray::number(value.toLongLong()));
            return;
        case QMetaType::Double:
        case QMetaType::Float:
            appendElement(out, depth, "real", realText(value.toDouble()));
            return;
        case QMetaType::QDateTime:
        case QMetaType::QDate: {
            const QDateTime date = value.toDateTime();
            if (!date.isValid()) return;
            appendElement(out, depth, "date", dateText(date));
            return;
        }
        default:
            if (value.canConvert<QVariantList>() && !value.canConvert<QString>()) {
                appendArray(out, value.toList(), depth);
            } else if (value.canConvert<QString>()) {
                appendTextElement(out, depth, "string", value.toString());
            }
            return;
    }
}

QByteArray PropertyList::toXml(const QVariant& value) {
    QByteArray out = xmlHeader();
    appendXmlValue(out, value, 0);
    out.append(xmlFooter());
    return out;
}

bool PropertyList::writeFile(const QString& path, const QVariant& value, QString* error) {
    return AtomicFile::write(path, toXml(value), error);
}
