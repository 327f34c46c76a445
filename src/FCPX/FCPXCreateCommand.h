#pragma once

#include "appleevents/CreateCommand.h"

// The make command as the editor sends it for an asset: instead of making the
// asset itself it suspends the event, asks the main window controller for a
// destination and answers when the controller has made the asset (with its
// specifier) or given up (-128). Other classes are made the standard way.
class FCPXCreateCommand : public CreateCommand {
  public:
    QVariant performDefaultImplementation() override;
    // The 'inte' attribute of the event being handled, as a signed 32-bit
    // number.
    qint32 appleEventUserInteractionLevel() const;
};
