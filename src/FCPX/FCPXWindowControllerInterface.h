#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>
#include <QVariantMap>

class FCPXAsset;

// How the scripting document reaches the main window controller, which
// lives in a layer above and implements this.
class FCPXWindowControllerInterface {
  public:
    using AssetCompletion = std::function<void(std::shared_ptr<FCPXAsset> asset)>;

    virtual ~FCPXWindowControllerInterface() = default;

    // Called on the main thread; returns at once. Chooses the destination
    // and calls completion exactly once, on the main queue, with the new
    // asset, or with nullptr when the share cannot go on. Any argument may be
    // nil (a null string, an empty optional).
    virtual void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                                  const std::optional<QVariantMap>& dataOptions,
                                  AssetCompletion completion) = 0;
    // Shows the controller's window (a document opened for display).
    virtual void showWindow() {}
};
