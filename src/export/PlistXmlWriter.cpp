#include "export/PlistXmlWriter.h"

#include <cmath>

#include <QLocale>

#include "platform/PropertyList.h"

namespace {

void indent(QByteArray& out, int depth) {
    if (depth > 0) out.append(qsizetype(depth), '\t');
}

void appendNumberElement(QByteArray& out, const char* tag, const QByteArray& text, int depth) {
    indent(out, depth);
    out.append('<').append(tag).append('>').append(text).append("</").append(tag).append(">\n");
}

QByteArray realText(double value) {
    if (std::isnan(value)) return QByteArrayLiteral("nan");
    if (std::isinf(value)) return value > 0 ? "+infinity" : "-infinity";
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendMap(QByteArray& out, const QVariantMap& map, int depth) {
    indent(out, depth);
    if (map.isEmpty()) {
        out.append("<dict/>\n");
        return;
    }
    out.append("<dict>\n");
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const qsizetype before = out.size();
        PlistXmlWriter::appendElement(out, "key", it.key(), depth + 1);
        const qsizetype afterKey = out.size();
        PlistXmlWriter::appendValue(out, it.value(), depth + 1);
        if (out.size() == afterKey) out.truncate(before);  // no property-list form
    }
    indent(out, depth);
    out.append("</dict>\n");
}

void appendList(QByteArray& out, const QVariantList& list, int depth) {
    indent(out, depth);
    if (list.isEmpty()) {
        out.append("<array/>\n");
        return;
    }
    out.append("<array>\n");
    for (const QVariant& item : list) PlistXmlWriter::appendValue(out, item, depth + 1);
    indent(out, depth);
    out.append("</array>\n");
}

}  // namespace

namespace PlistXmlWriter {

// Markup characters escaped, a carriage return as a character reference,
// tab and line feed kept, other control characters dropped; everything else
// encoded as UTF-8 (an unpaired surrogate becomes U+FFFD, as QString's own
// encoder does).
void appendEscapedUtf8(QByteArray& out, QStringView text) {
    const qsizetype start = out.size();
    out.resize(start + text.size() * 3);
    char* p = out.data() + start;
    const char16_t* s = text.utf16();
    const char16_t* end = s + text.size();
    // Three bytes per UTF-16 unit cover every encoded character; an escape
    // takes up to five, so it makes room for itself.
    auto put = [&](const char* literal, qsizetype length) {
        const qsizetype used = p - out.data();
        out.resize(out.size() + length);
        p = out.data() + used;
        for (qsizetype i = 0; i < length; ++i) *p++ = literal[i];
    };
    while (s != end) {
        const char16_t c = *s++;
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
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && s != end && QChar::isLowSurrogate(*s)) {
            const char32_t u = QChar::surrogateToUcs4(c, *s++);
            *p++ = char(0xF0 | (u >> 18));
            *p++ = char(0x80 | ((u >> 12) & 0x3F));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            const char16_t v = QChar::isSurrogate(c) ? char16_t(0xFFFD) : c;
            *p++ = char(0xE0 | (v >> 12));
            *p++ = char(0x80 | ((v >> 6) & 0x3F));
            *p++ = char(0x80 | (v & 0x3F));
        }
    }
    out.truncate(p - out.data());
}

void appendElement(QByteArray& out, const char* tag, QStringView text, int depth) {
    indent(out, depth);
    out.append('<').append(tag).append('>');
    appendEscapedUtf8(out, text);
    out.append("</").append(tag).append(">\n");
}

void appendValue(QByteArray& out, const QVariant& value, int depth) {
    switch (value.typeId()) {
        case QMetaType::QString:
            appendElement(out, "string", *static_cast<const QString*>(value.constData()), depth);
            return;
        case QMetaType::QVariantMap:
            appendMap(out, *static_cast<const QVariantMap*>(value.constData()), depth);
            return;
        case QMetaType::QVariantList:
            appendList(out, *static_cast<const QVariantList*>(value.constData()), depth);
            return;
        case QMetaType::Bool:
            indent(out, depth);
            out.append(value.toBool() ? "<true/>\n" : "<false/>\n");
            return;
        case QMetaType::LongLong:
        case QMetaType::Int:
            appendNumberElement(out, "integer", QByteArray::number(value.toLongLong()), depth);
            return;
        case QMetaType::Double:
            appendNumberElement(out, "real", realText(value.toDouble()), depth);
            return;
        default:
            PropertyList::appendXmlValue(out, value, depth);
            return;
    }
}

}  // namespace PlistXmlWriter
