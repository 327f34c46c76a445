#pragma once

#include <QtGlobal>

// Decides from the file itself whether whoever writes it is done, for a file
// whose writer will not tell us: the editor announces a finished export to
// the agent that asked for it, and when that agent died the announcement
// is lost. A file counts as complete once it is not empty, its size and
// modification time have stayed the same for the quiet period, and no
// writer is known to hold it open.
//
// Pure bookkeeping over what the caller saw and when (a monotonic clock in
// milliseconds), so the rule is tested without waiting.
class QVFileCompleteness {
  public:
    struct Look {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;  // modification time, nanoseconds
        // Written to since it was last closed after writing, as far as
        // the caller can tell (false when it cannot).
        bool writerOpen = false;
    };

    explicit QVFileCompleteness(qint64 quietMs) : quietMs_(quietMs) {}

    // Records one look at the file taken at nowMs; answers whether the file
    // is complete now.
    bool observe(qint64 nowMs, const Look& look);

  private:
    qint64 quietMs_;
    bool seen_ = false;
    qint64 size_ = 0;
    qint64 modifiedNs_ = 0;
    qint64 stableSinceMs_ = 0;
};
