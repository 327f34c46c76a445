#pragma once

#include <memory>
#include <optional>

#include <gtest/gtest.h>
#include <QStringList>

#include "share/QVExportProcessor.h"
#include "share/QVShareInteraction.h"
#include "support/TempHome.h"
#include "support/TesselServiceProcess.h"

class FCPXAsset;
class QVLibrary;

// The user as the pipeline meets them: answers whether shares go to the
// default destination, reads alerts, and is asked for destinations, which
// the test then gives or refuses.
struct ScriptedPerson : QVShareInteraction {
    bool useDefault = true;
    QStringList alerts;
    QStringList sheetsAsked;
    SheetEnded sheet;

    bool useDefaultLibrary() const override { return useDefault; }
    void showAlert(const QString& message) override { alerts << message; }
    bool chooseDestination(const QString& name, SheetEnded ended) override {
        sheetsAsked << name;
        sheet = std::move(ended);
        return true;
    }
    void endSheet(const std::optional<QVChosenDestination>& chosen) {
        auto ended = std::exchange(sheet, {});
        ASSERT_TRUE(ended) << "no sheet was asked for";
        ended(chosen);
    }
};

// One pipeline against the stand-in service ("lib": project "film" with the
// group "film-cuts" as default destination; "lib2"), in a home of its own,
// with fast detector polls. Each test is a process of its own under ctest.
class ShareTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // What became of a create command.
    struct Result {
        bool called = false;
        std::shared_ptr<FCPXAsset> asset;
    };
    std::shared_ptr<Result> share(const QString& name,
                                  const std::optional<QVariantMap>& dataOptions = std::nullopt);
    // A new pipeline for the same person, e.g. a second launch.
    std::shared_ptr<QVExportProcessor> makeProcessor(QVShareEnvironment environment = {});
    // An item sharing to the store-to folder `folder`, not yet in the list.
    std::shared_ptr<QVExportItem> storedItem(const QString& name, const QString& folder,
                                             bool fcpXMLOnly = false);
    std::shared_ptr<QVProject> project(const QString& id) const;
    static bool write(const QString& path, const QByteArray& data = "<fcpxml version=\"1.10\"/>");
    static QString text(const char* key);

    std::unique_ptr<TempHome> home;
    std::unique_ptr<TesselServiceProcess> service;
    std::shared_ptr<QVLibrary> library;
    ScriptedPerson person;
    std::shared_ptr<QVExportProcessor> processor;
    QList<std::shared_ptr<QVExportItem>> added;
    QList<std::shared_ptr<QVExportItem>> changed;
};
