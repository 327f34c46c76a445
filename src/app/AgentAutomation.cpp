#include "app/AgentAutomation.h"

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QSocketNotifier>
#include <QWidget>

#include "app/AppDelegate.h"
#include "appleevents/AECodes.h"
#include "appleevents/ScriptingRuntime.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "platform/QVLog.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAlertBox.h"

namespace {

// Written by the signal handler, read by the notifier on the main thread.
int signalFds[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalFds[0], &byte, 1);
}

std::shared_ptr<QVExportItem> itemWithPath(const QString& path) {
    auto& manager = QVExportItemManager::sharedManager();
    for (const auto& item : manager.exportItems())
        if (item->originalPath() == path || item->fcpXMLPath() == path) return item;
    return nullptr;
}

}  // namespace

AgentAutomation::AgentAutomation(QObject* parent) : QObject(parent) {}

AgentAutomation::~AgentAutomation() = default;

void AgentAutomation::answerAlertsAutomatically() {
    QVAlertBox::setPresentationHook([](QVAlertBox* box) {
        std::fprintf(stderr, "Alert: %s\n", qPrintable(box->message()));
        std::fflush(stderr);
        switch (box->defaultButton()) {
            case QVAlertBox::OK:
                box->okAction();
                break;
            case QVAlertBox::Other:
                box->otherAction();
                break;
            default:
                // No default: the safe answer when there is a choice.
                if (box->cancelButtonString().isEmpty())
                    box->okAction();
                else
                    box->cancelAction();
        }
    });
}

bool AgentAutomation::installSignalHandlers() {
    if (signalFds[0] >= 0) return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) != 0) return false;
    notifier_ = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGUSR1}) ::sigaction(number, &action, nullptr);
    return true;
}

void AgentAutomation::readSignal() {
    char byte = 0;
    if (::read(signalFds[1], &byte, 1) != 1) return;
    if (byte == SIGUSR1) {
        if (screenshotPath_.isEmpty()) return;
        if (saveScreenshot(screenshotPath_))
            QVLog::log(QStringLiteral("Screenshot saved: %1").arg(screenshotPath_));
        else
            QVLog::log(QStringLiteral("Screenshot failed: %1").arg(screenshotPath_));
        return;
    }
    QCoreApplication::quit();
}

bool AgentAutomation::saveScreenshot(const QString& path) {
    const auto controller = AppDelegate::currentWindowController();
    QWidget* window = controller ? controller->window() : nullptr;
    if (!window) return false;
    if (!window->isVisible()) window->show();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return window->grab().save(path, "PNG");
}

void AgentAutomation::handleEvent(const AEDesc& event,
                                  const AppleEventServer::ReplyFunction& reply) {
    using namespace AECodes;
    if (!eventsEnabled_) return reply(ScriptingRuntime::errorReply(errAEEventNotHandled));
    const auto direct = event.paramDescriptorForKeyword(keyDirectObject);
    const QString path = direct ? direct->stringValue() : QString();
    if (path.isEmpty()) return reply(ScriptingRuntime::errorReply(errAEParamMissed));
    const AEDesc answer = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    if (event.eventID() == kSnap) {
        if (!saveScreenshot(path)) return reply(ScriptingRuntime::errorReply(errAEEventFailed));
        return reply(answer);
    }
    const auto controller = AppDelegate::currentWindowController();
    if (event.eventID() == kClick) {
        // The direct object names a button of the main window.
        QWidget* window = controller ? controller->window() : nullptr;
        auto* button = window ? window->findChild<QAbstractButton*>(path) : nullptr;
        if (!button) return reply(ScriptingRuntime::errorReply(errAENoSuchObject));
        button->click();
        return reply(answer);
    }
    if (event.eventID() != kRetry) return reply(ScriptingRuntime::errorReply(errAEEventNotHandled));
    const auto item = itemWithPath(path);
    if (!item || !controller) return reply(ScriptingRuntime::errorReply(errAENoSuchObject));
    // The same choice the list's retry command makes.
    if (!controller->retryExportItem(item))
        return reply(ScriptingRuntime::errorReply(errAEEventFailed));
    reply(answer);
}
