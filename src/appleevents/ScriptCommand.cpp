#include "appleevents/ScriptCommand.h"

#include "appleevents/ScriptingRuntime.h"

ScriptCommand::ScriptCommand() = default;
ScriptCommand::~ScriptCommand() = default;

void ScriptCommand::setUp(ScriptingRuntime* runtime, const ScriptCommandDescription* description,
                          const AEDesc& event, const QVariantMap& evaluatedArguments,
                          const QVariant& directParameter, ReplyFunction reply) {
    runtime_ = runtime;
    description_ = description;
    event_ = event;
    arguments_ = evaluatedArguments;
    directParameter_ = directParameter;
    reply_ = std::move(reply);
}

QVariant ScriptCommand::performDefaultImplementation() {
    setScriptErrorNumber(AECodes::errAEEventNotHandled);
    return {};
}

void ScriptCommand::execute() {
    if (state_ != State::Ready) return;
    state_ = State::Performing;
    const QVariant result = performDefaultImplementation();
    if (!suspendRequested_) return answer(result);
    if (resumedEarly_) return answer(earlyResult_);  // the completion came synchronously
    state_ = State::Suspended;
    // Whoever resumes may hold the only other reference; stay alive until then.
    keepAlive_ = shared_from_this();
    if (runtime_) runtime_->commandSuspended(keepAlive_);
}

void ScriptCommand::suspendExecution() {
    if (state_ == State::Performing) suspendRequested_ = true;
}

void ScriptCommand::resumeExecutionWithResult(const QVariant& result) {
    if (state_ == State::Performing && suspendRequested_ && !resumedEarly_) {
        resumedEarly_ = true;
        earlyResult_ = result;
        return;
    }
    if (state_ != State::Suspended) return;
    auto self = std::move(keepAlive_);  // released when this call returns
    answer(result);
    if (runtime_) runtime_->commandResumed(self.get());
}

void ScriptCommand::answer(const QVariant& result) {
    state_ = State::Answered;
    suspendRequested_ = false;
    if (!reply_) return;
    AEDesc reply = runtime_ ? runtime_->replyForCommand(*this, result)
                            : ScriptingRuntime::errorReply(errorNumber_, errorString_);
    auto send = std::move(reply_);
    send(reply);
}
