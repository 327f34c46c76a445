#include <gtest/gtest.h>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "FakeWindowController.h"
#include "WaitUntil.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptingRuntime.h"
#include "appleevents/UserDefinedRecord.h"
#include "platform/QVLog.h"

using namespace AECodes;

namespace {

class CreateCommandFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        controller.setWindowControllerFactory(
            [this](const std::shared_ptr<FCPXDocument>&) { return window; });
        controller.installScripting(runtime);
    }

    AEDesc makeEvent(const QVariantMap& meta = {}, const QVariantMap& options = {},
                     std::optional<qint32> level = kAECanInteract, quint32 cls = fourCC("aset"),
                     bool withProperties = true) {
        AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
        ev.setParamDescriptor(AEDesc::typeCode(cls), fourCC("kocl"));
        if (withProperties) {
            AEDesc props = AEDesc::recordDescriptor();
            props.setDescriptor(AEDesc::unicodeText("My: Clip"), fourCC("pnam"));
            props.setDescriptor(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(meta),
                                fourCC("meta"));
            props.setDescriptor(UserDefinedRecord::scriptingUserDefinedRecordDescriptor(options),
                                fourCC("dopt"));
            ev.setParamDescriptor(props, fourCC("prdt"));
        }
        if (level) ev.setAttributeDescriptor(AEDesc::int32(*level), keyInteractLevelAttr);
        return ev;
    }

    // Sends the event and serves the event loop until it is answered.
    AEDesc run(const AEDesc& event) {
        std::optional<AEDesc> reply;
        runtime.handleAppleEvent(event, [&](const AEDesc& r) { reply = r; });
        EXPECT_TRUE(waitUntil([&] { return reply.has_value(); }));
        return reply.value_or(AEDesc());
    }

    FCPXDocumentController controller;
    ScriptingRuntime runtime;
    std::shared_ptr<FakeWindowController> window = std::make_shared<FakeWindowController>();
};

}  // namespace

TEST_F(CreateCommandFixture, MakeAnswersWithTheNewAssetsSpecifier) {
    controller.newDocument();
    QVLog::Capture log;
    const AEDesc reply = run(makeEvent({{"k", "v"}}, {{"availableMetadataSets", "all"}}));
    ASSERT_EQ(AppleEventClient::errorNumber(reply), 0);
    ASSERT_EQ(window->calls.size(), 1u);
    EXPECT_EQ(window->calls[0].name, "My: Clip");
    EXPECT_EQ(window->calls[0].metaData, (QVariantMap{{"k", "v"}}));
    EXPECT_EQ(window->calls[0].dataOptions, (QVariantMap{{"availableMetadataSets", "all"}}));

    const auto document = controller.currentDocument();
    ASSERT_EQ(document->assets().size(), 1);
    const auto asset = document->assets().first();
    const auto specifier =
        ObjectSpecifier::fromDescriptor(*AppleEventClient::result(reply), runtime.definition());
    ASSERT_TRUE(specifier.has_value());
    EXPECT_EQ(specifier->key(), "assets");
    EXPECT_EQ(specifier->uniqueIDValue(), asset->uniqueID());
    EXPECT_EQ(specifier->evaluate(runtime.application()), asset);

    EXPECT_TRUE(log.contains("SLOG: File=FCPXCreateCommand.cpp line="));
    EXPECT_TRUE(
        log.contains("proc=-[FCPXCreateCommand performDefaultImplementation] The direct "
                     "parameter is: '(null)'"));
    EXPECT_TRUE(log.contains("The other parameters are: '{"));

    // A second make leaves only the new asset in the document.
    ASSERT_EQ(AppleEventClient::errorNumber(run(makeEvent())), 0);
    ASSERT_EQ(document->assets().size(), 1);
    EXPECT_NE(document->assets().first(), asset);
}

TEST_F(CreateCommandFixture, WithoutPropertiesTheShareStillGoesOn) {
    controller.newDocument();
    const AEDesc reply = run(makeEvent({}, {}, kAECanInteract, fourCC("aset"), false));
    EXPECT_EQ(AppleEventClient::errorNumber(reply), 0);
    ASSERT_EQ(window->calls.size(), 1u);
    EXPECT_TRUE(window->calls[0].name.isNull());
    EXPECT_FALSE(window->calls[0].metaData.has_value());
    EXPECT_FALSE(window->calls[0].dataOptions.has_value());
}

TEST_F(CreateCommandFixture, RefusalsAnswerTheirErrorNumbersBeforeTheControllerIsAsked) {
    QVLog::Capture log;
    // No document yet.
    EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent())), errAECorruptData);
    EXPECT_TRUE(log.contains("FCPX Document is not valid"));
    controller.newDocument();
    // No class.
    AEDesc noClass = makeEvent();
    AEDesc stripped = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    stripped.setParamDescriptor(*noClass.paramDescriptorForKeyword(fourCC("prdt")), fourCC("prdt"));
    EXPECT_EQ(AppleEventClient::errorNumber(run(stripped)), errAEParamMissed);
    EXPECT_TRUE(log.contains("No object class specified"));
    // Never interact, and levels outside the three allowed.
    for (qint32 level : {kAENeverInteract, 0, 0x50}) {
        EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent({}, {}, level))),
                  errAENoUserInteraction);
    }
    EXPECT_TRUE(log.contains("Can't interact to application"));
    EXPECT_TRUE(window->calls.empty());
    for (qint32 level : {kAECanInteract, kAEAlwaysInteract, kAECanSwitchLayer})
        EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent({}, {}, level))), 0);
    // Other classes are made the standard way, which has no maker for them.
    EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent({}, {}, kAECanInteract, fourCC("docu")))),
              errOSACantCreate);
    EXPECT_EQ(controller.documents().size(), 1);
}

TEST_F(CreateCommandFixture, NoAssetFromTheControllerIsACancelledShare) {
    controller.newDocument();
    window->mode = FakeWindowController::Mode::Cancel;
    EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent())), userCanceledErr);
    EXPECT_TRUE(controller.currentDocument()->assets().isEmpty());
}

TEST_F(CreateCommandFixture, DocumentWithoutAWindowControllerIsRefusedNotLeftHanging) {
    auto bare = controller.makeUntitledDocumentOfType("FCPXDocument", nullptr);
    controller.addDocument(bare);
    EXPECT_EQ(AppleEventClient::errorNumber(run(makeEvent())), errAECorruptData);
}

TEST_F(CreateCommandFixture, SuspendedMakesResumedInReverseOrderGetTheirOwnReplies) {
    controller.newDocument();
    window->mode = FakeWindowController::Mode::Hold;
    std::vector<std::optional<AEDesc>> replies(2);
    for (int i = 0; i < 2; ++i)
        runtime.handleAppleEvent(makeEvent(), [&replies, i](const AEDesc& r) { replies[i] = r; });
    ASSERT_EQ(window->calls.size(), 2u);
    EXPECT_EQ(runtime.suspendedCommandCount(), 2);
    auto firstAsset = window->makeAsset("first", {}, {});
    auto secondAsset = window->makeAsset("second", {}, {});
    window->calls[1].completion(secondAsset);
    window->calls[1].completion(firstAsset);  // a second call changes nothing
    ASSERT_TRUE(replies[1].has_value());
    EXPECT_FALSE(replies[0].has_value());
    window->calls[0].completion(firstAsset);
    ASSERT_TRUE(replies[0].has_value());
    auto idOf = [&](const AEDesc& reply) {
        return ObjectSpecifier::fromDescriptor(*AppleEventClient::result(reply),
                                               runtime.definition())
            ->uniqueIDValue();
    };
    EXPECT_EQ(idOf(*replies[0]), firstAsset->uniqueID());
    EXPECT_EQ(idOf(*replies[1]), secondAsset->uniqueID());
    EXPECT_EQ(controller.currentDocument()->assets(),
              (QList<std::shared_ptr<FCPXAsset>>{firstAsset}));
    EXPECT_EQ(runtime.suspendedCommandCount(), 0);
}
