#pragma once

#include <memory>

#include <gtest/gtest.h>
#include <QList>
#include <QStringList>

#include "export/QVExportItemManager.h"
#include "support/TempHome.h"

class FCPXWindowController;
class QVLibrary;

// A window controller over the shared export list, its window shown, alerts
// recorded (message and OK title) and answered with answer_, the
// local-service check answered by serviceUp_ and the desktop's open and
// reveal recorded in workspaceCalls_.
class WindowControllerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    FCPXWindowController& controller();
    // A library usable on disk: its package holds Database/<dbName>.
    std::shared_ptr<QVLibrary> library(const QString& name, qint64 type);
    void setItems(const QVExportItemList& items);
    void select(const QList<int>& rows);

    static std::shared_ptr<QVExportItem> item(const QString& name, qint64 status,
                                              const QString& file = QString());
    static QString touch(const QString& path);
    static QString text(const char* key);

    std::unique_ptr<TempHome> home_;
    std::shared_ptr<FCPXWindowController> controller_;
    bool serviceUp_ = true;
    qint64 answer_ = 1;
    QStringList alerts_;
    QStringList alertButtons_;
    QStringList workspaceCalls_;
};
