#pragma once

#include <vector>

#include <QString>

#include "KeptAliveClient.h"
#include "ServiceReplay.h"

// One sample of the floor: a share's requests replayed on one kept-alive
// connection, then one save of the export list as it stands, by the agent's
// own export-list code. Taken between shares, while the agent is idle, so
// that the floor meets the disk and the service as the shares do.
class FloorSampler {
  public:
    struct Sample {
        double makeRequestsMs = 0;
        double requestsMs = 0;  // the make's and the open phase's
        double saveMs = 0;
        qint64 startUs = 0;  // system clock: the replay's own requests
        qint64 endUs = 0;    // arrive at the service in between
    };

    FloorSampler(const QString& address, quint16 port, QString listFile);

    // False when the sample could not be taken; `error` says why.
    bool sample(const std::vector<const ServiceReplay::Logged*>& make,
                const std::vector<const ServiceReplay::Logged*>& open, QString* error);
    const std::vector<Sample>& samples() const { return samples_; }
    // Whether the service received `us` during one of the replays.
    bool duringReplay(qint64 us) const;
    qsizetype listedItems() const { return listed_; }

  private:
    QString address_;
    quint16 port_ = 0;
    QString listFile_;
    KeptAliveClient client_;
    bool connected_ = false;
    qsizetype listed_ = 0;
    std::vector<Sample> samples_;
};
