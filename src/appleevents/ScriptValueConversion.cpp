#include "appleevents/ScriptValueConversion.h"

#include <QUrl>

#include "appleevents/GenericObject.h"
#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptingDefinition.h"
#include "appleevents/URLValue.h"
#include "appleevents/UserDefinedRecord.h"
#include "appleevents/UserList.h"

using namespace AECodes;

ScriptValueConversion::ScriptValueConversion(const ScriptingDefinition& definition)
    : def_(definition) {}

QList<ScriptPropertyDescription> ScriptValueConversion::allProperties(
    const ScriptClassDescription& cls) const {
    QList<ScriptPropertyDescription> out;
    const ScriptClassDescription* c = &cls;
    for (int i = 0; c && i < 32; ++i) {
        out += c->properties;
        c = c->inherits.isEmpty() ? nullptr : def_.classWithName(c->inherits);
    }
    return out;
}

std::optional<AEDesc> ScriptValueConversion::recordFor(
    const QVariantMap& map, DescType recordType,
    const QList<ScriptPropertyDescription>& properties) const {
    AEDesc record = AEDesc::recordDescriptor(recordType);
    for (const auto& p : properties) {
        const auto it = map.constFind(p.cocoaKey);
        // A missing or nil entry leaves the field out, as nil values do.
        if (it == map.cend() || !it->isValid() || it->isNull()) continue;
        const auto field = descriptorForValue(*it, p.type);
        if (!field) return std::nullopt;
        record.setDescriptor(*field, p.code);
    }
    return record;
}

std::optional<QVariantMap> ScriptValueConversion::mapFor(
    const AEDesc& record, const QList<ScriptPropertyDescription>& properties) const {
    if (!record.isRecord()) return std::nullopt;
    QVariantMap out;
    for (const auto& [code, field] : record.fields()) {
        const ScriptPropertyDescription* prop = nullptr;
        for (const auto& p : properties)
            if (p.code == code) prop = &p;
        if (!prop) continue;  // terms this side does not know are ignored
        const auto value = valueForDescriptor(field, prop->type);
        if (!value) return std::nullopt;
        out.insert(prop->cocoaKey, *value);
    }
    return out;
}

std::optional<AEDesc> ScriptValueConversion::descriptorForValue(const QVariant& value,
                                                                const QString& type) const {
    if (value.canConvert<AEDesc>() && value.typeId() == qMetaTypeId<AEDesc>())
        return value.value<AEDesc>();
    if (value.typeId() == qMetaTypeId<ObjectSpecifier>())
        return value.value<ObjectSpecifier>().descriptor(def_);
    if (type == "text") {
        if (!value.isValid()) return std::nullopt;
        return AEDesc::unicodeText(value.typeId() == QMetaType::QString
                                       ? value.toString()
                                       : GenericObject::description(value));
    }
    if (type == "boolean") {
        if (!value.isValid()) return std::nullopt;
        return AEDesc::boolean(value.toBool());
    }
    if (type == "integer") {
        bool ok = false;
        const qint64 v = value.toLongLong(&ok);
        if (!ok || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
        return AEDesc::int32(qint32(v));
    }
    if (type == "real") {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok) return std::nullopt;
        return AEDesc::doubleValue(v);
    }
    if (type == "file") {
        if (value.typeId() == QMetaType::QUrl) return URLValue::descriptorWithURL(value.toUrl());
        if (value.typeId() == QMetaType::QString)
            return URLValue::descriptorWithURL(QUrl::fromLocalFile(value.toString()));
        return std::nullopt;
    }
    if (type == "type") {
        bool ok = false;
        const qint64 v = value.toLongLong(&ok);
        if (!ok) return std::nullopt;
        return AEDesc::typeCode(quint32(v));
    }
    if (const auto* rt = def_.recordTypeWithName(type)) {
        if (value.typeId() != QMetaType::QVariantMap) return std::nullopt;
        return recordFor(value.toMap(), rt->code, rt->properties);
    }
    if (const auto* vt = def_.valueTypeWithName(type)) {
        if (vt->cocoaClass == "NSDictionary" && value.typeId() == QMetaType::QVariantMap)
            return UserDefinedRecord::scriptingUserDefinedRecordDescriptor(value.toMap());
        if (vt->cocoaClass == "NSArray" && value.canConvert<QVariantList>())
            return UserList::scriptingUserListDescriptor(value.toList());
        return std::nullopt;
    }
    // "any" and types this side has no rule for: by what the value is.
    switch (value.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            return AEDesc::nullDescriptor();
        case QMetaType::Bool:
            return AEDesc::boolean(value.toBool());
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt: {
            const qint64 v = value.toLongLong();
            if (v >= INT32_MIN && v <= INT32_MAX) return AEDesc::int32(qint32(v));
            return AEDesc::int64(v);
        }
        case QMetaType::Double:
            return AEDesc::doubleValue(value.toDouble());
        default:
            return GenericObject::descriptorWithObject(value);
    }
}

std::optional<QVariant> ScriptValueConversion::valueForDescriptor(
    const AEDesc& desc, const QString& type, const ScriptClassDescription* cls) const {
    if (type == "text") {
        const QString s = desc.stringValue();
        if (s.isNull()) return std::nullopt;
        return s;
    }
    if (type == "boolean") {
        if (!desc.coerceToDescriptorType(typeBoolean)) return std::nullopt;
        return desc.booleanValue();
    }
    if (type == "integer") {
        if (!desc.coerceToDescriptorType(typeSInt32)) return std::nullopt;
        return qint64(desc.int32Value());
    }
    if (type == "real") {
        const auto d = desc.coerceToDescriptorType(typeIEEE64BitFloatingPoint);
        if (!d) return std::nullopt;
        return d->stringValue().toDouble();
    }
    if (type == "file") {
        if (desc.descriptorType() == typeFileURL) {
            const QUrl url = URLValue::urlValue(desc);
            if (url.isEmpty()) return std::nullopt;
            return url;
        }
        const QString path = desc.stringValue();
        if (path.isEmpty()) return std::nullopt;
        return QUrl::fromLocalFile(path);
    }
    if (type == "type") {
        const quint32 code = desc.typeCodeValue();
        if (code == 0) return std::nullopt;
        return qint64(code);
    }
    if (type == "specifier" || type == "location specifier") {
        AEDesc target = desc;
        if (desc.descriptorType() == typeInsertionLoc) {
            // Elements are always added at the end of the container.
            const auto object = desc.descriptorForKeyword(keyAEObject);
            if (!object) return std::nullopt;
            target = *object;
        }
        const auto specifier = ObjectSpecifier::fromDescriptor(target, def_);
        if (!specifier) return std::nullopt;
        return QVariant::fromValue(*specifier);
    }
    if (type == "record") {
        if (cls) {
            const auto map = mapFor(desc, allProperties(*cls));
            if (!map) return std::nullopt;
            return *map;
        }
        return GenericObject::objectValue(desc);
    }
    if (const auto* rt = def_.recordTypeWithName(type)) {
        const auto map = mapFor(desc, rt->properties);
        if (!map) return std::nullopt;
        return *map;
    }
    if (const auto* vt = def_.valueTypeWithName(type)) {
        if (vt->cocoaClass == "NSDictionary" && desc.isRecord())
            return UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(desc);
        if (vt->cocoaClass == "NSArray" && desc.isList())
            return UserList::scriptingUserListWithDescriptor(desc);
        return std::nullopt;
    }
    // "any": specifiers stay specifiers, booleans booleans, codes numbers.
    if (desc.descriptorType() == typeObjectSpecifier) {
        const auto specifier = ObjectSpecifier::fromDescriptor(desc, def_);
        if (!specifier) return std::nullopt;
        return QVariant::fromValue(*specifier);
    }
    const DescType t = desc.descriptorType();
    if (t == typeBoolean || t == typeTrue || t == typeFalse) return desc.booleanValue();
    if (t == typeType || t == typeEnumerated) return qint64(desc.typeCodeValue());
    if (t == typeNull) return QVariant();
    return GenericObject::objectValue(desc);
}
