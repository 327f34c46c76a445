#include "platform/PropertyList.h"

#include <plist/plist.h>

#include <cmath>
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
                map.insert(name, converted);
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
        case PLIST_STRING:
        case PLIST_KEY: {
            char* text = nullptr;
            if (plist_get_node_type(node) == PLIST_KEY)
                plist_get_key_val(node, &text);
            else
                plist_get_string_val(node, &text);
            out = QString::fromUtf8(text ? text : "");
            free(text);
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
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            const qint64 ms = (qint64(sec) + kPlistEpochOffset) * 1000 + usec / 1000;
            out = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
            return true;
        }
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

// Text content: the three markup characters escaped, a carriage return kept
// as a character reference (XML readers turn a literal one into a line
// feed), and the control characters XML 1.0 cannot carry dropped.
void appendEscaped(QByteArray& out, const QByteArray& utf8) {
    const char* begin = utf8.constData();
    const char* end = begin + utf8.size();
    const char* run = begin;
    for (const char* p = begin; p != end; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const char* replacement;
        switch (c) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '\r':
                replacement = "&#13;";
                break;
            case '\t':
            case '\n':
                continue;
            default:
                if (c >= 0x20) continue;
                replacement = "";
                break;
        }
        out.append(run, p - run);
        out.append(replacement);
        run = p + 1;
    }
    out.append(run, end - run);
}

void indent(QByteArray& out, int depth) {
    if (depth > 0) out.append(qsizetype(depth), '\t');
}

void appendElement(QByteArray& out, int depth, const char* tag, const QByteArray& text,
                   bool escape) {
    indent(out, depth);
    out.append('<').append(tag).append('>');
    if (escape)
        appendEscaped(out, text);
    else
        out.append(text);
    out.append("</").append(tag).append(">\n");
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
        appendElement(out, depth + 1, "key", it.key().toUtf8(), true);
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
    if (data.startsWith("bplist00"))
        plist_from_bin(data.constData(), length, &root);
    else
        plist_from_xml(data.constData(), length, &root);
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
void PropertyList::appendXmlValue(QByteArray& out, const QVariant& value, int depth) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            return;
        case QMetaType::QVariantMap:
            appendDict(out, value.toMap(), depth);
            return;
        case QMetaType::QVariantHash: {
            const QVariantHash hash = value.toHash();
            QVariantMap map;
            for (auto it = hash.cbegin(); it != hash.cend(); ++it) map.insert(it.key(), it.value());
            appendDict(out, map, depth);
            return;
        }
        case QMetaType::QVariantList:
            appendArray(out, value.toList(), depth);
            return;
        case QMetaType::QStringList: {
            const QStringList strings = value.toStringList();
            appendArray(out, QVariantList(strings.cbegin(), strings.cend()), depth);
            return;
        }
        case QMetaType::QString:
            appendElement(out, depth, "string", value.toString().toUtf8(), true);
            return;
        case QMetaType::QUrl:
            appendElement(out, depth, "string", value.toUrl().toString().toUtf8(), true);
            return;
        case QMetaType::QByteArray:
            appendElement(out, depth, "data", value.toByteArray().toBase64(), false);
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
            appendElement(out, depth, "integer", QByteArray::number(value.toULongLong()), false);
            return;
        case QMetaType::LongLong:
        case QMetaType::Long:
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
            appendElement(out, depth, "integer", QByteArray::number(value.toLongLong()), false);
            return;
        case QMetaType::Double:
        case QMetaType::Float:
            appendElement(out, depth, "real", realText(value.toDouble()), false);
            return;
        case QMetaType::QDateTime:
        case QMetaType::QDate: {
            const QDateTime date = value.toDateTime();
            if (!date.isValid()) return;
            appendElement(out, depth, "date",
                          date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")).toLatin1(),
                          false);
            return;
        }
        default:
            if (value.canConvert<QVariantList>() && !value.canConvert<QString>()) {
                appendArray(out, value.toList(), depth);
            } else if (value.canConvert<QString>()) {
                appendElement(out, depth, "string", value.toString().toUtf8(), true);
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
