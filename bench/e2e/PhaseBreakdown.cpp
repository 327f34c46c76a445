#include "PhaseBreakdown.h"

#include <algorithm>
#include <cstdio>

namespace {
double ms(qint64 us) {
    return double(us) / 1000.0;
}
}  // namespace

double PhaseBreakdown::median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PhaseBreakdown::add(qint64 from, qint64 to,
                         const std::vector<const ServiceReplay::Logged*>& phase,
                         const std::vector<SaveWatcher::Save>& landed) {
    saves_.push_back(double(landed.size()));
    qint64 inSaves = 0;
    for (const auto& save : landed)
        if (save.startUs > 0) inSaves += save.landedUs - std::max(from, save.startUs);
    saving_.push_back(ms(inSaves));
    requests_.push_back(double(phase.size()));
    if (phase.empty()) {
        before_.push_back(0);
        service_.push_back(0);
        between_.push_back(0);
        after_.push_back(ms(to - from));
        return;
    }
    // Requests may overlap (the agent uses several connections): the
    // service's share is the union of the intervals it was answering.
    qint64 inService = 0, busyFrom = 0, busyTo = 0, lastAnswer = 0;
    for (const auto* logged : phase) {
        const auto& r = logged->request;
        const qint64 answered = std::max(r.answeredUs, r.receivedUs);
        lastAnswer = std::max(lastAnswer, answered);
        if (r.receivedUs > busyTo) {
            inService += busyTo - busyFrom;
            busyFrom = r.receivedUs;
        }
        busyTo = std::max(busyTo, answered);
    }
    inService += busyTo - busyFrom;
    const qint64 first = phase.front()->request.receivedUs;
    before_.push_back(ms(first - from));
    service_.push_back(ms(inService));
    between_.push_back(ms(lastAnswer - first - inService));
    after_.push_back(ms(to - lastAnswer));
}

void PhaseBreakdown::print(const char* title, double total) const {
    std::printf("  %s (median %.2f ms): %.1f requests, %.1f list saves\n", title, total,
                median(requests_), median(saves_));
    std::printf("    agent before its first request   %8.2f ms\n", median(before_));
    std::printf("    service answering                %8.2f ms\n", median(service_));
    std::printf("    agent between requests (+wire)   %8.2f ms\n", median(between_));
    std::printf("    agent after the last answer      %8.2f ms\n", median(after_));
    std::printf("    (agent writing list saves        %8.2f ms of the agent's time)\n",
                median(saving_));
}
