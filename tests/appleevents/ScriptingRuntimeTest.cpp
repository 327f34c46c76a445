#include <gtest/gtest.h>

#include <QUrl>

#include "appleevents/AppleEventClient.h"
#include "appleevents/ApplicationDelegate.h"
#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptCommand.h"
#include "appleevents/ScriptableObject.h"
#include "appleevents/ScriptingRuntime.h"
#include "appleevents/UserDefinedRecord.h"

using namespace AECodes;

namespace {

const char* kDefinition = R"(<?xml version="1.0"?>
<dictionary>
  <suite name="Test" code="test">
    <command name="make" code="corecrel">
      <parameter name="new" code="kocl" type="type"><cocoa key="ObjectClass"/></parameter>
      <parameter name="at" code="insh" type="location specifier" optional="yes"><cocoa key="Location"/></parameter>
      <parameter name="with properties" code="prdt" type="record" optional="yes"><cocoa key="KeyDictionary"/></parameter>
      <result type="specifier"/>
    </command>
    <command name="get" code="coregetd"><direct-parameter type="specifier"/></command>
    <command name="wait" code="testwait"><cocoa class="WaitCommand"/>
      <direct-parameter type="text"/><result type="text"/></command>
    <value-type name="user defined record" code="usrf"><cocoa class="NSDictionary"/></value-type>
    <record-type name="spot" code="spot">
      <property name="where" code="whre" type="file"/>
      <property name="big" code="bigg" type="boolean"/>
    </record-type>
    <class name="application" code="capp"><cocoa class="NSApplication"/>
      <element type="box"><cocoa key="orderedDocuments"/></element></class>
    <class name="box" code="boxx"><cocoa class="Box"/>
      <element type="thing"><cocoa key="things"/></element></class>
    <class name="thing" code="thng"><cocoa class="Thing"/>
      <property name="id" code="ID  " type="text"><cocoa key="uniqueID"/></property>
      <property name="name" code="pnam" type="text"/>
      <property name="spot" code="spot" type="spot"/>
      <property name="extra" code="xtra" type="user defined record"/>
      <property name="missing" code="miss" type="text"/>
    </class>
    <class name="gadget" code="gadg"><cocoa class="Gadget"/></class>
  </suite>
</dictionary>)";

const ScriptingDefinition& definition() {
    static const ScriptingDefinition def = *ScriptingDefinition::parse(kDefinition);
    return def;
}

struct Box;

struct Thing : ScriptableObject {
    QString id;
    QVariantMap values;
    std::weak_ptr<Box> box;
    QString scriptingClassName() const override { return "Thing"; }
    QVariant valueForKey(const QString& key) const override {
        if (key == "uniqueID") return id;
        return values.value(key);
    }
    bool setValueForKey(const QString& key, const QVariant& v) override {
        if (key == "uniqueID") return false;
        values.insert(key, v);
        return true;
    }
    QString uniqueIDForScripting() const override { return id; }
    std::optional<ObjectSpecifier> objectSpecifier() const override;
};

struct Box : ScriptableObject {
    QList<std::shared_ptr<ScriptableObject>> things;
    QString scriptingClassName() const override { return "Box"; }
    QList<std::shared_ptr<ScriptableObject>> elementsForKey(const QString& key) const override {
        return key == "things" ? things : QList<std::shared_ptr<ScriptableObject>>{};
    }
    bool insertElementForKey(const QString& key, std::shared_ptr<ScriptableObject> e,
                             int index) override {
        if (key != "things") return false;
        auto thing = std::dynamic_pointer_cast<Thing>(e);
        thing->box = std::static_pointer_cast<Box>(shared_from_this());
        things.insert(index < 0 ? things.size() : index, e);
        return true;
    }
    std::optional<ObjectSpecifier> objectSpecifier() const override {
        return ObjectSpecifier::index("application", ObjectSpecifier(), "orderedDocuments", 1);
    }
};

std::optional<ObjectSpecifier> Thing::objectSpecifier() const {
    auto b = box.lock();
    if (!b) return std::nullopt;
    return ObjectSpecifier::uniqueID("box", *b->objectSpecifier(), "things", id);
}

class WaitCommand : public ScriptCommand {
  public:
    static inline std::vector<std::shared_ptr<WaitCommand>> waiting;
    QVariant performDefaultImplementation() override {
        suspendExecution();
        waiting.push_back(std::static_pointer_cast<WaitCommand>(shared_from_this()));
        return {};
    }
};

class Probe : public ScriptCommand {
  public:
    static inline qint32 seen = -1;
    QVariant performDefaultImplementation() override {
        seen = runtime()
                   ->currentAppleEvent()
                   .attributeDescriptorForKeyword(keyInteractLevelAttr)
                   ->int32Value();
        return {};
    }
};

struct Delegate : ApplicationDelegate {
    QStringList calls;
    void openFiles(const QStringList& paths) override { calls << "open:" + paths.join(","); }
    void reopen() override { calls << "reopen"; }
    void openApplication() override { calls << "oapp"; }
    void quit() override { calls << "quit"; }
};

class RuntimeFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        box = std::make_shared<Box>();
        runtime.application()->setDocumentsProvider(
            [this] { return QList<std::shared_ptr<ScriptableObject>>{box}; });
        runtime.registerObjectClass("Thing", [this] {
            auto t = std::make_shared<Thing>();
            t->id = QString("T%1").arg(++made);
            return t;
        });
        runtime.registerCommandClass("WaitCommand", [] { return std::make_shared<WaitCommand>(); });
        runtime.setDelegate(&delegate);
        WaitCommand::waiting.clear();
    }

    AEDesc send(const AEDesc& event) {
        AEDesc answer;
        int replies = 0;
        runtime.handleAppleEvent(event, [&](const AEDesc& r) {
            answer = r;
            ++replies;
        });
        EXPECT_EQ(replies, 1);
        return answer;
    }

    static AEDesc make(quint32 cls, const AEDesc& props = AEDesc::recordDescriptor()) {
        AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
        ev.setParamDescriptor(AEDesc::typeCode(cls), fourCC("kocl"));
        AEDesc loc = AEDesc::recordDescriptor(typeInsertionLoc);
        loc.setDescriptor(
            *ObjectSpecifier::index("application", ObjectSpecifier(), "orderedDocuments", 1)
                 .descriptor(definition()),
            keyAEObject);
        loc.setDescriptor(AEDesc::enumCode(kAEEnd), keyAEPosition);
        ev.setParamDescriptor(loc, fourCC("insh"));
        ev.setParamDescriptor(props, fourCC("prdt"));
        return ev;
    }

    AEDesc get(const AEDesc& thingSpecifier, quint32 property) {
        AEDesc prop = AEDesc::recordDescriptor(typeObjectSpecifier);
        prop.setDescriptor(AEDesc::typeCode(cProperty), keyAEDesiredClass);
        prop.setDescriptor(thingSpecifier, keyAEContainer);
        prop.setDescriptor(AEDesc::enumCode(formPropertyID), keyAEKeyForm);
        prop.setDescriptor(AEDesc::typeCode(property), keyAEKeyData);
        AEDesc ev = AEDesc::appleEvent(kAECoreSuite, kAEGetData);
        ev.setParamDescriptor(prop, keyDirectObject);
        return send(ev);
    }

    ScriptingRuntime runtime{definition()};
    std::shared_ptr<Box> box;
    Delegate delegate;
    int made = 0;
};

}  // namespace

TEST(ScriptingDefinition, ReadsTheAgentsTerminology) {
    const auto& def = ScriptingDefinition::relaydock();
    const auto* asset = def.classWithName("asset");
    ASSERT_NE(asset, nullptr);
    EXPECT_EQ(asset->code, fourCC("aset"));
    EXPECT_EQ(asset->cocoaClass, "FCPXAsset");
    EXPECT_EQ(asset->propertyWithCode(fourCC("locn"))->type, "asset location");
    EXPECT_EQ(asset->propertyWithCode(fourCC("locn"))->cocoaKey, "locationInfo");
    EXPECT_EQ(asset->propertyWithCode(fourCC("meta"))->type, "user defined record");
    EXPECT_EQ(asset->propertyWithCode(fourCC("dopt"))->cocoaKey, "dataOptions");
    EXPECT_EQ(asset->propertyWithCode(fourCC("ID  "))->cocoaKey, "uniqueID");
    EXPECT_EQ(def.classWithCode(fourCC("docu"))->elementWithType("asset")->cocoaKey, "assets");
    const auto* location = def.recordTypeWithCode(fourCC("aslc"));
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->properties.size(), 4);
    EXPECT_EQ(def.valueTypeWithName("user defined record")->code, fourCC("usrf"));
    const auto* make = def.commandFor(kAECoreSuite, kAECreateElement);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->cocoaClass, "FCPXCreateCommand");
    EXPECT_EQ(make->parameterWithCode(fourCC("prdt"))->cocoaKey, "KeyDictionary");
    EXPECT_EQ(make->parameterWithCode(fourCC("kocl"))->cocoaKey, "ObjectClass");
}

TEST(ScriptingDefinition, RefusesBadDefinitions) {
    QString error;
    EXPECT_FALSE(ScriptingDefinition::parse("<notadictionary/>", &error));
    EXPECT_FALSE(ScriptingDefinition::parse(
        "<dictionary><suite><class name='x' code='toolong'/></suite></dictionary>", &error));
    EXPECT_TRUE(error.contains("4-character"));
    EXPECT_FALSE(ScriptingDefinition::parse("<dictionary><suite>", &error));
}

TEST_F(RuntimeFixture, StandardMakeCreatesInsertsAndAnswersWithTheSpecifier) {
    AEDesc props = AEDesc::recordDescriptor();
    props.setDescriptor(AEDesc::unicodeText("first"), fourCC("pnam"));
    props.setDescriptor(
        UserDefinedRecord::scriptingUserDefinedRecordDescriptor(QVariantMap{{"k", "v"}}),
        fourCC("xtra"));
    props.setDescriptor(AEDesc::int32(1), fourCC("zzzz"));  // unknown terms are ignored
    const AEDesc reply = send(make(fourCC("thng"), props));
    ASSERT_EQ(AppleEventClient::errorNumber(reply), 0)
        << AppleEventClient::errorString(reply).toStdString();
    ASSERT_EQ(box->things.size(), 1);
    auto thing = std::static_pointer_cast<Thing>(box->things[0]);
    EXPECT_EQ(thing->values.value("name").toString(), "first");
    EXPECT_EQ(thing->values.value("extra").toMap(), (QVariantMap{{"k", "v"}}));

    const auto specifier =
        ObjectSpecifier::fromDescriptor(*AppleEventClient::result(reply), definition());
    ASSERT_TRUE(specifier.has_value());
    EXPECT_EQ(specifier->form(), ObjectSpecifier::Form::UniqueID);
    EXPECT_EQ(specifier->key(), "things");
    EXPECT_EQ(specifier->uniqueIDValue(), "T1");
    EXPECT_EQ(specifier->evaluate(runtime.application()), box->things[0]);
}

TEST_F(RuntimeFixture, MakeFailuresAnswerErrorNumbers) {
    AEDesc noClass = make(fourCC("thng"));
    noClass.setParamDescriptor(AEDesc(), fourCC("kocl"));
    // A 'null' class is not a type: the argument cannot be converted.
    EXPECT_EQ(AppleEventClient::errorNumber(send(noClass)), errAECoercionFail);
    AEDesc missing = AEDesc::appleEvent(kAECoreSuite, kAECreateElement);
    EXPECT_EQ(AppleEventClient::errorNumber(send(missing)), errAEParamMissed);
    EXPECT_EQ(AppleEventClient::errorNumber(send(make(fourCC("what")))), errOSACantCreate);
    EXPECT_EQ(AppleEventClient::errorNumber(send(make(fourCC("gadg")))), errOSACantCreate);
    EXPECT_EQ(AppleEventClient::errorNumber(send(make(fourCC("boxx")))), errOSACantCreate);
    EXPECT_TRUE(box->things.isEmpty());
}

TEST_F(RuntimeFixture, GetConvertsByThePropertysType) {
    const AEDesc made = *AppleEventClient::result(send(make(fourCC("thng"))));
    auto thing = std::static_pointer_cast<Thing>(box->things[0]);
    thing->values.insert("name", "a name");
    thing->values.insert("spot",
                         QVariantMap{{"where", QUrl::fromLocalFile("/tmp/x y/")}, {"big", true}});
    thing->values.insert("extra", QVariantMap{{"n", 5}});

    const AEDesc name = *AppleEventClient::result(get(made, fourCC("pnam")));
    EXPECT_EQ(name.descriptorType(), typeUnicodeText);
    EXPECT_EQ(name.stringValue(), "a name");
    EXPECT_EQ(AppleEventClient::result(get(made, fourCC("ID  ")))->stringValue(), "T1");

    const AEDesc spot = *AppleEventClient::result(get(made, fourCC("spot")));
    EXPECT_EQ(spot.descriptorType(), fourCC("spot"));
    EXPECT_EQ(spot.descriptorForKeyword(fourCC("whre"))->descriptorType(), typeFileURL);
    EXPECT_EQ(spot.descriptorForKeyword(fourCC("whre"))->fileURLValue().toLocalFile(), "/tmp/x y/");
    EXPECT_EQ(spot.descriptorForKeyword(fourCC("bigg"))->descriptorType(), typeBoolean);

    const AEDesc extra = *AppleEventClient::result(get(made, fourCC("xtra")));
    EXPECT_EQ(UserDefinedRecord::scriptingUserDefinedRecordWithDescriptor(extra),
              (QVariantMap{{"n", "5"}}));

    EXPECT_EQ(AppleEventClient::errorNumber(get(made, fourCC("miss"))), errAENoSuchObject);
    EXPECT_EQ(AppleEventClient::errorNumber(get(made, fourCC("nope"))), errAENoSuchObject);
    AEDesc gone = made;
    gone.setDescriptor(AEDesc::unicodeText("T99"), keyAEKeyData);
    EXPECT_EQ(AppleEventClient::errorNumber(get(gone, fourCC("pnam"))), errAENoSuchObject);
}

TEST_F(RuntimeFixture, SuspendedCommandsAnswerWhenResumedInAnyOrder) {
    std::vector<QString> answers;
    for (const char* text : {"one", "two"}) {
        AEDesc ev = AEDesc::appleEvent(fourCC("test"), fourCC("wait"));
        ev.setParamDescriptor(AEDesc::unicodeText(text), keyDirectObject);
        runtime.handleAppleEvent(ev, [&, text](const AEDesc& r) {
            answers.push_back(QString(text) + "=" + AppleEventClient::result(r)->stringValue());
        });
    }
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(runtime.suspendedCommandCount(), 2);
    auto second = WaitCommand::waiting[1];
    auto first = WaitCommand::waiting[0];
    WaitCommand::waiting.clear();
    second->resumeExecutionWithResult(second->directParameter().toString() + "!");
    first->resumeExecutionWithResult(first->directParameter().toString() + "!");
    first->resumeExecutionWithResult("ignored");
    EXPECT_EQ(answers, (std::vector<QString>{"two=two!", "one=one!"}));
    EXPECT_EQ(runtime.suspendedCommandCount(), 0);
}

TEST_F(RuntimeFixture, CoreEventsGoToTheDelegate) {
    AEDesc open = AEDesc::appleEvent(kCoreEventClass, kAEOpenDocuments);
    AEDesc files = AEDesc::listDescriptor();
    files.insertDescriptor(AEDesc::fileURL(QUrl::fromLocalFile("/a/b c.mov")), 0);
    files.insertDescriptor(AEDesc::fileURL(QUrl("https://example.invalid/x")), 0);
    files.insertDescriptor(AEDesc::fileURL(QUrl::fromLocalFile("/a/b c.fcpxml")), 0);
    open.setParamDescriptor(files, keyDirectObject);
    EXPECT_EQ(AppleEventClient::errorNumber(send(open)), 0);
    EXPECT_EQ(
        AppleEventClient::errorNumber(send(AEDesc::appleEvent(kCoreEventClass, kAEOpenDocuments))),
        errAEParamMissed);
    send(AEDesc::appleEvent(kCoreEventClass, kAEReopenApplication));
    send(AEDesc::appleEvent(kCoreEventClass, kAEOpenApplication));
    send(AEDesc::appleEvent(kCoreEventClass, kAEQuitApplication));
    EXPECT_EQ(delegate.calls,
              (QStringList{"open:/a/b c.mov,/a/b c.fcpxml", "reopen", "oapp", "quit"}));
    EXPECT_EQ(
        AppleEventClient::errorNumber(send(AEDesc::appleEvent(fourCC("xxxx"), fourCC("yyyy")))),
        errAEEventNotHandled);
}

TEST_F(RuntimeFixture, CurrentEventCarriesTheInteractionLevel) {
    runtime.registerCommandClass("WaitCommand", [] { return std::make_shared<Probe>(); });
    Probe::seen = -1;
    AEDesc ev = AEDesc::appleEvent(fourCC("test"), fourCC("wait"));
    send(ev);
    EXPECT_EQ(Probe::seen, kAECanInteract);  // a sender that says nothing can interact
    ev.setAttributeDescriptor(AEDesc::int32(kAENeverInteract), keyInteractLevelAttr);
    send(ev);
    EXPECT_EQ(Probe::seen, kAENeverInteract);
    EXPECT_TRUE(runtime.currentAppleEvent().isNull());
}
