// Passwords reach the agent from the service (the local user's) and from
// the registry (a network user's, as an MD5). They may travel only in the
// Authorization header: never in its log, not even at debug level, never
// in what it stores, and never in the error texts it logs when the service
// refuses it.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>

#include "E2EFixture.h"
#include "service/QVTesselUtil.h"

namespace {

const QString kLocalID = QStringLiteral("secret-local");
const QString kLocalPassword = QStringLiteral("Loc4l-Pa55word");
const QString kNetworkID = QStringLiteral("alice");
const QString kNetworkPassword = QStringLiteral("N3twork-Pa55word");

class SecretsE2E : public E2EFixture {
  protected:
    void SetUp() override {
        E2EFixture::SetUp();
        // Every category the agent has, debug included.
        qputenv("QT_LOGGING_RULES", "relaydock*=true");
    }
    void TearDown() override {
        qunsetenv("QT_LOGGING_RULES");
        E2EFixture::TearDown();
    }

    bool startSecretService() {
        const QJsonArray projects{QJsonObject{{"id", "documentary"}, {"name", "Documentary"}}};
        TesselServiceProcess::Options options;
        options.seed = QJsonObject{
            {"localuser", QJsonObject{{"id", kLocalID}, {"password", kLocalPassword}}},
            {"libraries",
             QJsonArray{
                 QJsonObject{{"dbname", "demo"},
                             {"name", "Demo Library"},
                             {"type", 0},
                             {"projects", projects}},
                 QJsonObject{{"dbname", "newsroom"},
                             {"name", "Newsroom"},
                             {"type", 1},
                             {"shared", true},
                             {"users", QJsonArray{QJsonObject{{"userid", kNetworkID},
                                                              {"password", kNetworkPassword}}}},
                             {"projects", projects}}}}};
        options.asCorvane = true;
        service = std::make_unique<TesselServiceProcess>(options);
        return service->start();
    }

    // Every form in which a password could be written out.
    static QStringList secretForms() {
        const QString md5 = TesselServiceProcess::md5(kNetworkPassword);
        QStringList forms{kLocalPassword, kNetworkPassword, md5, md5.toLower()};
        for (const QString& pair : {kLocalID + ":" + kLocalPassword, kNetworkID + ":" + md5})
            forms << QString::fromLatin1(pair.toUtf8().toBase64());
        return forms;
    }

    // Names of the agent's files (and the log) that hold any form.
    QStringList leaks() const {
        QStringList files = launchLogs();
        for (const QString& folder : {QVTesselUtil::relaydockFolder(),
                                      qEnvironmentVariable("XDG_CONFIG_HOME") + "/Corvane"}) {
            QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) files << it.next();
        }
        QStringList found;
        for (const QString& path : files) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly)) continue;
            const QByteArray data = file.readAll();
            for (const QString& form : secretForms())
                if (data.contains(form.toUtf8())) found << path + ": " + form;
        }
        return found;
    }

    // The log must not be empty for the scan to mean anything.
    bool logHasDebugLines() const { return agent && agent->log().contains("Export list loaded"); }
};

}  // namespace

TEST_F(SecretsE2E, NoPasswordInLogsStoredFilesOrErrorTexts) {
    ASSERT_TRUE(startSecretService()) << qPrintable(service->errorString());
    Preferences local;
    local.defaultProject = "documentary";
    writePreferences(local);
    ASSERT_TRUE(startAgent());

    // A share that completes, one the service refuses with 401 on create
    // and one whose confirmation fails with an error envelope: the refusals
    // put the service's error texts into the log.
    ASSERT_EQ(share("Clean").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Clean", QVExportStatusCompleted));
    ASSERT_TRUE(service->setFault("create", "401"));
    ASSERT_EQ(share("Refused").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Refused", QVExportStatusCreateFailed));
    ASSERT_TRUE(service->clearFault("create"));
    ASSERT_TRUE(service->setFault("upload", "error", "9:storage failure"));
    ASSERT_EQ(share("Unconfirmed").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Unconfirmed", QVExportStatusUpdateFailed));
    ASSERT_TRUE(service->clearFaults());

    // The network library, whose password the agent has only as an MD5.
    ASSERT_TRUE(agent->quit());
    Preferences network;
    network.defaultLibrary = "newsroom";
    network.defaultProject = "documentary";
    writePreferences(network);
    ASSERT_TRUE(startAgent(false));
    ASSERT_TRUE(agent->waitForLog("Default destination: newsroom / documentary"));
    ASSERT_TRUE(agent->waitForLog("Libraries loaded"));
    ASSERT_EQ(share("Networked").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Networked", QVExportStatusCompleted));
    bool sentCredentials = false;
    for (const auto& request : service->requests("create").list)
        sentCredentials |= request.headers.value("Authorization").toString().startsWith("Basic ");
    ASSERT_TRUE(sentCredentials) << "the requests carried no credentials to leak";
    ASSERT_TRUE(agent->quit());

    ASSERT_TRUE(logHasDebugLines()) << qPrintable(agent->log());
    ASSERT_TRUE(QFile::exists(listFile()));
    EXPECT_EQ(leaks(), QStringList());
}
