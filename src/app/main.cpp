// relaydock: the share destination agent.

#include <cstdio>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
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

// Shown after Qt's own help: what the options cannot say.
const char* const kHelpEpilogue =
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
    bool background = false;
    QStringList files;
};

// Empty: go on; otherwise the process ends with that status. Runs before
// the application object exists, so --help and --version need no display.
std::optional<int> parse(const QStringList& args, Options* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Receives shares from the video editor and registers each export as an\n"
                       "asset in a Tessel media library. A second launch brings the running\n"
                       "agent's window to the front and exits."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption socket(
        QStringLiteral("socket"),
        QStringLiteral("The Apple-event socket (default "
                       "$XDG_RUNTIME_DIR/relaydock/appleevents.sock, or $RELAYDOCK_SOCKET)."),
        QStringLiteral("path"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("On SIGUSR1, save a picture of the main window there."),
        QStringLiteral("path"));
    const QCommandLineOption automation(
        QStringLiteral("automation"),
        QStringLiteral("Accept the private automation events (retry, picture)."));
    const QCommandLineOption background(
        QStringLiteral("background"),
        QStringLiteral("Start with the window hidden (how the login start runs it)."));
    parser.addOptions({socket, screenshot, automation, background});
    parser.addPositionalArgument(
        QStringLiteral("files"),
        QStringLiteral("Exported files, handled as if the editor had opened them."),
        QStringLiteral("[file...]"));
    if (!parser.parse(args)) {
        std::fprintf(stderr, "relaydock: %s\nTry 'relaydock --help' for more information.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object Qt cannot know the program's name.
        std::fputs(qPrintable(parser.helpText().replace(QLatin1String("<executable_name>"),
                                                        QLatin1String("relaydock"))),
                   stdout);
        std::fputs(kHelpEpilogue, stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("relaydock %s (%s)\n", RELAYDOCK_VERSION, RELAYDOCK_BUILD_NUMBER);
        return 0;
    }
    options->socket = parser.value(socket);
    options->screenshot = parser.value(screenshot);
    options->automation = parser.isSet(automation);
    options->background = parser.isSet(background);
    options->files = parser.positionalArguments();
    return std::nullopt;
}

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value >= 0 ? value : fallback;
}

// Qt's own options (-platform NAME, -style NAME, -reverse, ...) are Qt's: the
// application object takes them, our parser never sees them.
QStringList withoutQtOptions(const QStringList& args) {
    static const QStringList withValue{"-platform",        "-platformpluginpath",
                                       "-platformtheme",   "-plugin",
                                       "-qwindowgeometry", "-qwindowtitle",
                                       "-qwindowicon",     "-stylesheet",
                                       "-style",           "-session",
                                       "-display",         "-name",
                                       "-geometry",        "-title",
                                       "-visual"};
    static const QStringList flags{"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};
    QStringList out;
    for (int i = 0; i < args.size(); ++i) {
        // Qt takes either one or two leading dashes.
        const QString name = args[i].startsWith(QLatin1String("--")) ? args[i].mid(1) : args[i];
        if (i > 0 && withValue.contains(name)) {
            ++i;
            continue;
        }
        if (i > 0 && (flags.contains(name) || name.startsWith(QLatin1String("-qmljsdebugger="))))
            continue;
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
    if (const auto status = parse(withoutQtOptions(arguments), &options)) return *status;
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
    // Ties the windows to the installed desktop entry (Wayland app ID).
    QGuiApplication::setDesktopFileName(QStringLiteral("com.corvane.Relaydock"));
    // Closing the window hides the agent; it keeps running for the editor.
    QApplication::setQuitOnLastWindowClosed(false);
    Resources::ensureLoaded();
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("com.corvane.Relaydock"),
                                                 QIcon(QStringLiteral(":/images/relaydock.svg"))));

    const QString socket = options.socket.isEmpty()
                               ? AppleEventServer::defaultSocketPath()
                               : AppleEventServer::socketPathFromArguments(
                                     {QStringLiteral("--socket"), options.socket});

    if (const int poll = envNumber("RELAYDOCK_POLL_MS", 0); poll > 0)
        QVFileDetector::setPollInterval(poll);
    if (const int quiet = envNumber("RELAYDOCK_QUIET_MS", 0); quiet > 0)
        QVFileDetector::setQuietPeriod(quiet);
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
    delegate.setStartInBackground(options.background);
    QVShareEnvironment environment;
    environment.launchDelayMs = envNumber("RELAYDOCK_LAUNCH_DELAY_MS", 1000);
    documentController.setWindowControllerFactory(
        [environment](const std::shared_ptr<FCPXDocument>& document)
            -> std::shared_ptr<FCPXWindowControllerInterface> {
            return std::make_shared<FCPXWindowController>(document, environment);
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
