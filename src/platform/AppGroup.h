#pragma once

#include <QString>

// The shared application group of the agent, the service and the companion.
class AppGroup {
  public:
    // First entry of "com.apple.security.application-groups" in the embedded
    // entitlements; null when it cannot be read.
    static QString entitlementIdentifier();
    // The compiled-in fallback, "group.com.corvane.pro".
    static QString fallbackIdentifier();
    // $XDG_DATA_HOME/<identifier> (default ~/.local/share/<identifier>);
    // null when no home can be found.
    static QString containerPath(const QString& identifier);
};
