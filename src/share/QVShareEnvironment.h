#pragma once

#include <functional>

#include <QString>

// The collaborators of the share pipeline that tests replace: when the
// launch's work starts, how delayed work is scheduled, how open and reveal
// reach the desktop, how the application ends and whether the local service
// answers. Each pipeline gets its own, so tests build as many independent
// ones as they like.
struct QVShareEnvironment {
    // Runs fn on the main queue after ms milliseconds.
    using Scheduler = std::function<void(int ms, std::function<void()> fn)>;
    // "open" or "reveal", and the path; false when the desktop refused.
    using Workspace = std::function<bool(const QString& command, const QString& path)>;

    // Between the libraries' arrival and the read of the stored list.
    int launchDelayMs = 1000;
    Scheduler after;
    Workspace workspace;
    // After the alert that the stored list cannot be read.
    std::function<void()> terminate;
    // Short synchronous check of the local service (its credentials too).
    std::function<bool()> serviceCheck;

    // The agent's own: the dispatcher's timers, the desktop, the event
    // loop's end and the upload manager's check. Members left empty in
    // `overrides` are taken from it.
    static QVShareEnvironment standard(QVShareEnvironment overrides);
    static QVShareEnvironment standard();
};
