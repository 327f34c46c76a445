#include "DescriptorJson.h"

#include <QJsonArray>
#include <QJsonObject>

#include "appleevents/UserDefinedRecord.h"

using namespace AECodes;

namespace {

QString fieldName(quint32 code) {
    switch (code) {
        case fourCC("asfd"):
            return "folder";
        case fourCC("asbn"):
            return "basename";
        case fourCC("ashm"):
            return "hasMedia";
        case fourCC("ashd"):
            return "hasDescription";
        case fourCC("want"):
            return "want";
        case fourCC("from"):
            return "from";
        case fourCC("form"):
            return "form";
        case fourCC("seld"):
            return "seld";
        default:
            return toString(code);
    }
}

}  // namespace

QJsonValue DescriptorJson::toJson(const AEDesc& desc) {
    const DescType t = desc.descriptorType();
    if (desc.isList()) {
        QJsonArray out;
        for (int i = 1; i <= desc.numberOfItems(); ++i)
            out.append(toJson(*desc.descriptorAtIndex(i)));
        return out;
    }
    if (desc.isRecord()) {
        QJsonObject out;
        if (t == typeAERecord && desc.descriptorForKeyword(keyASUserRecordFields)) {
            const QVariantMap map =
                UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(desc);
            for (auto it = map.cbegin(); it != map.cend(); ++it)
                out.insert(it.key(), QJsonValue::fromVariant(it.value()));
            return out;
        }
        for (const auto& [k, v] : desc.fields()) out.insert(fieldName(k), toJson(v));
        return out;
    }
    if (desc.isAppleEvent()) {
        QJsonObject out;
        for (const auto& [k, v] : desc.fields()) out.insert(toString(k), toJson(v));
        return out;
    }
    if (t == typeNull) return QJsonValue::Null;
    if (t == typeBoolean || t == typeTrue || t == typeFalse) return desc.booleanValue();
    if (t == typeType || t == typeEnumerated || t == typeKeyword)
        return toString(desc.typeCodeValue());
    if (t == typeFileURL) return QString::fromUtf8(desc.data());
    if (t == typeIEEE64BitFloatingPoint) return desc.stringValue().toDouble();
    if (const auto wide = desc.int64Value();
        wide && t != typeUnicodeText && t != typeUTF8Text && t != typeChar)
        return double(*wide);
    const QString text = desc.stringValue();
    if (!text.isNull()) return text;
    QJsonObject raw;
    raw.insert("type", toString(t));
    raw.insert("data", QString::fromLatin1(desc.data().toHex()));
    return raw;
}
