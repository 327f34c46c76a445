#pragma once

#include "appleevents/ScriptCommand.h"

// The standard make command: an object of a class that the definition knows
// and the runtime has a maker for is made, given its properties, inserted
// into the container ("Location", else the application) and answered with
// its specifier. Everything else fails with an error number.
class CreateCommand : public ScriptCommand {
  public:
    QVariant performDefaultImplementation() override;
};
