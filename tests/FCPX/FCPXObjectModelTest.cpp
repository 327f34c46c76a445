#include <unistd.h>

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "FCPX/FCPXAsset.h"
#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "FakeWindowController.h"
#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptingDefinition.h"

using namespace AECodes;

TEST(FCPXObject, IDsAndNamesCountUpThroughTheRun) {
    const QString first = FCPXObject::calculateNewUniqueID();
    const QString second = FCPXObject::calculateNewUniqueID();
    const QRegularExpression form(QStringLiteral("^CORVANE-PRO-%1-(\\d+)$").arg(::getpid()));
    const auto a = form.match(first);
    const auto b = form.match(second);
    ASSERT_TRUE(a.hasMatch()) << first.toStdString();
    ASSERT_TRUE(b.hasMatch());
    EXPECT_EQ(b.captured(1).toLongLong(), a.captured(1).toLongLong() + 1);

    FCPXObject plain;
    const qint64 n = plain.name().mid(9).toLongLong();
    EXPECT_TRUE(plain.name().startsWith("Untitled "));
    FCPXAsset asset("Named", QUrl());  // consumes a name counter value anyway
    FCPXObject next;
    EXPECT_EQ(next.name(), QStringLiteral("Untitled %1").arg(n + 2));
    EXPECT_EQ(asset.name(), "Named");
    EXPECT_NE(plain.uniqueID(), next.uniqueID());
}

TEST(FCPXAsset, DefaultsAndLocationInfo) {
    FCPXAsset asset("a/b:c", QUrl::fromLocalFile("/tmp/out/"));
    EXPECT_TRUE(asset.hasMedia());
    EXPECT_TRUE(asset.hasDescription());
    EXPECT_TRUE(asset.metadata().isEmpty());
    const QVariantMap info = asset.locationInfo();
    EXPECT_EQ(info.size(), 4);
    EXPECT_EQ(info.value("basename").toString(), "a_b_c");
    EXPECT_EQ(asset.name(), "a/b:c");
    EXPECT_EQ(info.value("folder").toUrl(), QUrl::fromLocalFile("/tmp/out/"));
    EXPECT_EQ(info.value("hasMedia").typeId(), QMetaType::Bool);

    asset.setWantFCPXMLOnly(true);
    EXPECT_FALSE(asset.locationInfo().value("hasMedia").toBool());
    EXPECT_TRUE(asset.locationInfo().value("hasDescription").toBool());

    FCPXAsset nowhere("x", QUrl());
    EXPECT_FALSE(nowhere.locationInfo().contains("folder"));
    EXPECT_FALSE(nowhere.valueForKey("libraryInfo").isValid());  // not offered
}

TEST(FCPXDocument, HoldsAssetsUnderTheKeyAssets) {
    auto document = std::make_shared<FCPXDocument>();
    EXPECT_TRUE(document->uniqueID().startsWith("CORVANE-PRO-"));
    EXPECT_TRUE(document->dataOfType("x", nullptr).isNull());
    EXPECT_TRUE(document->readFromData("anything", "x", nullptr));
    EXPECT_EQ(FCPXDocument::windowNibName(), "FCPXDocument");

    auto a = std::make_shared<FCPXAsset>("a", QUrl());
    auto b = std::make_shared<FCPXAsset>("b", QUrl());
    auto c = std::make_shared<FCPXAsset>("c", QUrl());
    document->insertInAssets(a);
    document->insertInAssets(b, 0);
    document->insertInAssets(c, 99);
    ASSERT_EQ(document->assets(), (QList<std::shared_ptr<FCPXAsset>>{b, a, c}));
    EXPECT_EQ(a->container(), document);
    EXPECT_EQ(a->containerProperty(), "assets");
    document->removeFromAssetsAtIndex(3);
    EXPECT_EQ(document->assets().size(), 3);
    document->removeFromAssetsAtIndex(0);
    EXPECT_EQ(document->assets().first(), a);
    document->removeAll();
    EXPECT_TRUE(document->assets().isEmpty());
}

TEST(FCPXDocument, AssetSpecifierNamesTheKeyAndTheUniqueID) {
    auto document = std::make_shared<FCPXDocument>();
    auto asset = std::make_shared<FCPXAsset>("clip", QUrl());
    EXPECT_FALSE(asset->objectSpecifier().has_value());  // not in a document yet
    document->insertInAssets(asset);
    const auto specifier = asset->objectSpecifier();
    ASSERT_TRUE(specifier.has_value());
    EXPECT_EQ(specifier->form(), ObjectSpecifier::Form::UniqueID);
    EXPECT_EQ(specifier->key(), "assets");
    EXPECT_EQ(specifier->uniqueIDValue(), asset->uniqueID());
    EXPECT_EQ(specifier->containerClassName(), "document");

    const auto& def = ScriptingDefinition::relaydock();
    const AEDesc desc = *specifier->descriptor(def);
    EXPECT_EQ(desc.descriptorType(), typeObjectSpecifier);
    EXPECT_EQ(desc.descriptorForKeyword(keyAEDesiredClass)->typeCodeValue(), fourCC("aset"));
    EXPECT_EQ(desc.descriptorForKeyword(keyAEKeyForm)->typeCodeValue(), formUniqueID);
    EXPECT_EQ(desc.descriptorForKeyword(keyAEKeyData)->stringValue(), asset->uniqueID());
    const AEDesc from = *desc.descriptorForKeyword(keyAEContainer);
    EXPECT_EQ(from.descriptorForKeyword(keyAEDesiredClass)->typeCodeValue(), fourCC("docu"));
    EXPECT_EQ(*ObjectSpecifier::fromDescriptor(desc, def), *specifier);
}

TEST(FCPXDocumentController, KeepsOneDocumentAndTheFirstIsCurrent) {
    FCPXDocumentController controller;
    EXPECT_EQ(FCPXDocumentController::sharedDocumentController(), &controller);
    EXPECT_EQ(controller.currentDocument(), nullptr);
    int made = 0;
    controller.setWindowControllerFactory([&](const std::shared_ptr<FCPXDocument>&) {
        ++made;
        return std::make_shared<FakeWindowController>();
    });
    controller.newDocument();
    controller.newDocument();
    ASSERT_EQ(controller.documents().size(), 1);
    EXPECT_EQ(made, 1);
    EXPECT_NE(controller.currentDocument()->windowController(), nullptr);
    auto second = controller.makeUntitledDocumentOfType("FCPXDocument", nullptr);
    controller.addDocument(second);
    EXPECT_NE(controller.currentDocument(), second);
    FCPXDocumentController other;
    EXPECT_EQ(FCPXDocumentController::sharedDocumentController(), &controller);
}
