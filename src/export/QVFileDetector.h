#pragma once

#include <functional>
#include <memory>

#include <QString>

class QVExportItem;

// Notices when the editor starts writing an export and when it abandons one.
// The editor only tells us about a file once it is finished, so in between
// we poll the file system. Polls are driven by timers: a waiting detection
// holds no thread, so hundreds of pending exports cost nothing.
class QVFileDetector {
  public:
    using Completion = std::function<void(bool)>;

    // Tests the item's filePath (taken once, now) at whole poll intervals 0
    // to waitTime; YES as soon as something exists there, NO after the last
    // test fails. The completion runs once, on a background thread; for a
    // nil item or path at once on the calling thread.
    static void detectWithExportItem(const std::shared_ptr<QVExportItem>& item, double waitTime,
                                     Completion completion);
    // The same for any path (the description of a movie item).
    static void detectAtPath(const QString& path, double waitTime, Completion completion);

    // While the movie file exists and the item is still exporting, keeps
    // polling. YES when the file disappears (the editor cancelled), NO when
    // the item's status moved on. No time limit.
    static void watchExportingWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                             Completion completion);

    // For a file whose finish the editor announced to an agent that is gone:
    // polls until the file is complete (see QVFileCompleteness; a writer is
    // seen through inotify from this call on) and answers YES. NO as soon as
    // stillWanted() answers false (checked at every poll, on a background
    // thread) or the file is gone. No time limit.
    static void waitUntilComplete(const QString& path, std::function<bool()> stillWanted,
                                  Completion completion);

    // One poll interval in milliseconds (one second unless a test shortens
    // it).
    static int pollInterval();
    static void setPollInterval(int milliseconds);
    // How long a file must stay unchanged to count as complete (10 s unless
    // changed).
    static int quietPeriod();
    static void setQuietPeriod(int milliseconds);

    // How every poll after the first is scheduled: the given function runs
    // the poll after the interval. A timer on the background pool unless a
    // test steps the polls itself; an empty function restores the timer.
    using Scheduler = std::function<void(int milliseconds, std::function<void()> poll)>;
    static void setScheduler(Scheduler scheduler);
    // The monotonic clock of the completeness wait, in milliseconds.
    static void setClock(std::function<qint64()> clock);
};
