#include "appleevents/UserDefinedRecord.h"

#include "appleevents/GenericObject.h"

using namespace AECodes;

QVariantMap UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(const AEDesc& desc) {
    QVariantMap out;
    const auto list = desc.descriptorForKeyword(keyASUserRecordFields);
    if (!list) return out;
    const int n = list->numberOfItems();
    if (n < 2) return out;
    for (int i = 1; i <= n - 1; i += 2) {
        const QString key = list->descriptorAtIndex(i)->stringValue();
        const QVariant value = GenericObject::objectValue(*list->descriptorAtIndex(i + 1));
        if (!key.isNull() && value.isValid()) out.insert(key, value);
    }
    return out;
}

AEDesc UserDefinedRecord::scriptingUserDefinedRecordDescriptor(const Dictionary& dictionary) {
    AEDesc record = AEDesc::recordDescriptor();
    AEDesc list = AEDesc::listDescriptor();
    int position = 1;
    for (const auto& [key, value] : dictionary) {
        if (key.typeId() != QMetaType::QString) continue;
        const QString text = value.typeId() == QMetaType::QString
                                 ? value.toString()
                                 : GenericObject::description(value);
        list.insertDescriptor(AEDesc::unicodeText(key.toString()), position);
        list.insertDescriptor(AEDesc::unicodeText(text), position + 1);
        position += 2;
    }
    record.setDescriptor(list, keyASUserRecordFields);
    return record;
}

AEDesc UserDefinedRecord::scriptingUserDefinedRecordDescriptor(const QVariantMap& dictionary) {
    Dictionary entries;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        entries.append({QVariant(it.key()), it.value()});
    return scriptingUserDefinedRecordDescriptor(entries);
}
