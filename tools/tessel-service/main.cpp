// The stand-in Tessel media service: serves seeded libraries, projects and
// groups over HTTP, stores assets in SQLite and writes the registry files
// that the agent reads. See README.md for the options and the seed format.
#include <httplib.h>

#include <unistd.h>
#include <chrono>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include "AssetStore.h"
#include "FaultTable.h"
#include "RegistryWriter.h"
#include "RequestLog.h"
#include "Seed.h"
#include "TesselService.h"

namespace {

struct Options {
    QString dataDir;
    QString seedFile;
    int port = 0;
    QString groupContainer;
    bool writeRegistry = true;
    bool exitOnStdinEof = false;
    QStringList bind;
    QStringList faults;
    QStringList deepTrees;
};

int usage(const QString& problem) {
    std::fprintf(stderr, "tessel-service: %s\nTry 'tessel-service --help' for more information.\n",
                 qPrintable(problem));
    return 2;
}

QCommandLineOption valueOption(const char* name, const char* description, const char* value) {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              QString::fromLatin1(value));
}

// Empty: go on; otherwise the process ends with that status.
std::optional<int> parse(const QStringList& args, Options& options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The stand-in Tessel media service: serves the seeded libraries over HTTP,\n"
                       "stores assets in DIR/tessel.sqlite and writes the library registry the\n"
                       "agent reads. Prints \"listening on ADDRESS:PORT\" once it answers."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption data =
        valueOption("data", "Where libraries and the database go.", "dir");
    const QCommandLineOption seed =
        valueOption("seed", "Libraries, projects and groups (JSON).", "file");
    const QCommandLineOption port = valueOption("port", "Port to listen on; 0 picks one.", "n");
    const QCommandLineOption bind =
        valueOption("bind", "Address to listen on (repeatable; default 127.0.0.1).", "address");
    const QCommandLineOption groupContainer = valueOption(
        "group-container", "Where the registry is written (default the user's).", "dir");
    const QCommandLineOption noRegistry(QStringLiteral("no-registry"),
                                        QStringLiteral("Write no registry files."));
    const QCommandLineOption fault =
        valueOption("fault", "Inject a fault: ENDPOINT=KIND[:ARG][@TIMES] (repeatable).", "spec");
    const QCommandLineOption deepTree =
        valueOption("deep-tree", "Add a project tree DBNAME:PROJECT:DEPTH (repeatable).", "spec");
    const QCommandLineOption exitOnStdinEof(
        QStringLiteral("exit-on-stdin-eof"),
        QStringLiteral("Stop when standard input closes (the parent went away)."));
    parser.addOptions(
        {data, seed, port, bind, groupContainer, noRegistry, fault, deepTree, exitOnStdinEof});
    if (!parser.parse(args)) return usage(parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("tessel-service %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));
    options.dataDir = parser.value(data);
    options.seedFile = parser.value(seed);
    if (parser.isSet(port)) {
        bool ok = false;
        options.port = parser.value(port).toInt(&ok);
        if (!ok || options.port < 0 || options.port > 65535)
            return usage(QStringLiteral("--port wants 0 to 65535"));
    }
    options.groupContainer = parser.value(groupContainer);
    options.writeRegistry = !parser.isSet(noRegistry);
    options.exitOnStdinEof = parser.isSet(exitOnStdinEof);
    options.bind = parser.values(bind);
    options.faults = parser.values(fault);
    options.deepTrees = parser.values(deepTree);
    if (options.dataDir.isEmpty() || options.seedFile.isEmpty())
        return usage(QStringLiteral("--data and --seed are required"));
    if (options.bind.isEmpty()) options.bind.append(QStringLiteral("127.0.0.1"));
    return std::nullopt;
}

int fatal(const QString& text) {
    std::fprintf(stderr, "tessel-service: %s\n", qPrintable(text));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Block the stop signals before any thread starts, so every thread
    // inherits the mask and the main thread alone receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(RELAYDOCK_VERSION));
    Options options;
    if (const auto status = parse(QCoreApplication::arguments(), options)) return *status;
    QString problem;
    if (!QDir().mkpath(options.dataDir))
        return fatal(QStringLiteral("cannot create ") + options.dataDir);
    const QString dataDir = QDir(options.dataDir).absolutePath();

    auto seed = Seed::load(options.seedFile, dataDir, &problem);
    if (!seed) return fatal(problem);
    for (const QString& specifier : options.deepTrees)
        if (!seed->addDeepTree(specifier, &problem)) return fatal(problem);

    FaultTable faults;
    for (const QString& specifier : options.faults)
        if (!faults.addSpec(specifier, &problem)) return fatal(problem);

    AssetStore store;
    if (!store.open(dataDir + QStringLiteral("/tessel.sqlite"), &problem)) return fatal(problem);

    std::vector<std::unique_ptr<httplib::Server>> servers;
    int port = options.port;
    for (const QString& address : options.bind) {
        auto server = std::make_unique<httplib::Server>();
        server->new_task_queue = [] { return new httplib::ThreadPool(32); };
        // httplib writes an answer's headers and body in two writes; without
        // TCP_NODELAY the body waits for the client's delayed acknowledgement
        // of the headers (about 40 ms) on every kept-alive request.
        server->set_tcp_nodelay(true);
        // httplib closes a kept-alive connection after 5 requests by
        // default, fewer than one share makes; a real server allows far more.
        server->set_keep_alive_max_count(1000);
        const std::string host = address.toStdString();
        if (port == 0) {
            port = server->bind_to_any_port(host);
            if (port < 0) return fatal(QStringLiteral("cannot listen on %1").arg(address));
        } else if (!server->bind_to_port(host, port)) {
            return fatal(QStringLiteral("cannot listen on %1:%2").arg(address).arg(port));
        }
        servers.push_back(std::move(server));
    }

    RegistryWriter registry(*seed, options.bind.first(), port);
    if (!registry.createPackages(&problem)) return fatal(problem);
    if (options.writeRegistry) {
        const QString container = options.groupContainer.isEmpty()
                                      ? RegistryWriter::defaultGroupContainer()
                                      : QDir(options.groupContainer).absolutePath();
        if (!registry.writeRegistry(container, &problem)) return fatal(problem);
    }

    RequestLog log;
    TesselService service(*seed, registry, store, faults, log, options.bind);
    std::vector<std::thread> threads;
    for (auto& server : servers) {
        service.install(*server);
        threads.emplace_back([s = server.get()] { s->listen_after_bind(); });
    }
    for (auto& server : servers)
        while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    std::printf("listening on %s:%d\n", qPrintable(options.bind.first()), port);
    std::fflush(stdout);

    if (options.exitOnStdinEof) {
        // The parent holds our standard input open; when it goes away, even
        // by a crash, the read ends and the service stops like on SIGTERM.
        std::thread([] {
            char buffer[256];
            while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
            }
            ::kill(::getpid(), SIGTERM);
        }).detach();
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    for (auto& server : servers) server->stop();
    // Joining would wait for idle keep-alive connections to time out (five
    // seconds per client). Every stored change is already committed to
    // SQLite, so nothing is lost by leaving at once.
    std::fflush(stdout);
    std::_Exit(0);
}
