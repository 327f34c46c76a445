#pragma once

#include <functional>

// Runs the main event loop until cond() holds or timeoutMs pass (the limit
// only ends a test that would otherwise hang). Returns cond().
bool waitUntil(const std::function<bool()>& cond, int timeoutMs = 30000);
