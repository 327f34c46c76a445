#pragma once

#include <functional>
#include <memory>

#include <QJsonObject>
#include <QString>
#include <QVariantMap>

#include "export/QVExportItem.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

class QVLibrary;
class QVProject;
class QVUploadLocation;

namespace UploadFixtures {

// The seed: local user "agent"/"agent-secret"; library "media" with project
// "p1" holding group "g1", which holds "g2"; project "p2" without groups; and
// a library named kAwkwardName with one project "a1".
QJsonObject seed();
// A database name holding everything a URL path treats specially.
inline const QString kAwkwardName = QStringLiteral("Cut/2026 ?#%1 Ärger");

// Clip metadata as the editor passes it.
QVariantMap fcpMetaData();

// Runs the event loop until done() (a guard against a hung test, not a
// timing assertion).
bool waitFor(const std::function<bool()>& done, int limitMs = 60000);

// Writes a file of a few bytes, creating its folder.
bool touch(const QString& path);

}  // namespace UploadFixtures

// A temporary home with the stand-in service running, the companion check
// pointed at it, the library registry loaded, the local credentials synced
// and the project trees read.
class ServiceFixture {
  public:
    ServiceFixture();
    ~ServiceFixture();

    bool ready() const { return ready_; }
    QString problem() const { return problem_; }

    std::shared_ptr<QVLibrary> library;  // "media"
    std::shared_ptr<QVProject> node(const QString& id) const;

    // The service's upload location for the library (asked through the
    // upload manager).
    std::shared_ptr<QVUploadLocation> uploadLocation(std::shared_ptr<QVLibrary> of = nullptr);
    // An item inside the library at the service's upload location.
    std::shared_ptr<QVExportItem> insideItem(const QString& name, const QString& nodeID,
                                             bool fcpXMLOnly = false);
    // An item written to a folder of the temporary home.
    std::shared_ptr<QVExportItem> storeToItem(const QString& name, const QString& nodeID);

    QJsonObject storedAsset(const QString& assetID);

    TempHome home;
    TesselServiceProcess service;

  private:
    bool ready_ = false;
    QString problem_;
};
