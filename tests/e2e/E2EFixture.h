#pragma once

#include <functional>
#include <memory>

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include "AgentProcess.h"
#include "export/QVExportItem.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

// One machine for an end-to-end test: a temporary home, the stand-in
// service (run as the companion application, so the agent gets the local
// credentials), the agent's preferences written before it starts, the real
// agent and the real share client.
class E2EFixture : public ::testing::Test {
  public:
    // A stored item's movie and description statuses (QVExportStatus).
    static qint64 movieStatus(const QVariantMap& item);
    static qint64 descriptionStatus(const QVariantMap& item);
    static bool bothSides(const QVariantMap& item, QVExportStatus status) {
        return movieStatus(item) == status && descriptionStatus(item) == status;
    }

  protected:
    struct Preferences {
        QString defaultLibrary = QStringLiteral("demo");
        QString defaultProject = QStringLiteral("documentary-interviews");
        bool useDefault = true;
        bool storeTo = false;
        QString storeToPath;
        bool fcpXMLOnly = false;
    };
    struct ClientRun {
        int exitCode = -1;
        QList<QJsonObject> lines;
        QJsonObject summary() const;  // the line with "status"
        QJsonObject step(const QString& name) const;
    };

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The demo-like seed: library "demo" with a project, groups and a plain
    // project.
    static QJsonObject seed();
    bool startService(bool withLibraries = true);
    void writePreferences(const Preferences& preferences);
    // Starts the agent and waits until it is ready to share to the default
    // destination (or only until its export list is loaded).
    bool startAgent(bool waitForDefaultDestination = true, int pollMs = 40);
    bool restartAgent(bool waitForDefaultDestination = true);
    // Points logPath at a fresh file for the next launch and answers it; a
    // launch's waits can then never match an earlier launch's lines.
    QString newLaunchLog();
    // Every launch's log so far, oldest first.
    QStringList launchLogs() const;

    ClientRun runClient(const QStringList& args, int timeoutMs = 60000);
    // A share of the test movie with quick writing.
    ClientRun share(const QString& name, const QStringList& extra = {});

    // The stored export list (empty when there is none).
    QVariantList storedItems() const;
    QVariantMap storedItem(const QString& name) const;
    // Waits until the stored item named so satisfies cond.
    bool waitForItem(const QString& name, const std::function<bool(const QVariantMap&)>& cond,
                     int timeoutMs = 30000) const;
    bool waitForStatus(const QString& name, qint64 status, int timeoutMs = 30000) const;
    // Assets of the demo library whose "name" is name.
    QList<QJsonObject> assetsNamed(const QString& name);
    // Sends one private automation event to the agent; answers its error
    // number (0: done).
    int sendAutomation(quint32 eventID, const QString& path);

    static QString movie() { return movie_; }
    QString listFile() const;

    std::unique_ptr<TempHome> home;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<TesselServiceProcess> service;
    std::unique_ptr<AgentProcess> agent;
    QString socketPath;
    QString logPath;  // the current launch's log

  private:
    Preferences preferences_;
    int launches_ = 0;
    static QString movie_;
    static QTemporaryDir* movieDir_;
};
