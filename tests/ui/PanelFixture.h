#pragma once

#include <memory>

#include <gtest/gtest.h>
#include <QJsonObject>
#include <QStringList>
#include <QWidget>

#include "library/QVLibrary.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

class QVLumoOutlineView;
class QVLumoTableView;

// The destination panels against the real stand-in service: local libraries
// on 127.0.0.1, network libraries served only on 127.0.0.2, the service run
// as the companion application (so the local service counts as reached)
// unless a test says otherwise, the shared registry loaded and every library
// reloaded, alerts answered with OK and recorded, and a shown main window to
// hang sheets on.
class PanelFixture : public ::testing::Test {
  protected:
    static constexpr const char* kLocalUser = "panel-local";
    static constexpr const char* kLocalPassword = "panel-secret";

    // "loc" (Local One: Film/Scenes/{Night,Day}, Film/Music, Trailer),
    // "net" (Remote Net: Net Project/Cuts) and "loc2" (Second Local), then
    // extra local libraries up to libraryCount.
    static QJsonObject seed(int libraryCount = 3);

    void SetUp() override;
    void TearDown() override;

    // Starts the service and loads the registry; false on failure.
    bool startService(int libraryCount = 3, bool asCompanion = true);
    // Loads the shared registry from the service's files and reloads every
    // library from its service.
    bool loadRegistry();
    std::shared_ptr<QVLibrary> library(const QString& dbName) const;

    // Makes the companion check fail (or succeed again) whatever runs.
    static void setCompanionRunning(bool running);

    // Row of a node by id in an outline, -1 when not shown.
    static int rowOfNode(QVLumoOutlineView* outline, const QString& id);
    static QString nodeIDAtRow(QVLumoOutlineView* outline, int row);
    // Clicks the middle of a table row as a person would.
    static void clickRow(QVLumoTableView* table, int row);

    static QString text(const char* key);

    std::unique_ptr<TempHome> home_;
    std::unique_ptr<TesselServiceProcess> service_;
    std::unique_ptr<QWidget> mainWindow_;
    QStringList alerts_;
    QString originalCompanion_;
};
