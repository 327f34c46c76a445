#pragma once

#include <QVariantList>

#include "appleevents/AEDesc.h"

// List descriptors to and from arrays.
namespace UserList {

// The object of every item in order; items that convert to nothing are
// skipped.
QVariantList scriptingUserListWithDescriptor(const AEDesc& desc);
// Every element through GenericObject::descriptorWithObject, at 1, 2, 3...
AEDesc scriptingUserListDescriptor(const QVariantList& array);

}  // namespace UserList
