#include "PlistWriter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

QByteArray PlistWriter::header() {
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n");
}

QByteArray PlistWriter::footer() {
    return QByteArrayLiteral("\n</plist>\n");
}

QByteArray PlistWriter::document(const QVariant& value) {
    QByteArray out = header();
    appendValue(out, value);
    out += footer();
    return out;
}

QByteArray PlistWriter::escaped(const QString& text) {
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void PlistWriter::appendKey(QByteArray& out, const QString& key) {
    out += "<key>" + escaped(key) + "</key>";
}

void PlistWriter::appendString(QByteArray& out, const QString& text) {
    out += "<string>" + escaped(text) + "</string>";
}

void PlistWriter::appendValue(QByteArray& out, const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Bool:
            out += value.toBool() ? "<true/>" : "<false/>";
            return;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Long:
            out += "<integer>" + QByteArray::number(value.toLongLong()) + "</integer>";
            return;
        case QMetaType::Double: {
            const double d = value.toDouble();
            if (d == static_cast<double>(static_cast<qint64>(d)) && qAbs(d) < 9.0e15)
                out += "<integer>" + QByteArray::number(static_cast<qint64>(d)) + "</integer>";
            else
                out += "<real>" + QByteArray::number(d, 'g', 17) + "</real>";
            return;
        }
        case QMetaType::QByteArray:
            out += "<data>" + value.toByteArray().toBase64() + "</data>";
            return;
        case QMetaType::QDateTime:
            out += "<date>" + value.toDateTime().toUTC().toString(Qt::ISODate).toUtf8() + "</date>";
            return;
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
        case QMetaType::QJsonArray: {
            out += "<array>";
            for (const QVariant& item : value.toList()) appendValue(out, item);
            out += "</array>";
            return;
        }
        case QMetaType::QVariantMap:
        case QMetaType::QJsonObject: {
            const QVariantMap map = value.toMap();
            out += "<dict>";
            for (auto it = map.cbegin(); it != map.cend(); ++it) {
                appendKey(out, it.key());
                appendValue(out, it.value());
            }
            out += "</dict>";
            return;
        }
        case QMetaType::QJsonValue:
            appendValue(out, value.value<QJsonValue>().toVariant());
            return;
        case QMetaType::Nullptr:
        case QMetaType::UnknownType:
            // Property lists have no null; an empty string keeps the key.
            out += "<string></string>";
            return;
        default:
            appendString(out, value.toString());
            return;
    }
}
