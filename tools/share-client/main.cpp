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

#include <QCoreApplication>
#include <QTextStream>

#include "ShareClient.h"
#include "appleevents/AppleEventServer.h"

namespace {

int usage(QTextStream& err, const QString& problem) {
    err << "share-client: " << problem << "\n"
        << "usage: share-client [--socket PATH] share --name NAME [--meta K=V]... "
           "[--data-option K=V]... [--media FILE] [--write-seconds S] [--cancel-after S] "
           "[--no-open] [--timeout S] [--interaction LEVEL]\n"
           "       share-client [--socket PATH] make|get ID PROPERTY|open FILE...|reopen|quit\n";
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);

    QString socket;
    double timeout = 120;
    ShareClient::ShareOptions options;
    QString command;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        auto value = [&](QString* target) {
            if (i + 1 >= args.size()) return false;
            *target = args[++i];
            return true;
        };
        QString v;
        if (a == "--socket") {
            if (!value(&socket)) return usage(err, "--socket needs a path");
        } else if (a == "--name") {
            if (!value(&options.name)) return usage(err, "--name needs a value");
        } else if (a == "--meta" || a == "--data-option") {
            if (!value(&v) || !v.contains('=')) return usage(err, a + " needs KEY=VALUE");
            QVariantMap& target = a == "--meta" ? options.metadata : options.dataOptions;
            target.insert(v.section('=', 0, 0), v.section('=', 1));
        } else if (a == "--media") {
            if (!value(&options.mediaPath)) return usage(err, "--media needs a file");
        } else if (a == "--write-seconds") {
            if (!value(&v) || !parseSeconds(v, &options.writeSeconds))
                return usage(err, "--write-seconds needs seconds");
        } else if (a == "--cancel-after") {
            if (!value(&v) || !parseSeconds(v, &options.cancelAfter))
                return usage(err, "--cancel-after needs seconds");
        } else if (a == "--timeout") {
            if (!value(&v) || !parseSeconds(v, &timeout))
                return usage(err, "--timeout needs seconds");
        } else if (a == "--interaction") {
            bool ok = false;
            if (!value(&v)) return usage(err, "--interaction needs a level");
            options.interactionLevel = qint32(v.toLongLong(&ok, 0));
            if (!ok) return usage(err, "--interaction needs a number such as 0x20");
        } else if (a == "--no-open") {
            options.open = false;
        } else if (a.startsWith("--")) {
            return usage(err, "unknown option " + a);
        } else if (command.isEmpty()) {
            command = a;
        } else {
            positional << a;
        }
    }
    if (command.isEmpty()) return usage(err, "no command");
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
