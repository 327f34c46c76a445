#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include "appleevents/AEDesc.h"

class ScriptingRuntime;
struct ScriptCommandDescription;

// One script command being executed for an Apple event: its evaluated
// arguments (by the definition's keys), its direct parameter, an error number
// to answer with, and suspension: a command may suspend, return, and resume
// later with its result, which is when the reply goes out.
//
// The result of performDefaultImplementation() (and of a resumption) is a
// QVariant: an ObjectSpecifier, a plain value converted by the command's
// result type, or an AEDesc sent as it is.
class ScriptCommand : public std::enable_shared_from_this<ScriptCommand> {
  public:
    using ReplyFunction = std::function<void(const AEDesc& reply)>;

    ScriptCommand();
    virtual ~ScriptCommand();
    ScriptCommand(const ScriptCommand&) = delete;
    ScriptCommand& operator=(const ScriptCommand&) = delete;

    // Set by the runtime before execution.
    void setUp(ScriptingRuntime* runtime, const ScriptCommandDescription* description,
               const AEDesc& event, const QVariantMap& evaluatedArguments,
               const QVariant& directParameter, ReplyFunction reply);

    const ScriptCommandDescription* commandDescription() const { return description_; }
    QVariantMap evaluatedArguments() const { return arguments_; }
    QVariant directParameter() const { return directParameter_; }
    AEDesc appleEvent() const { return event_; }
    ScriptingRuntime* runtime() const { return runtime_; }

    int scriptErrorNumber() const { return errorNumber_; }
    void setScriptErrorNumber(int number) { errorNumber_ = number; }
    QString scriptErrorString() const { return errorString_; }
    void setScriptErrorString(const QString& text) { errorString_ = text; }

    virtual QVariant performDefaultImplementation();

    // Runs the command and answers unless it suspended itself.
    void execute();
    // Keeps the event unanswered after performDefaultImplementation returns.
    void suspendExecution();
    // Answers the suspended event with this result (or the error number set
    // by then). Only the first resumption counts; resuming a command that is
    // not suspended does nothing.
    void resumeExecutionWithResult(const QVariant& result);
    bool isSuspended() const { return state_ == State::Suspended || suspendRequested_; }
    bool isAnswered() const { return state_ == State::Answered; }

  private:
    enum class State { Ready, Performing, Suspended, Answered };
    void answer(const QVariant& result);

    ScriptingRuntime* runtime_ = nullptr;
    const ScriptCommandDescription* description_ = nullptr;
    AEDesc event_;
    QVariantMap arguments_;
    QVariant directParameter_;
    ReplyFunction reply_;
    int errorNumber_ = 0;
    QString errorString_;
    State state_ = State::Ready;
    bool suspendRequested_ = false;
    bool resumedEarly_ = false;
    QVariant earlyResult_;
    std::shared_ptr<ScriptCommand> keepAlive_;
};
