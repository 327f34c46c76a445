#pragma once

#include <vector>

#include "SaveWatcher.h"
#include "ServiceReplay.h"

// Where the time of one phase of a share went: before the agent's first
// request, inside the service, between the agent's requests, after its last
// answer; and how many list saves landed meanwhile.
class PhaseBreakdown {
  public:
    // One share's phase from `from` to `to` (system clock, microseconds),
    // with the requests that arrived in it and the saves that landed in it.
    void add(qint64 from, qint64 to, const std::vector<const ServiceReplay::Logged*>& phase,
             const std::vector<SaveWatcher::Save>& landed);
    // Medians over the shares added.
    void print(const char* title, double totalMs) const;

    static double median(std::vector<double> values);

  private:
    std::vector<double> before_, service_, between_, after_, saves_, saving_, requests_;
};
