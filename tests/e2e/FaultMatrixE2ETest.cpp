#include <csignal>
#include <iostream>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

#include "E2EFixture.h"
#include "FaultMatrix.h"
#include "app/AgentAutomation.h"
#include "platform/Localization.h"

// Every endpoint of the stand-in service against every fault it can inject:
// a share is run with the fault in place, the outcome is recorded, the fault
// is cleared and the share is retried the way a user would. Endpoints the
// agent uses only while it starts are faulted across a launch; the others
// are faulted under one running agent.

namespace {

struct Row {
    QString label;
    QString endpoint;
};

const QList<Row> kLaunchRows{{"system (launch)", "system"},
                             {"library (launch)", "library"},
                             {"projects (launch)", "projects"}};
const QList<Row> kShareRows{{"system (share)", "system"}, {"upload-location", "upload-location"},
                            {"create", "create"},         {"upload", "upload"},
                            {"update", "update"},         {"libraries", "libraries"},
                            {"access", "access"}};
// Endpoints no share to the default destination asks for.
const QStringList kUnusedEndpoints{"update", "libraries", "access"};

const QStringList kKinds{"error", "nomessage", "empty", "html", "array",  "plist",
                         "delay", "drop",      "401",   "500",  "stopped"};

constexpr int kRequestTimeoutMs = 2000;
// Past the agent's time-outs.
constexpr int kDelayMs = 4000;
constexpr int kSettleMs = 30000;

QStringList labels() {
    QStringList out;
    for (const auto& row : kLaunchRows + kShareRows) out << row.label;
    return out;
}

QStringList labelsOf(const QList<Row>& rows) {
    QStringList out;
    for (const auto& row : rows) out << row.label;
    return out;
}

// What the agent must do with each fault. A fault that leaves the envelope
// intact (a plist body, HTTP 500) is no failure; anything else fails the
// step that met it: the launch's credentials or project tree (no default
// project: alert and destination sheet), the upload location (alert, share
// cancelled), the creation (6) or the upload confirmation (7). A failed
// system information at share time costs nothing: the libraries keep the
// credentials they have. A service stopped during the launch takes every
// launch endpoint down at once; stopped when the editor hands the files
// over, it fails the creation that follows. Stopping the service cannot be
// confined to an endpoint a share never asks ("-").
FaultMatrix expectedMatrix() {
    FaultMatrix m(labels(), kKinds);
    const QMap<QString, QString> harmless{{"plist", "2"}, {"500", "2"}};
    m.expectRow("system (launch)", "sheet>2", harmless);
    m.expectRow("library (launch)", "2", {{"stopped", "sheet>2"}});
    m.expectRow("projects (launch)", "sheet>2", harmless);
    m.expectRow("system (share)", "2", {{"stopped", "6>2"}});
    m.expectRow("upload-location", "-128>2", harmless);
    m.expectRow("create", "6>2", harmless);
    m.expectRow("upload", "7>2", harmless);
    for (const QString& row : kUnusedEndpoints) m.expectRow(row, "2*", {{"stopped", "-"}});
    return m;
}

// Filled by both tests, printed once after them.
FaultMatrix& matrix() {
    static FaultMatrix instance = expectedMatrix();
    return instance;
}

QString alertLine(const char* key) {
    return "Alert: " + Localization::localizedString(QString::fromUtf8(key));
}

bool isFinal(qint64 status) {
    return status == QVExportStatusCompleted || status == QVExportStatusCanceled ||
           status == QVExportStatusCreateFailed || status == QVExportStatusUpdateFailed;
}

}  // namespace

class FaultMatrixE2E : public E2EFixture {
  protected:
    static void TearDownTestSuite() {
        std::cout << "\nFault matrix (cell: outcome of the share, then of the retry after the "
                     "fault was cleared;\n2 done, 6 creation failed, 7 upload confirmation "
                     "failed, -128 share cancelled with an alert,\nsheet: alert and destination "
                     "sheet, *: the endpoint was never asked, -: cannot be run)\n\n"
                  << qPrintable(matrix().table()) << std::endl;
    }

    void SetUp() override {
        qputenv("RELAYDOCK_REQUEST_TIMEOUT_MS", QByteArray::number(kRequestTimeoutMs));
        qputenv("RELAYDOCK_SYSTEM_INFO_TIMEOUT_MS", QByteArray::number(kRequestTimeoutMs));
        E2EFixture::SetUp();
        // The service keeps the port it chose when it is stopped and started
        // again, so the agent finds it where it was.
        ASSERT_TRUE(startService());
        writePreferences({});
    }

    void TearDown() override {
        E2EFixture::TearDown();
        qunsetenv("RELAYDOCK_REQUEST_TIMEOUT_MS");
        qunsetenv("RELAYDOCK_SYSTEM_INFO_TIMEOUT_MS");
    }

    bool setFault(const QString& endpoint, const QString& kind) {
        if (kind == "error") return service->setFault(endpoint, kind, "9");
        if (kind == "delay") return service->setFault(endpoint, kind, QString::number(kDelayMs));
        return service->setFault(endpoint, kind);
    }

    // Quits the agent (a hung one does not quit) and starts it again; waits
    // until the launch's loads are over, whatever they brought.
    bool relaunch() {
        if (agent && !agent->quit()) return false;
        return startAgent(false) && agent->waitForLog("Default destination: demo / ") &&
               agent->waitForLog("Libraries loaded");
    }

    // Runs a share and answers what became of it: the item's final status,
    // "-128" (cancelled after the upload-location alert), "sheet" (the
    // destination sheet waits for the user), "crash", "hang", "stuck".
    QString shareOutcome(const QString& name, const QStringList& extra = {}) {
        const qsizetype from = agent->log().size();
        QProcess client;
        client.setProgram(RELAYDOCK_BIN_DIR "/share-client");
        client.setArguments(QStringList{"--socket", socketPath, "--timeout", "20", "share",
                                        "--name", name, "--media", movie()} +
                            extra);
        client.start();
        const QString sheetAlert = alertLine("defaultlibrary.not.selected");
        const QDeadlineTimer deadline(kSettleMs);
        while (client.state() != QProcess::NotRunning) {
            client.waitForFinished(20);
            if (client.state() == QProcess::NotRunning) break;
            if (!agent->isRunning() || deadline.hasExpired()) {
                client.kill();
                client.waitForFinished();
                return agent->isRunning() ? "hang" : "crash";
            }
            if (!agent->log().mid(from).contains(sheetAlert)) continue;
            // The sheet starts in the same turn as the alert; an event
            // answered after it shows the agent still serves while it waits.
            const int barrier = sendAutomation(AgentAutomation::kSnap, work->filePath("s.png"));
            if (client.state() != QProcess::NotRunning) {
                client.kill();
                client.waitForFinished();
                return barrier == 0 ? "sheet" : "hang";
            }
        }
        if (!agent->isRunning()) return "crash";
        QJsonObject make;
        const QByteArray out = client.readAllStandardOutput();
        for (const QByteArray& line : out.split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.value("step").toString() == "make") make = object;
        }
        if (client.exitCode() != 0) {
            const int error = make.value("error").toInt();
            if (error == -128 && agent->log().mid(from).contains(
                                     alertLine("uploadlocation.cant.get").section('%', 0, 0)))
                return "-128";
            std::cerr << "share-client " << qPrintable(name) << ": " << out.constData();
            return QStringLiteral("client:%1").arg(error);
        }
        return settledStatus(name);
    }

    // The item's status once both of its files are in a final state; a
    // completed item must have its movie registered and confirmed.
    QString settledStatus(const QString& name) {
        const bool settled = waitForItem(
            name,
            [](const QVariantMap& item) {
                return isFinal(movieStatus(item)) && isFinal(descriptionStatus(item));
            },
            kSettleMs);
        if (!agent->isRunning()) return "crash";
        const QVariantMap item = storedItem(name);
        const qint64 status = movieStatus(item);
        if (!settled) return QStringLiteral("stuck:%1/%2").arg(status).arg(descriptionStatus(item));
        if (status == QVExportStatusCompleted && !movieConfirmed(name)) return "2(unregistered)";
        return QString::number(status);
    }

    bool movieConfirmed(const QString& name) {
        for (const auto& asset : assetsNamed(name))
            if (asset.value("masterpath").toString().endsWith(name + ".mov") &&
                asset.value("_completed").toBool())
                return true;
        return false;
    }

    // The user's way back once the fault is gone: retry the failed item,
    // share again after a cancelled share, relaunch after a launch that
    // could not load the destination.
    QString retry(const QString& name, const QString& outcome) {
        if (outcome == QString::number(QVExportStatusCreateFailed) ||
            outcome == QString::number(QVExportStatusUpdateFailed)) {
            const QString movie = storedItem(name).value("original").toString();
            if (sendAutomation(AgentAutomation::kRetry, movie) != 0) return "noretry";
            if (!waitForStatus(name, QVExportStatusCompleted, kSettleMs))
                return settledStatus(name);
            return movieConfirmed(name) ? "2" : "2(unregistered)";
        }
        if (outcome == "sheet" && !relaunch()) return "hang";
        if (outcome == "-128" || outcome == "sheet") return shareOutcome(name);
        return {};
    }

    static QString cell(const QString& outcome, const QString& retried, bool asked = true) {
        return outcome + (asked ? "" : "*") + (retried.isEmpty() ? "" : ">" + retried);
    }

    static QString itemName(const Row& row, const QString& kind, bool launch) {
        return row.endpoint + ' ' + kind + (launch ? " at launch" : "");
    }

    // Agents that crashed or hung in a cell are replaced, so the cells that
    // follow still say something.
    void ensureAgent() {
        if (agent && agent->isRunning()) return;
        relaunch();
    }

    void runLaunchCell(const Row& row, const QString& kind) {
        const QString name = itemName(row, kind, true);
        if (kind == "stopped") {
            service->stop();
        } else {
            ASSERT_TRUE(setFault(row.endpoint, kind));
        }
        const bool launched = relaunch();
        if (kind == "stopped") {
            ASSERT_TRUE(service->start());
        }
        const QString outcome = launched ? shareOutcome(name) : QStringLiteral("hang");
        ASSERT_TRUE(service->clearFaults());
        ensureAgent();
        matrix().record(row.label, kind, cell(outcome, retry(name, outcome)));
    }

    void runShareCell(const Row& row, const QString& kind) {
        const QString name = itemName(row, kind, false);
        ensureAgent();
        ASSERT_TRUE(service->clearRequests());
        if (kind == "stopped") {
            if (kUnusedEndpoints.contains(row.endpoint))
                return matrix().record(row.label, kind, "-");
            const QString outcome = stoppedOutcome(row, name);
            ASSERT_TRUE(service->isRunning() || service->start());
            ensureAgent();
            return matrix().record(row.label, kind, cell(outcome, retry(name, outcome)));
        }
        ASSERT_TRUE(setFault(row.endpoint, kind));
        const QString outcome = shareOutcome(name);
        const bool asked = service->requests(row.endpoint).count > 0;
        ASSERT_TRUE(service->clearFaults());
        ensureAgent();
        matrix().record(row.label, kind, cell(outcome, retry(name, outcome), asked));
    }

    // The service goes away just before the agent would ask the endpoint.
    QString stoppedOutcome(const Row& row, const QString& name) {
        if (row.endpoint == "upload-location") {
            service->stop();
            return shareOutcome(name);
        }
        if (row.endpoint == "upload") {
            // Killed while it holds both confirmations: the connections
            // break under the agent's requests.
            if (!setFault("upload", "delay")) return "setup";
            if (runClient({"share", "--name", name, "--media", movie()}).exitCode != 0)
                return "client";
            const QDeadlineTimer deadline(kSettleMs);
            while (service->requests("upload").count < 2 && !deadline.hasExpired())
                QThread::msleep(10);
            ::kill(pid_t(service->processId()), SIGKILL);
            service->stop();
            return settledStatus(name);
        }
        // The editor has written the files; the service is gone when it
        // hands them over.
        const auto run = runClient({"share", "--name", name, "--media", movie(), "--no-open"});
        if (run.exitCode != 0) return "client";
        service->stop();
        QStringList open{"open"};
        for (const QJsonValue& file : run.summary().value("files").toArray())
            open << file.toString();
        if (runClient(open).exitCode != 0) return "client";
        return settledStatus(name);
    }

    void expectMatrix(const QList<Row>& rows) {
        const QStringList differing = matrix().mismatches(labelsOf(rows));
        EXPECT_TRUE(differing.isEmpty()) << qPrintable(differing.join('\n'));
    }
};

TEST_F(FaultMatrixE2E, EndpointsOfTheLaunch) {
    for (const Row& row : kLaunchRows)
        for (const QString& kind : kKinds) {
            SCOPED_TRACE(qPrintable(row.label + " / " + kind));
            runLaunchCell(row, kind);
            if (HasFatalFailure()) return;
        }
    expectMatrix(kLaunchRows);
}

TEST_F(FaultMatrixE2E, EndpointsOfAShare) {
    ASSERT_TRUE(relaunch());
    for (const Row& row : kShareRows)
        for (const QString& kind : kKinds) {
            SCOPED_TRACE(qPrintable(row.label + " / " + kind));
            runShareCell(row, kind);
            if (HasFatalFailure()) return;
        }
    expectMatrix(kShareRows);
}
