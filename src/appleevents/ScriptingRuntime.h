#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <QString>

#include "appleevents/AEDesc.h"
#include "appleevents/ScriptValueConversion.h"
#include "appleevents/ScriptingDefinition.h"

class ApplicationDelegate;
class ScriptApplication;
class ScriptCommand;
class ScriptableObject;

// Cocoa scripting in small: takes Apple events, finds the command the
// definition names for them, evaluates the arguments by the definition's
// types and runs the command class registered for it, then answers (at once,
// or when a suspended command resumes). The core events open, reopen, run
// and quit go to the application delegate. Runs on one thread, the one the
// events arrive on.
class ScriptingRuntime {
  public:
    using ReplyFunction = std::function<void(const AEDesc& reply)>;
    using CommandFactory = std::function<std::shared_ptr<ScriptCommand>()>;
    using ObjectFactory = std::function<std::shared_ptr<ScriptableObject>()>;

    explicit ScriptingRuntime(
        const ScriptingDefinition& definition = ScriptingDefinition::relaydock());
    ~ScriptingRuntime();
    ScriptingRuntime(const ScriptingRuntime&) = delete;
    ScriptingRuntime& operator=(const ScriptingRuntime&) = delete;

    const ScriptingDefinition& definition() const { return def_; }
    const ScriptValueConversion& conversion() const { return conversion_; }
    std::shared_ptr<ScriptApplication> application() const { return application_; }

    // Not owned; nullptr answers the core events with -1708.
    void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
    // The class a command's <cocoa class> names; "NSCreateCommand" and
    // "NSGetCommand" are built in, and a make or get whose class is not
    // registered falls back to them.
    void registerCommandClass(const QString& cocoaClass, CommandFactory factory);
    // Makers for the standard make command, by cocoa class.
    void registerObjectClass(const QString& cocoaClass, ObjectFactory factory);
    ObjectFactory objectFactory(const QString& cocoaClass) const;

    void handleAppleEvent(const AEDesc& event, ReplyFunction reply);

    // The event being handled right now (its 'inte' attribute defaulted to
    // 0x20 when the sender gave none); the null descriptor outside handling.
    AEDesc currentAppleEvent() const { return current_; }

    // Suspended commands stay listed until they resume.
    int suspendedCommandCount() const { return int(suspended_.size()); }

    // The answer for a finished command: its error number and text, or the
    // result converted by the command's result type.
    AEDesc replyForCommand(const ScriptCommand& command, const QVariant& result) const;
    static AEDesc errorReply(int number, const QString& text = {});
    static QString messageForError(int number);

    // Called by ScriptCommand.
    void commandSuspended(const std::shared_ptr<ScriptCommand>& command);
    void commandResumed(const ScriptCommand* command);

  private:
    void handleCoreEvent(const AEDesc& event, const ReplyFunction& reply);
    std::shared_ptr<ScriptCommand> makeCommand(const ScriptCommandDescription& description) const;

    const ScriptingDefinition& def_;
    ScriptValueConversion conversion_;
    std::shared_ptr<ScriptApplication> application_;
    ApplicationDelegate* delegate_ = nullptr;
    std::map<QString, CommandFactory> commandClasses_;
    std::map<QString, ObjectFactory> objectClasses_;
    std::vector<std::shared_ptr<ScriptCommand>> suspended_;
    AEDesc current_;
};
