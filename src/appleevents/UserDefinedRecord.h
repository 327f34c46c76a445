#pragma once

#include <QList>
#include <QPair>
#include <QVariant>

#include "appleevents/AEDesc.h"

// Records with keys of the writer's choosing: a record descriptor whose field
// 'usrf' is a list alternating key and value (item 1 key, item 2 value, ...).
namespace UserDefinedRecord {

// A dictionary whose keys need not be strings, in enumeration order.
using Dictionary = QList<QPair<QVariant, QVariant>>;

// Key = text of the odd items, value = the object of the item after it;
// pairs with a key without text or a value that converts to nothing are
// dropped; a later equal key replaces an earlier one. No 'usrf' list, or
// fewer than two items: an empty dictionary.
QVariantMap scriptingUserDefinedRecordWithDescriptor(const AEDesc& desc);

// Every string key with its value as text (the value's description when it
// is not a string); other keys are skipped. The 'usrf' list is stored even
// when empty.
AEDesc scriptingUserDefinedRecordDescriptor(const Dictionary& dictionary);
AEDesc scriptingUserDefinedRecordDescriptor(const QVariantMap& dictionary);

}  // namespace UserDefinedRecord
