#include "appleevents/UserList.h"

#include "appleevents/GenericObject.h"

QVariantList UserList::scriptingUserListWithDescriptor(const AEDesc& desc) {
    QVariantList out;
    for (int i = 1; i <= desc.numberOfItems(); ++i) {
        const QVariant v = GenericObject::objectValue(*desc.descriptorAtIndex(i));
        if (v.isValid()) out.append(v);
    }
    return out;
}

AEDesc UserList::scriptingUserListDescriptor(const QVariantList& array) {
    AEDesc list = AEDesc::listDescriptor();
    int position = 1;
    for (const auto& element : array)
        list.insertDescriptor(GenericObject::descriptorWithObject(element), position++);
    return list;
}
