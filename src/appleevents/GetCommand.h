#pragma once

#include "appleevents/ScriptCommand.h"

// get: the value of a property, converted by the property's type, or an
// object's own specifier. A property the object does not offer answers
// -1728.
class GetCommand : public ScriptCommand {
  public:
    QVariant performDefaultImplementation() override;
};
