#include "FloorSampler.h"

#include <chrono>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "SaveWatcher.h"
#include "export/QVExportItemManager.h"

FloorSampler::FloorSampler(const QString& address, quint16 port, QString listFile)
    : address_(address), port_(port), listFile_(std::move(listFile)) {}

bool FloorSampler::sample(const std::vector<const ServiceReplay::Logged*>& make,
                          const std::vector<const ServiceReplay::Logged*>& open, QString* error) {
    if (!connected_) {
        connected_ = client_.connectTo(address_, port_);
        if (!connected_) {
            *error = QStringLiteral("service not reachable");
            return false;
        }
    }
    // The list as the agent last wrote it, loaded outside the timed part.
    QTemporaryDir folder;
    if (!QFile::copy(listFile_, folder.filePath("assets.plist"))) {
        *error = QStringLiteral("cannot copy the export list");
        return false;
    }
    QVExportItemManager manager(folder.path(), folder.filePath("Caches"));
    if (!manager.loadExportItems()) {
        *error = QStringLiteral("floor list did not load");
        return false;
    }
    listed_ = manager.count();
    // A first save of a list just read takes longer than the agent's saves
    // of a list it has held; that one is not the floor's.
    if (!manager.save()) {
        *error = QStringLiteral("floor save failed");
        return false;
    }
    Sample s;
    s.startUs = SaveWatcher::nowUs();
    QElapsedTimer t;
    t.start();
    if (const QString e = ServiceReplay::replay(client_, make); !e.isEmpty()) {
        *error = QStringLiteral("replay: ") + e;
        return false;
    }
    s.makeRequestsMs = t.nsecsElapsed() / 1e6;
    if (const QString e = ServiceReplay::replay(client_, open); !e.isEmpty()) {
        *error = QStringLiteral("replay: ") + e;
        return false;
    }
    s.requestsMs = t.nsecsElapsed() / 1e6;
    s.endUs = SaveWatcher::nowUs();
    t.restart();
    if (!manager.save()) {
        *error = QStringLiteral("floor save failed");
        return false;
    }
    s.saveMs = t.nsecsElapsed() / 1e6;
    samples_.push_back(s);
    return true;
}

bool FloorSampler::duringReplay(qint64 us) const {
    for (const Sample& s : samples_)
        if (us >= s.startUs && us <= s.endUs) return true;
    return false;
}
