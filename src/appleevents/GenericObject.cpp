#include "appleevents/GenericObject.h"

#include <QDateTime>
#include <QUrl>

#include "appleevents/ObjectSpecifier.h"
#include "appleevents/URLValue.h"
#include "appleevents/UserDefinedRecord.h"
#include "appleevents/UserList.h"
#include "platform/QVLog.h"

using namespace AECodes;

namespace {

bool isIntegerType(DescType t) {
    return t == typeSInt64 || t == typeSInt32 || t == typeUInt32 || t == typeSInt16 ||
           t == typeUInt64 || t == typeUInt16;
}

QString indented(const QString& text, int depth) {
    return QString(depth * 4, ' ') + text;
}

QString describe(const QVariant& v, int depth);

QString describeList(const QVariantList& list, int depth) {
    QStringList parts;
    for (const auto& item : list) parts << indented(describe(item, depth + 1), depth + 1);
    if (parts.isEmpty()) return QStringLiteral("(\n") + indented(")", depth);
    return QStringLiteral("(\n") + parts.join(",\n") + "\n" + indented(")", depth);
}

QString describeMap(const QVariantMap& map, int depth) {
    QString out = QStringLiteral("{\n");
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        out += indented(it.key() + " = " + describe(it.value(), depth + 1) + ";\n", depth + 1);
    return out + indented("}", depth);
}

QString describe(const QVariant& v, int depth) {
    if (!v.isValid() || v.typeId() == QMetaType::Nullptr) return QStringLiteral("(null)");
    switch (v.typeId()) {
        case QMetaType::QString:
            return v.toString();
        case QMetaType::Bool:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::Long:
            return QString::number(v.toLongLong());
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::UShort:
        case QMetaType::ULong:
            return QString::number(v.toULongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        case QMetaType::QUrl:
            return QString::fromUtf8(v.toUrl().toEncoded());
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            return QStringLiteral("{length = %1, bytes = 0x%2}")
                .arg(b.size())
                .arg(QString::fromLatin1(b.toHex()));
        }
        case QMetaType::QDateTime:
            return v.toDateTime().toUTC().toString("yyyy-MM-dd HH:mm:ss +0000");
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return describeList(v.toList(), depth);
        case QMetaType::QVariantMap:
            return describeMap(v.toMap(), depth);
        default:
            break;
    }
    if (v.canConvert<ObjectSpecifier>()) return v.value<ObjectSpecifier>().description();
    return v.toString();
}

}  // namespace

AEDesc GenericObject::descriptorWithObject(const QVariant& object) {
    switch (object.typeId()) {
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return UserList::scriptingUserListDescriptor(object.toList());
        case QMetaType::QVariantMap:
            return UserDefinedRecord::scriptingUserDefinedRecordDescriptor(object.toMap());
        case QMetaType::QString:
            return AEDesc::unicodeText(object.toString());
        case QMetaType::QUrl:
            return URLValue::descriptorWithURL(object.toUrl());
        default:
            return AEDesc::unicodeText(description(object));
    }
}

QVariant GenericObject::objectValue(const AEDesc& desc) {
    const DescType type = desc.descriptorType();
    if (isIntegerType(type)) {
        // Values beyond 32 bits keep their full value rather than turning
        // into 0, which would silently corrupt large numbers.
        if (desc.coerceToDescriptorType(typeSInt32)) return qint64(desc.int32Value());
        if (const auto wide = desc.int64Value()) return *wide;
        if (const auto u = desc.coerceToDescriptorType(typeUInt64)) {
            quint64 value = 0;
            for (char c : u->data()) value = (value << 8) | quint8(c);
            return value;
        }
        return qint64(0);
    }
    if (type == typeFileURL) {
        const QUrl url = URLValue::urlValue(desc);
        return url.isEmpty() ? QVariant() : QVariant(url);
    }
    if (type == typeAEList && desc.isList()) return UserList::scriptingUserListWithDescriptor(desc);
    if (type == typeAERecord && desc.isRecord())
        return UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(desc);
    if (type == typeUTF8Text || type == typeUnicodeText) return desc.stringValue();
    QVLog::log(QStringLiteral("Creating NSData for AE desc type %1.").arg(toString(type)));
    return desc.data();
}

QString GenericObject::description(const QVariant& object) {
    return describe(object, 0);
}
