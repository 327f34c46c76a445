#pragma once

#include <QJsonValue>

#include "appleevents/AEDesc.h"

// Descriptors as JSON for printing: text as strings, numbers and booleans as
// such, file URLs as their URL text, codes as their four characters, lists as
// arrays, user-defined records as objects of their pairs, asset locations by
// field name, object specifiers as {"want", "from", "form", "seld"}.
namespace DescriptorJson {
QJsonValue toJson(const AEDesc& desc);
}
