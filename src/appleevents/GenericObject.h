#pragma once

#include <QString>
#include <QVariant>

#include "appleevents/AEDesc.h"

// Any supported value to a descriptor and any descriptor to a value.
namespace GenericObject {

// Array -> list, dictionary -> user-defined record, string -> 'utxt',
// URL -> 'furl', anything else -> 'utxt' of its description.
AEDesc descriptorWithObject(const QVariant& object);

// The integer types -> qint64 (through int32Value when the value fits 32
// bits, the full value otherwise), 'furl' -> QUrl (invalid QVariant when the
// bytes are no URL), 'list' -> QVariantList, 'reco' -> QVariantMap of the
// user-defined record, 'utf8'/'utxt' -> QString, anything else -> the raw
// data as QByteArray, logged as "Creating NSData for AE desc type %.4s.".
QVariant objectValue(const AEDesc& desc);

// The text a value shows as in logs and in user-defined records: strings as
// they are, numbers in decimal, booleans as 1 or 0, URLs as their absolute
// text, arrays as "(\n    a,\n    b\n)", dictionaries as
// "{\n    k = v;\n}", data as "{length = n, bytes = 0x...}", nil as
// "(null)".
QString description(const QVariant& object);

}  // namespace GenericObject
