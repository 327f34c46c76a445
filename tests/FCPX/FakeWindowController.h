#pragma once

#include <QDir>
#include <QTimer>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXWindowControllerInterface.h"
#include "service/QVTesselUtil.h"

// Stands in for the main window controller: makes the asset in a folder of
// the test's choosing (answering on the main queue, as the real one does),
// gives up, or keeps the completion for the test to call.
class FakeWindowController : public FCPXWindowControllerInterface {
  public:
    enum class Mode { Asset, Cancel, Hold };

    struct Call {
        QString name;
        std::optional<QVariantMap> metaData;
        std::optional<QVariantMap> dataOptions;
        AssetCompletion completion;
    };

    Mode mode = Mode::Asset;
    QString folder = QDir::tempPath();
    bool fcpXMLOnly = false;
    std::vector<Call> calls;

    void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                          const std::optional<QVariantMap>& dataOptions,
                          AssetCompletion completion) override {
        calls.push_back({name, metaData, dataOptions, completion});
        if (mode == Mode::Hold) return;
        std::shared_ptr<FCPXAsset> asset;
        if (mode == Mode::Asset) asset = makeAsset(name, metaData, dataOptions);
        QTimer::singleShot(0, [completion, asset] { completion(asset); });
    }

    std::shared_ptr<FCPXAsset> makeAsset(const QString& name,
                                         const std::optional<QVariantMap>& metaData,
                                         const std::optional<QVariantMap>& dataOptions) const {
        auto asset = std::make_shared<FCPXAsset>(QVTesselUtil::sanitizeFileNameString(name),
                                                 QUrl::fromLocalFile(folder));
        asset->setMetadata(metaData.value_or(QVariantMap()));
        if (dataOptions && dataOptions->contains("availableMetadataSets")) {
            QVariantMap options = *dataOptions;
            options.insert("metadataSet", options.value("availableMetadataSets"));
            asset->setDataOptions(options);
        }
        asset->setWantFCPXMLOnly(fcpXMLOnly);
        return asset;
    }
};
