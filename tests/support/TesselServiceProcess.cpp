#include "TesselServiceProcess.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include "platform/AppGroup.h"

namespace {
constexpr int kCallTimeoutMs = 10000;
}

TesselServiceProcess::TesselServiceProcess() : TesselServiceProcess(Options{}) {}

TesselServiceProcess::TesselServiceProcess(Options options) : options_(std::move(options)) {}

TesselServiceProcess::~TesselServiceProcess() {
    stop();
}

QString TesselServiceProcess::md5(const QString& password) {
    return QString::fromLatin1(
        QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex().toUpper());
}

bool TesselServiceProcess::start() {
    if (isRunning()) return true;
    if (!dataDir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    QString seedFile = options_.seedFile;
    if (seedFile.isEmpty()) {
        seedFile = dataDir_.filePath(QStringLiteral("seed.json"));
        QFile file(seedFile);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QJsonDocument(options_.seed).toJson()) < 0) {
            error_ = QStringLiteral("cannot write the seed: ") + file.errorString();
            return false;
        }
    }
    groupContainer_ = options_.groupContainer.isEmpty()
                          ? AppGroup::containerPath(AppGroup::fallbackIdentifier())
                          : options_.groupContainer;

    // A restart comes back on the port of the first start, which the
    // service chose itself when asked for 0: clients keep the address
    // they know, and no port is guessed that another service could take.
    // --exit-on-stdin-eof: a test that crashes takes its service along.
    QStringList args = {QStringLiteral("--data"),
                        dataDir(),
                        QStringLiteral("--seed"),
                        seedFile,
                        QStringLiteral("--port"),
                        QString::number(port_ != 0 ? port_ : options_.port),
                        QStringLiteral("--exit-on-stdin-eof")};
    if (options_.writeRegistry)
        args << QStringLiteral("--group-container") << groupContainer_;
    else
        args << QStringLiteral("--no-registry");
    for (const QString& address : options_.bind) args << QStringLiteral("--bind") << address;
    for (const QString& fault : options_.faults) args << QStringLiteral("--fault") << fault;
    for (const QString& tree : options_.deepTrees) args << QStringLiteral("--deep-tree") << tree;

    process_.setProgram(options_.asCorvane ? QStringLiteral(RELAYDOCK_BIN_DIR "/corvane")
                                           : QStringLiteral(RELAYDOCK_BIN_DIR "/tessel-service"));
    process_.setArguments(args);
    // The service's diagnostics go straight to the test's own stderr, so a
    // full pipe can never stall it.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    if (!process_.waitForStarted(options_.startTimeoutMs)) {
        error_ = QStringLiteral("tessel-service did not start: ") + process_.errorString();
        return false;
    }
    const QDeadlineTimer deadline(options_.startTimeoutMs);
    static const QRegularExpression line(QStringLiteral(R"(^listening on (\S+):(\d+)\s*$)"));
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running ||
            !process_.waitForReadyRead(
                static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
            if (process_.canReadLine()) break;
            error_ = QStringLiteral("tessel-service did not report its port (exit code %1)")
                         .arg(process_.exitCode());
            stop();
            return false;
        }
    }
    const auto match = line.match(QString::fromUtf8(process_.readLine()));
    if (!match.hasMatch()) {
        error_ = QStringLiteral("unexpected first line from tessel-service");
        stop();
        return false;
    }
    address_ = match.captured(1);
    port_ = match.captured(2).toInt();
    return true;
}

void TesselServiceProcess::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool TesselServiceProcess::isRunning() const {
    return process_.state() == QProcess::Running;
}

QString TesselServiceProcess::baseUrl() const {
    return QStringLiteral("http://%1:%2").arg(address_).arg(port_);
}

QString TesselServiceProcess::packageFolder(const QString& dbName) const {
    const QJsonArray libraries = options_.seed.value(QStringLiteral("libraries")).toArray();
    for (const QJsonValue& value : libraries) {
        const QJsonObject library = value.toObject();
        if (library.value(QStringLiteral("dbname")).toString() != dbName) continue;
        const QString folder = library.value(QStringLiteral("packagefolder")).toString();
        if (!folder.isEmpty()) return QDir::cleanPath(QDir(dataDir()).absoluteFilePath(folder));
    }
    return dataDir() + QStringLiteral("/Libraries/%1.tlibrary").arg(dbName);
}

QByteArray TesselServiceProcess::call(const QByteArray& method, const QString& path,
                                      const QByteArray& body, int* status) {
    *status = 0;
    QTcpSocket socket;
    socket.connectToHost(address_, static_cast<quint16>(port_));
    if (!socket.waitForConnected(kCallTimeoutMs)) return {};
    QByteArray request =
        method + ' ' + QUrl(path).toEncoded() + " HTTP/1.0\r\nHost: " + address_.toUtf8() +
        "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
        body;
    socket.write(request);
    const QDeadlineTimer deadline(kCallTimeoutMs);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        if (socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
            answer += socket.readAll();
    }
    answer += socket.readAll();
    const qsizetype split = answer.indexOf("\r\n\r\n");
    if (split < 0) return {};
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    if (statusLine.size() >= 2) *status = statusLine[1].toInt();
    return answer.mid(split + 4);
}

QJsonObject TesselServiceProcess::callJson(const QByteArray& method, const QString& path,
                                           const QByteArray& body) {
    int status = 0;
    const QByteArray answer = call(method, path, body, &status);
    if (status == 0) {
        error_ = QStringLiteral("no answer from tessel-service for %1").arg(path);
        return {};
    }
    const QJsonObject object = QJsonDocument::fromJson(answer).object();
    if (object.value(QStringLiteral("error")).toInt(-1) != 0)
        error_ =
            QStringLiteral("%1: %2").arg(path, object.value(QStringLiteral("message")).toString());
    return object;
}

bool TesselServiceProcess::setFault(const QString& endpoint, const QString& kind,
                                    const QString& arg, int times) {
    const QJsonObject body{{QStringLiteral("endpoint"), endpoint},
                           {QStringLiteral("kind"), kind},
                           {QStringLiteral("arg"), arg},
                           {QStringLiteral("times"), times}};
    const QJsonObject answer = callJson("POST", QStringLiteral("/admin/faults"),
                                        QJsonDocument(body).toJson(QJsonDocument::Compact));
    return answer.value(QStringLiteral("error")).toInt(-1) == 0;
}

bool TesselServiceProcess::clearFaults() {
    return callJson("DELETE", QStringLiteral("/admin/faults"), {})
               .value(QStringLiteral("error"))
               .toInt(-1) == 0;
}

TesselServiceProcess::Requests TesselServiceProcess::parseRequests(const QJsonObject& entry) {
    Requests result;
    result.count = entry.value(QStringLiteral("count")).toInt();
    for (const QJsonValue& value : entry.value(QStringLiteral("requests")).toArray()) {
        const QJsonObject r = value.toObject();
        result.list.append(Request{r.value(QStringLiteral("method")).toString(),
                                   r.value(QStringLiteral("path")).toString(),
                                   r.value(QStringLiteral("headers")).toObject(),
                                   r.value(QStringLiteral("body")).toString().toUtf8(),
                                   r.value(QStringLiteral("sequence")).toInteger(),
                                   r.value(QStringLiteral("received")).toInteger(),
                                   r.value(QStringLiteral("answered")).toInteger()});
    }
    return result;
}

TesselServiceProcess::Requests TesselServiceProcess::requests(const QString& endpoint) {
    const QJsonObject answer =
        callJson("GET", QStringLiteral("/admin/requests?endpoint=") + endpoint, {});
    if (answer.value(QStringLiteral("error")).toInt(-1) != 0) return {};
    return parseRequests(
        answer.value(QStringLiteral("endpoints")).toObject().value(endpoint).toObject());
}

QMap<QString, TesselServiceProcess::Requests> TesselServiceProcess::allRequests() {
    QMap<QString, Requests> out;
    const QJsonObject answer = callJson("GET", QStringLiteral("/admin/requests"), {});
    if (answer.value(QStringLiteral("error")).toInt(-1) != 0) return out;
    const QJsonObject endpoints = answer.value(QStringLiteral("endpoints")).toObject();
    for (auto it = endpoints.begin(); it != endpoints.end(); ++it)
        out.insert(it.key(), parseRequests(it.value().toObject()));
    return out;
}

bool TesselServiceProcess::clearRequests() {
    return callJson("DELETE", QStringLiteral("/admin/requests"), {})
               .value(QStringLiteral("error"))
               .toInt(-1) == 0;
}

QJsonArray TesselServiceProcess::assets(const QString& dbName) {
    return callJson("GET",
                    QStringLiteral("/tessel/libraries/%1/assets")
                        .arg(QString::fromLatin1(QUrl::toPercentEncoding(dbName))),
                    {})
        .value(QStringLiteral("items"))
        .toArray();
}
