#pragma once

#include <cstdio>
#include <vector>

#include <QString>

#include "SaveWatcher.h"
#include "ServiceReplay.h"

// Writes each share's phase as a list of moments, in milliseconds from its
// start: every request's arrival and answer, every list save's start and
// landing, and the end. For reading one share's path by eye; nothing when
// no file is named.
class ShareTimeline {
  public:
    explicit ShareTimeline(const QString& file);
    ~ShareTimeline();
    ShareTimeline(const ShareTimeline&) = delete;
    ShareTimeline& operator=(const ShareTimeline&) = delete;

    void add(size_t share, qint64 from, qint64 to,
             const std::vector<const ServiceReplay::Logged*>& phase,
             const std::vector<SaveWatcher::Save>& landed);

  private:
    std::FILE* out_ = nullptr;
};
