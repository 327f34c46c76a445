#pragma once

#include <functional>
#include <memory>

class QVExportItem;

// Registers one finished export file in its library: builds the asset
// fields, creates the asset, records its ID, confirms the upload, and moves
// the item's status along (4 -> 6, 4 -> 5 -> 2 or 4 -> 5 -> 7).
//
// Both operations return at once. The first steps run on the background
// pool, the later ones in the service's completions on the main thread, so
// the blocks are called on either thread. The update block follows every
// status change (callers save the list and redraw the row); the completion
// is called exactly once, when the operation has ended for any reason. The
// adapter saves the list itself only where a crash would otherwise repeat
// work at the service: a new asset ID is on disk before its upload is
// confirmed. Every other status may reach the disk later (a background
// save), as a launch derives the work left from what was stored. The two
// files of one item share their writes: an answer for one while the other
// still waits for the service holds the list's background saves (and a new
// ID's confirmation) for about as long as a write takes.
//
// A run moves the status from the value it had when the run was asked for;
// when something else moved it in between (a cancel), or another run for
// the same file is under way, the run ends with only its completion. A file
// that is not on disk is never sent for: the status stays as it is.
class QVTesselAdapter {
  public:
    using ItemBlock = std::function<void(const std::shared_ptr<QVExportItem>& item)>;

    // The movie file (exportStatus). Nothing happens, apart from the
    // completion, when the file does not exist.
    static void updateWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                     ItemBlock updateBlock, ItemBlock completion);
    // The FCPXML file (fcpXMLStatus). Nothing happens, apart from the
    // completion, when the file does not exist.
    static void updateFCPXMLWithExportItem(const std::shared_ptr<QVExportItem>& item,
                                           ItemBlock updateBlock, ItemBlock completion);

    // Tests: how long the list's background saves wait for the rest of an
    // item's registration at most (milliseconds); negative restores the
    // default.
    static void setPairWaitMilliseconds(int ms);

  private:
    QVTesselAdapter() = delete;
};
