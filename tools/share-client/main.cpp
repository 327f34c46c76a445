// share-client: plays the video editor against the agent's Apple-event socket.
//
//   share-client [--socket PATH] share --name NAME [--meta KEY=VALUE]...
//       [--data-option KEY=VALUE]... [--media FILE] [--write-seconds S]
//       [--cancel-after S] [--no-open] [--timeout S] [--interaction LEVEL]
//   share-client [--socket PATH] make [--name NAME] [--meta ...] [--interaction LEVEL]
//   share-client [--socket PATH] get ID PROPERTY
//   share-client [--socket PATH] open FILE...
//   share-client [--socket PATH] reopen | quit
//
// Prints one JSON object per line; exit status 0 only when everything worked.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include "ShareClient.h"
#include "appleevents/AppleEventServer.h"

namespace {

// Installed as relaydock-share too: messages name the program as it was run.
int usage(QTextStream& err, const QString& problem) {
    const QString name = QCoreApplication::applicationName();
    err << name << ": " << problem << "\n"
        << "Try '" << name << " --help' for more information.\n";
    err.flush();
    return 2;
}

bool parseSeconds(const QString& text, double* out) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < 0 || v > 86400) return false;
    *out = v;
    return true;
}

QCommandLineOption valueOption(const char* name, const char* description, const char* value) {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              QString::fromLatin1(value));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(RELAYDOCK_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shares a clip with the running Relaydock agent the way the video editor\n"
        "does, or sends it single events. Prints one JSON object per line; the\n"
        "last line of a share sums it up. Exit status: 0 when everything worked,\n"
        "1 when the agent or a step failed, 2 for a wrong command line.\n"
        "\n"
        "Commands:\n"
        "  share --name NAME [--media FILE]  share a clip (the files written, then opened)\n"
        "  make [--name NAME]                create an asset, print its specifier\n"
        "  get ID PROPERTY                   read a property of an asset\n"
        "  open FILE...                      tell the agent that files are written\n"
        "  reopen | quit                     show the agent's window | end the agent"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption socketOption = valueOption(
        "socket", "The agent's socket (default $XDG_RUNTIME_DIR/relaydock/appleevents.sock).",
        "path");
    const QCommandLineOption name = valueOption("name", "The clip's name.", "name");
    const QCommandLineOption meta =
        valueOption("meta", "Metadata of the clip (repeatable).", "key=value");
    const QCommandLineOption dataOption =
        valueOption("data-option", "A data option of the clip (repeatable).", "key=value");
    const QCommandLineOption media =
        valueOption("media", "The movie to share; a small generated file without it.", "file");
    const QCommandLineOption writeSeconds =
        valueOption("write-seconds", "Spread the writing of the movie over this long.", "s");
    const QCommandLineOption cancelAfter =
        valueOption("cancel-after", "Delete the partly written movie after this long.", "s");
    const QCommandLineOption timeoutOption =
        valueOption("timeout", "How long to wait for each answer (default 120).", "s");
    const QCommandLineOption interaction =
        valueOption("interaction", "Interaction level of the make event, e.g. 0x20.", "level");
    const QCommandLineOption noOpen(QStringLiteral("no-open"),
                                    QStringLiteral("Write the files, do not tell the agent."));
    parser.addOptions({socketOption, name, meta, dataOption, media, writeSeconds, cancelAfter,
                       timeoutOption, interaction, noOpen});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("share, make, get, open, reopen or quit."),
                                 QStringLiteral("command [argument...]"));
    if (!parser.parse(QCoreApplication::arguments())) return usage(err, parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out << QCoreApplication::applicationName() << ' ' << RELAYDOCK_VERSION << '\n';
        return 0;
    }

    QString socket = parser.value(socketOption);
    double timeout = 120;
    ShareClient::ShareOptions options;
    options.name = parser.value(name);
    for (const QCommandLineOption* option : {&meta, &dataOption}) {
        QVariantMap& target = option == &meta ? options.metadata : options.dataOptions;
        for (const QString& v : parser.values(*option)) {
            if (!v.contains('='))
                return usage(err, "--" + option->names().first() + " needs KEY=VALUE");
            target.insert(v.section('=', 0, 0), v.section('=', 1));
        }
    }
    options.mediaPath = parser.value(media);
    if (parser.isSet(writeSeconds) &&
        !parseSeconds(parser.value(writeSeconds), &options.writeSeconds))
        return usage(err, "--write-seconds needs seconds");
    if (parser.isSet(cancelAfter) && !parseSeconds(parser.value(cancelAfter), &options.cancelAfter))
        return usage(err, "--cancel-after needs seconds");
    if (parser.isSet(timeoutOption) && !parseSeconds(parser.value(timeoutOption), &timeout))
        return usage(err, "--timeout needs seconds");
    if (parser.isSet(interaction)) {
        bool ok = false;
        options.interactionLevel = qint32(parser.value(interaction).toLongLong(&ok, 0));
        if (!ok) return usage(err, "--interaction needs a number such as 0x20");
    }
    options.open = !parser.isSet(noOpen);
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return usage(err, "no command");
    const QString command = positional.takeFirst();
    if (socket.isEmpty()) socket = AppleEventServer::defaultSocketPath();

    ShareClient client(out);
    client.setTimeout(int(timeout * 1000));
    auto connected = [&] { return client.connect(socket, 5000); };

    if (command == "share") {
        if (options.name.isEmpty()) return usage(err, "share needs --name");
        if (!connected()) return 1;
        return client.share(options);
    }
    if (command == "make") {
        if (!connected()) return 1;
        return client.make(options);
    }
    if (command == "get") {
        if (positional.size() != 2) return usage(err, "get needs ID and PROPERTY");
        if (!ShareClient::propertyCode(positional[1]))
            return usage(err, "unknown property " + positional[1]);
        if (!connected()) return 1;
        return client.get(positional[0], positional[1]);
    }
    if (command == "open") {
        if (positional.isEmpty()) return usage(err, "open needs files");
        if (!connected()) return 1;
        return client.open(positional);
    }
    if (command == "reopen" || command == "quit") {
        if (!connected()) return 1;
        return client.simple(
            command == "reopen" ? AECodes::kAEReopenApplication : AECodes::kAEQuitApplication,
            command);
    }
    return usage(err, "unknown command " + command);
}
