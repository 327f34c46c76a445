#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "FCPX/FCPXWindowControllerInterface.h"
#include "FuzzEntries.h"
#include "appleevents/AEWireFormat.h"
#include "appleevents/ScriptingRuntime.h"
#include "service/QVTesselUtil.h"

using namespace AECodes;

namespace {

using FuzzEntries::check;

// Keeps each request for an asset until the event that asked has been
// handled, then answers it the way the window controller does: with an
// asset in a temporary folder named after the share, or with none when the
// share has no name.
class HeldWindowController : public FCPXWindowControllerInterface {
  public:
    void newAssetWithName(const QString& name, const std::optional<QVariantMap>& metaData,
                          const std::optional<QVariantMap>& dataOptions,
                          AssetCompletion completion) override {
        std::shared_ptr<FCPXAsset> asset;
        if (!name.isEmpty()) {
            asset = std::make_shared<FCPXAsset>(QVTesselUtil::sanitizeFileNameString(name),
                                                QUrl::fromLocalFile(QDir::tempPath()));
            asset->setMetadata(metaData.value_or(QVariantMap()));
            asset->setDataOptions(dataOptions.value_or(QVariantMap()));
        }
        held_.emplace_back(std::move(completion), std::move(asset));
    }

    void answerAll() {
        auto held = std::move(held_);
        held_.clear();
        for (auto& [completion, asset] : held) completion(asset);
    }

  private:
    std::vector<std::pair<AssetCompletion, std::shared_ptr<FCPXAsset>>> held_;
};

// A reply the agent sends must reach the editor as the same descriptor.
void checkReplyTravels(const AEDesc& reply) {
    const auto frame = AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Reply, reply);
    if (!frame) return;  // too deep or too large: the server answers with an error instead
    QByteArray buffer = *frame;
    AEWireFormat::FrameKind kind;
    AEDesc decoded;
    QString why;
    check(AEWireFormat::takeFrame(buffer, &kind, &decoded, &why) == AEWireFormat::Status::Frame,
          "an encoded reply decodes");
    check(buffer.isEmpty() && kind == AEWireFormat::FrameKind::Reply, "one whole reply frame");
    check(AEWireFormat::encodeFrame(AEWireFormat::FrameKind::Reply, decoded) == frame,
          "a reply re-encodes to the same bytes");
}

}  // namespace

namespace FuzzEntries {

int appleEventFrames(const uint8_t* data, size_t size) {
    initialize();
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));

    auto window = std::make_shared<HeldWindowController>();
    FCPXDocumentController controller;
    controller.setWindowControllerFactory(
        [window](const std::shared_ptr<FCPXDocument>&) { return window; });
    ScriptingRuntime runtime;
    controller.installScripting(runtime);
    controller.newDocument();

    // Frames in order, as the server takes them off one connection, until the
    // stream ends or turns malformed (the server would close it).
    for (int frames = 0; frames < 32; ++frames) {
        AEWireFormat::FrameKind kind;
        AEDesc event;
        QString why;
        const auto status = AEWireFormat::takeFrame(buffer, &kind, &event, &why);
        if (status != AEWireFormat::Status::Frame) {
            check(status == AEWireFormat::Status::NeedMore || !why.isEmpty(),
                  "a malformed frame says why");
            break;
        }
        if (kind != AEWireFormat::FrameKind::Event) break;
        auto replies = std::make_shared<std::vector<AEDesc>>();
        runtime.handleAppleEvent(event, [replies](const AEDesc& r) { replies->push_back(r); });
        window->answerAll();
        QCoreApplication::sendPostedEvents();
        check(replies->size() <= 1, "one reply per event");
        for (const AEDesc& reply : *replies) checkReplyTravels(reply);
    }
    window->answerAll();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}

}  // namespace FuzzEntries
