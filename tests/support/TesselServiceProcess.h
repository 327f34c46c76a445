#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the stand-in Tessel service (build/bin/tessel-service) for a test.
//
//   TempHome home;
//   TesselServiceProcess service({.seed = mySeed});
//   ASSERT_TRUE(service.start()) << service.errorString();
//   ... talk to service.baseUrl() ...
//   service.setFault("create", "error", "35");
//   EXPECT_EQ(service.requests("create").count, 1);
//   QJsonArray stored = service.assets("demo");
//
// The service gets a fresh data folder, writes its registry property lists
// into the group container (default: the shared group container of the
// current HOME/XDG_DATA_HOME, i.e. the TempHome's) and is stopped by the
// destructor (SIGTERM, then SIGKILL). Seed format: tools/tessel-service/README.md.
// Admin calls (faults, requests, assets) block the calling thread briefly on a
// plain socket and never spin an event loop. Not thread-safe: use one
// instance from one thread.
class TesselServiceProcess {
  public:
    struct Options {
        // The seed: an object, or a file (used when seedFile is set). Trees
        // nested deeper than Qt's JSON limit (1024) must come as a file or
        // through deepTrees.
        QJsonObject seed{};
        QString seedFile{};
        QString groupContainer{};   // empty: the current shared group container
        bool writeRegistry = true;  // false: --no-registry
        QStringList bind{};         // addresses; empty: 127.0.0.1 (the first one is address())
        int port = 0;               // 0: the service picks a free one; restarts keep it
        QStringList faults{};       // "ENDPOINT=KIND[:ARG][@TIMES]"
        QStringList deepTrees{};    // "DBNAME:PROJECT:DEPTH"
        int startTimeoutMs = 15000;
        // Run through the "corvane" link, so the agent's check for the
        // running companion application finds the process.
        bool asCorvane = false;
    };

    struct Request {
        QString method;
        QString path;
        QJsonObject headers;
        QByteArray body;
        qint64 sequence = 0;    // order of arrival over every endpoint
        qint64 receivedUs = 0;  // system clock, microseconds since 1970
        qint64 answeredUs = 0;  // 0: not answered (yet)
    };
    struct Requests {
        int count = -1;  // -1: the service could not be asked
        QList<Request> list;
    };

    TesselServiceProcess();
    explicit TesselServiceProcess(Options options);
    ~TesselServiceProcess();
    TesselServiceProcess(const TesselServiceProcess&) = delete;
    TesselServiceProcess& operator=(const TesselServiceProcess&) = delete;

    // Starts the service and waits for its "listening on" line.
    bool start();
    void stop();
    bool isRunning() const;
    qint64 processId() const { return process_.processId(); }
    QString errorString() const { return error_; }

    int port() const { return port_; }
    QString address() const { return address_; }
    QString baseUrl() const;  // "http://ADDRESS:PORT"
    QString dataDir() const { return dataDir_.path() + QStringLiteral("/data"); }
    QString groupContainer() const { return groupContainer_; }
    // Package folder the service made for a library of the seed.
    QString packageFolder(const QString& dbName) const;

    // Fault injection; times 0 keeps the fault until cleared.
    bool setFault(const QString& endpoint, const QString& kind, const QString& arg = {},
                  int times = 0);
    bool clearFault(const QString& endpoint) { return setFault(endpoint, QStringLiteral("none")); }
    bool clearFaults();

    Requests requests(const QString& endpoint);
    // Every endpoint's requests, by endpoint name (empty when the service
    // could not be asked).
    QMap<QString, Requests> allRequests();
    bool clearRequests();
    // Every stored asset of a library: its fields plus "_id", "_completed",
    // "_createdat", "_updatedat", "_completedat".
    QJsonArray assets(const QString& dbName);

    // Uppercase MD5 of a clear password, as network libraries expect it.
    static QString md5(const QString& password);

  private:
    // One blocking HTTP/1.0 exchange with the service; returns the body and
    // sets status (0 when the exchange failed).
    QByteArray call(const QByteArray& method, const QString& path, const QByteArray& body,
                    int* status);
    QJsonObject callJson(const QByteArray& method, const QString& path, const QByteArray& body);
    static Requests parseRequests(const QJsonObject& entry);

    Options options_;
    QTemporaryDir dataDir_;
    QProcess process_;
    QString error_;
    QString address_;
    QString groupContainer_;
    int port_ = 0;
};
