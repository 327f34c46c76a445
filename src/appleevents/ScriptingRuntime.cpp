#include "appleevents/ScriptingRuntime.h"

#include <QUrl>

#include "appleevents/ApplicationDelegate.h"
#include "appleevents/CreateCommand.h"
#include "appleevents/GetCommand.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptCommand.h"
#include "appleevents/URLValue.h"
#include "platform/QVLog.h"

using namespace AECodes;

namespace {

// Restores the previous current event when handling ends, so that an event
// handled inside another one's nested event loop leaves things as they were.
class CurrentEventScope {
  public:
    CurrentEventScope(AEDesc& slot, const AEDesc& event) : slot_(slot), saved_(slot) {
        slot_ = event;
    }
    ~CurrentEventScope() { slot_ = saved_; }

  private:
    AEDesc& slot_;
    AEDesc saved_;
};

}  // namespace

ScriptingRuntime::ScriptingRuntime(const ScriptingDefinition& definition)
    : def_(definition),
      conversion_(definition),
      application_(std::make_shared<ScriptApplication>()) {
    registerCommandClass("NSCreateCommand", [] { return std::make_shared<CreateCommand>(); });
    registerCommandClass("NSGetCommand", [] { return std::make_shared<GetCommand>(); });
}

ScriptingRuntime::~ScriptingRuntime() = default;

void ScriptingRuntime::registerCommandClass(const QString& cocoaClass, CommandFactory factory) {
    commandClasses_[cocoaClass] = std::move(factory);
}

void ScriptingRuntime::registerObjectClass(const QString& cocoaClass, ObjectFactory factory) {
    objectClasses_[cocoaClass] = std::move(factory);
}

ScriptingRuntime::ObjectFactory ScriptingRuntime::objectFactory(const QString& cocoaClass) const {
    const auto it = objectClasses_.find(cocoaClass);
    return it == objectClasses_.end() ? ObjectFactory() : it->second;
}

std::shared_ptr<ScriptCommand> ScriptingRuntime::makeCommand(
    const ScriptCommandDescription& description) const {
    auto it = commandClasses_.find(description.cocoaClass);
    if (it == commandClasses_.end()) {
        if (description.eventClass == kAECoreSuite && description.eventID == kAECreateElement)
            it = commandClasses_.find("NSCreateCommand");
        else if (description.eventClass == kAECoreSuite && description.eventID == kAEGetData)
            it = commandClasses_.find("NSGetCommand");
    }
    if (it != commandClasses_.end() && it->second) return it->second();
    return std::make_shared<ScriptCommand>();
}

void ScriptingRuntime::handleAppleEvent(const AEDesc& event, ReplyFunction reply) {
    AEDesc current = event;
    if (!current.attributeDescriptorForKeyword(keyInteractLevelAttr))
        current.setAttributeDescriptor(AEDesc::int32(kAECanInteract), keyInteractLevelAttr);
    CurrentEventScope scope(current_, current);

    if (event.eventClass() == kCoreEventClass) return handleCoreEvent(event, reply);

    const ScriptCommandDescription* description =
        def_.commandFor(event.eventClass(), event.eventID());
    if (!description) return reply(errorReply(errAEEventNotHandled));

    // Plain arguments first; then records, whose keys are the properties of
    // the class named by a "type" argument (the class a make is for).
    QVariantMap arguments;
    const ScriptClassDescription* context = nullptr;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& p : description->parameters) {
            if ((p.type == "record") != (pass == 1)) continue;
            const auto desc = event.paramDescriptorForKeyword(p.code);
            if (!desc) continue;
            const auto value = conversion_.valueForDescriptor(*desc, p.type, context);
            if (!value) {
                return reply(errorReply(
                    errAECoercionFail,
                    QStringLiteral("Can't make the %1 parameter into a %2.").arg(p.name, p.type)));
            }
            arguments.insert(p.cocoaKey, *value);
            if (p.type == "type") context = def_.classWithCode(quint32(value->toLongLong()));
        }
    }
    QVariant direct;
    if (const auto desc = event.paramDescriptorForKeyword(keyDirectObject)) {
        const QString type = description->directParameter ? description->directParameter->type
                                                          : QStringLiteral("any");
        const auto value = conversion_.valueForDescriptor(*desc, type);
        if (!value) {
            int number = errAECoercionFail;
            if (type == "specifier") number = errAENoSuchObject;
            return reply(errorReply(number));
        }
        direct = *value;
    }

    auto command = makeCommand(*description);
    command->setUp(this, description, current, arguments, direct, std::move(reply));
    command->execute();
}

void ScriptingRuntime::handleCoreEvent(const AEDesc& event, const ReplyFunction& reply) {
    const AEEventID id = event.eventID();
    if (id != kAEOpenDocuments && id != kAEReopenApplication && id != kAEOpenApplication &&
        id != kAEQuitApplication)
        return reply(errorReply(errAEEventNotHandled));
    if (!delegate_) return reply(errorReply(errAEEventNotHandled));
    const AEDesc answer = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    if (id == kAEOpenDocuments) {
        const auto direct = event.paramDescriptorForKeyword(keyDirectObject);
        if (!direct) return reply(errorReply(errAEParamMissed));
        QStringList paths;
        auto take = [&paths](const AEDesc& item) {
            if (item.descriptorType() == typeFileURL) {
                const QUrl url = URLValue::urlValue(item);
                if (url.isLocalFile()) paths << url.toLocalFile();
            } else if (const QString text = item.stringValue(); !text.isEmpty()) {
                paths << text;
            }
        };
        if (direct->isList()) {
            for (int i = 1; i <= direct->numberOfItems(); ++i) take(*direct->descriptorAtIndex(i));
        } else {
            take(*direct);
        }
        if (paths.isEmpty()) return reply(errorReply(errAEParamMissed));
        reply(answer);
        delegate_->openFiles(paths);
    } else if (id == kAEReopenApplication) {
        reply(answer);
        delegate_->reopen();
    } else if (id == kAEOpenApplication) {
        reply(answer);
        delegate_->openApplication();
    } else {
        reply(answer);
        delegate_->quit();
    }
}

AEDesc ScriptingRuntime::replyForCommand(const ScriptCommand& command,
                                         const QVariant& result) const {
    if (command.scriptErrorNumber() != 0)
        return errorReply(command.scriptErrorNumber(), command.scriptErrorString());
    AEDesc answer = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    if (!result.isValid()) return answer;
    const QString type =
        command.commandDescription() && !command.commandDescription()->resultType.isEmpty()
            ? command.commandDescription()->resultType
            : QStringLiteral("any");
    const auto desc = conversion_.descriptorForValue(result, type);
    if (!desc) return errorReply(errAECoercionFail);
    answer.setParamDescriptor(*desc, keyDirectObject);
    return answer;
}

AEDesc ScriptingRuntime::errorReply(int number, const QString& text) {
    AEDesc answer = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    answer.setParamDescriptor(AEDesc::int32(number), keyErrorNumber);
    answer.setParamDescriptor(AEDesc::unicodeText(text.isEmpty() ? messageForError(number) : text),
                              keyErrorString);
    return answer;
}

QString ScriptingRuntime::messageForError(int number) {
    switch (number) {
        case userCanceledErr:
            return QStringLiteral("User canceled.");
        case errAECoercionFail:
            return QStringLiteral("Can't make some data into the expected type.");
        case errAEDescNotFound:
            return QStringLiteral("Some data was missing from the event.");
        case errAECorruptData:
            return QStringLiteral("Some data could not be read.");
        case errAEEventNotHandled:
            return QStringLiteral("The event is not handled.");
        case errAENoUserInteraction:
            return QStringLiteral("No user interaction allowed.");
        case errAEParamMissed:
            return QStringLiteral("A required parameter is missing.");
        case errAENoSuchObject:
            return QStringLiteral("Can't get the reference.");
        case errOSACantCreate:
            return QStringLiteral("Can't make or move that element into that container.");
        default:
            return QStringLiteral("The command failed.");
    }
}

void ScriptingRuntime::commandSuspended(const std::shared_ptr<ScriptCommand>& command) {
    suspended_.push_back(command);
}

void ScriptingRuntime::commandResumed(const ScriptCommand* command) {
    std::erase_if(suspended_, [command](const auto& c) { return c.get() == command; });
}
