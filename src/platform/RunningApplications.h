#pragma once

#include <QString>

// Whether an application is running, by bundle identifier: a process of this
// user whose executable name is the one registered for the identifier.
class RunningApplications {
  public:
    static bool isRunning(const QString& bundleIdentifier);
    // The executable name registered for an identifier (the companion,
    // "com.corvane.pro", runs as "corvane"); null when unknown.
    static QString executableNameForIdentifier(const QString& bundleIdentifier);
    static void registerExecutable(const QString& bundleIdentifier, const QString& executableName);
};
