#pragma once

#include <functional>
#include <memory>

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

    // While the movie file exists and the item is still exporting, keeps
    // polling. YES when the file disappears (the editor cancelled), NO when
    // the item's status moved on. No time limit.
    static void watchExportingWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                             Completion completion);

    // One poll interval in milliseconds (one second unless a test shortens
    // it).
    static int pollInterval();
    static void setPollInterval(int milliseconds);
};
