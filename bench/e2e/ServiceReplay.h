#pragma once

#include <vector>

#include <QString>

#include "KeptAliveClient.h"
#include "support/TesselServiceProcess.h"

// Requests from the service's log sent again as they were, in order, by a
// minimal client: the floor of what a share asks of the service.
class ServiceReplay {
  public:
    struct Logged {
        QString endpoint;
        TesselServiceProcess::Request request;
    };

    // Sends the requests again; confirmations and updates name the assets
    // this replay created (by order of creation). Answers the first failure,
    // or nothing.
    static QString replay(KeptAliveClient& client, const std::vector<const Logged*>& requests);
    // "GET system, POST create, ..."
    static QString describe(const std::vector<const Logged*>& requests);

  private:
    static KeptAliveClient::Headers headers(const QJsonObject& logged);
};
