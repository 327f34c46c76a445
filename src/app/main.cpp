// relaydock: the share destination agent.

#include <cstdio>

#include <QApplication>
#include <QTimer>

#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "app/AgentAutomation.h"
#include "app/AppDelegate.h"
#include "appleevents/AECodes.h"
#include "appleevents/AppleEventClient.h"
#include "appleevents/AppleEventServer.h"
#include "appleevents/ScriptingRuntime.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "platform/Dispatch.h"
#include "platform/Resources.h"
#include "service/QVTesselUtil.h"
#include "ui/FCPXWindowController.h"

namespace {

const char* const kUsage =
    "usage: relaydock [--socket PATH] [--screenshot PATH] [--automation]\n"
    "       relaydock --help | --version\n"
    "\n"
    "Receives shares from the video editor over PATH (default\n"
    "$XDG_RUNTIME_DIR/relaydock/appleevents.sock, or $RELAYDOCK_SOCKET) and\n"
    "registers each export as an asset in a Tessel media library. A second\n"
    "launch brings the running agent's window to the front and exits.\n"
    "\n"
    "  --socket PATH      the Apple-event socket\n"
    "  --screenshot PATH  on SIGUSR1, save a picture of the main window there\n"
    "  --automation       accept the private automation events (retry, picture)\n"
    "\n"
    "Environment: QT_QPA_PLATFORM=offscreen runs without a display;\n"
    "RELAYDOCK_ALERT_AUTO_ANSWER=1 answers alert boxes unattended;\n"
    "RELAYDOCK_POLL_MS and RELAYDOCK_LAUNCH_DELAY_MS shorten the export poll\n"
    "interval and the launch delays; RELAYDOCK_QUIET_MS the quiet period after\n"
    "which an unannounced export resumed at launch counts as complete;\n"
    "RELAYDOCK_REQUEST_TIMEOUT_MS and\n"
    "RELAYDOCK_SYSTEM_INFO_TIMEOUT_MS the time-outs of service requests and of\n"
    "the local service's system information (milliseconds).\n";

struct Options {
    QString socket;
    QString screenshot;
    bool automation = false;
    QStringList files;
};

// 0: go on; otherwise the exit status + 1.
int parse(const QStringList& args, Options* options) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (a == QLatin1String("--version")) {
            std::printf("relaydock %s (%s)\n", RELAYDOCK_VERSION, RELAYDOCK_BUILD_NUMBER);
            return 1;
        }
        if (a == QLatin1String("--socket") || a == QLatin1String("--screenshot")) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "relaydock: %s needs a path\n%s", qPrintable(a), kUsage);
                return 3;
            }
            (a == QLatin1String("--socket") ? options->socket : options->screenshot) = args[++i];
        } else if (a.startsWith(QLatin1String("--socket="))) {
            options->socket = a.mid(9);
        } else if (a.startsWith(QLatin1String("--screenshot="))) {
            options->screenshot = a.mid(13);
        } else if (a == QLatin1String("--automation")) {
            options->automation = true;
        } else if (a.startsWith(QLatin1String("-"))) {
            std::fprintf(stderr, "relaydock: unknown option %s\n%s", qPrintable(a), kUsage);
            return 3;
        } else {
            options->files << a;
        }
    }
    return 0;
}

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

// Qt's own options (-platform NAME, -style NAME, ...) are not ours.
QStringList withoutQtOptions(const QStringList& args) {
    static const QStringList withValue{"-platform",           "-style",         "-display",
                                       "-qwindowgeometry",    "-qwindowtitle",  "-qwindowicon",
                                       "-platformpluginpath", "-platformtheme", "-plugin",
                                       "-stylesheet"};
    QStringList out;
    for (int i = 0; i < args.size(); ++i) {
        if (withValue.contains(args[i])) {
            ++i;
            continue;
        }
        out << args[i];
    }
    return out;
}

// A running agent answers on the socket: ask it to show its window.
bool reopenRunningAgent(const QString& socket) {
    AppleEventClient client;
    if (!client.connectToServer(socket, 2000)) return false;
    QString error;
    const auto reply = client.sendAndWait(
        AEDesc::appleEvent(AECodes::kCoreEventClass, AECodes::kAEReopenApplication), 5000, &error);
    return reply && AppleEventClient::errorNumber(*reply) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Options first: --help and --version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    Options options;
    if (const int stop = parse(withoutQtOptions(arguments), &options)) return stop - 1;
    // Without any display the agent still serves the editor, windowless.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "relaydock: no display; running offscreen\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Relaydock"));
    QApplication::setApplicationDisplayName(QStringLiteral("Relaydock for Corvane Pro"));
    QApplication::setApplicationVersion(QStringLiteral(RELAYDOCK_VERSION));
    // Closing the window hides the agent; it keeps running for the editor.
    QApplication::setQuitOnLastWindowClosed(false);
    Resources::ensureLoaded();

    const QString socket = options.socket.isEmpty()
                               ? AppleEventServer::defaultSocketPath()
                               : AppleEventServer::socketPathFromArguments(
                                     {QStringLiteral("--socket"), options.socket});

    if (const int poll = envNumber("RELAYDOCK_POLL_MS", 0); poll > 0)
        QVFileDetector::setPollInterval(poll);
    if (const int quiet = envNumber("RELAYDOCK_QUIET_MS", 0); quiet > 0)
        QVFileDetector::setQuietPeriod(quiet);
    FCPXWindowController::setLaunchDelay(envNumber("RELAYDOCK_LAUNCH_DELAY_MS", 1000));
    if (const int timeout = envNumber("RELAYDOCK_REQUEST_TIMEOUT_MS", 0); timeout > 0)
        QVTesselUtil::setRequestTimeout(timeout);
    if (const int timeout = envNumber("RELAYDOCK_SYSTEM_INFO_TIMEOUT_MS", 0); timeout > 0)
        QVTesselUtil::setSystemInfoTimeout(timeout);

    AgentAutomation automation;
    if (qEnvironmentVariableIntValue("RELAYDOCK_ALERT_AUTO_ANSWER") == 1)
        AgentAutomation::answerAlertsAutomatically();
    automation.setScreenshotPath(options.screenshot);
    automation.setEventsEnabled(options.automation ||
                                qEnvironmentVariableIntValue("RELAYDOCK_AUTOMATION") == 1);

    AppleEventServer server;
    QString listenError;
    if (!server.listen(socket, &listenError)) {
        if (reopenRunningAgent(socket)) {
            std::fprintf(stderr, "relaydock: already running; its window was brought back\n");
            return 0;
        }
        std::fprintf(stderr, "relaydock: cannot listen on %s: %s\n", qPrintable(socket),
                     qPrintable(listenError));
        return 1;
    }
    automation.installSignalHandlers();

    // Made first, so it is the shared document controller.
    FCPXDocumentController documentController;
    ScriptingRuntime runtime;
    AppDelegate delegate;
    documentController.setWindowControllerFactory(
        [](const std::shared_ptr<FCPXDocument>& document)
            -> std::shared_ptr<FCPXWindowControllerInterface> {
            return std::make_shared<FCPXWindowController>(document);
        });
    documentController.installScripting(runtime);
    runtime.setDelegate(&delegate);
    server.setHandler(
        [&runtime, &automation](const AEDesc& event, AppleEventServer::ReplyFunction reply) {
            if (AgentAutomation::handles(event))
                automation.handleEvent(event, reply);
            else
                runtime.handleAppleEvent(event, std::move(reply));
        });

    QTimer::singleShot(0, &delegate, [&delegate, files = options.files] {
        delegate.applicationDidFinishLaunching();
        for (const QString& file : files) delegate.openFile(file);
    });
    const int status = app.exec();
    server.close();
    // Saves requested from the main thread may still be queued. A list that
    // was never read is not written: that would replace the stored one.
    if (QVExportItemManager::sharedManager().loaded()) QVExportItemManager::sharedManager().flush();
    // Background work still running is abandoned, but not torn down under
    // its feet while the process exits.
    Dispatch::waitForGlobal(2000);
    const auto documents = documentController.documents();
    for (const auto& document : documents) {
        document->setWindowController(nullptr);
        documentController.removeDocument(document);
    }
    return status;
}
