#include "export/QVFileCompleteness.h"

bool QVFileCompleteness::observe(qint64 nowMs, const Look& look) {
    if (!look.exists) {
        seen_ = false;
        return false;
    }
    // Any change, and any write still going on, starts the quiet period
    // again.
    if (!seen_ || look.size != size_ || look.modifiedNs != modifiedNs_ || look.writerOpen) {
        seen_ = true;
        size_ = look.size;
        modifiedNs_ = look.modifiedNs;
        stableSinceMs_ = nowMs;
    }
    return !look.writerOpen && look.size > 0 && nowMs - stableSinceMs_ >= quietMs_;
}
