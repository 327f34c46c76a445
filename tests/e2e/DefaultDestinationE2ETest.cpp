#include <QJsonObject>

#include "E2EFixture.h"
#include "app/AgentAutomation.h"
#include "export/QVExportItem.h"

class DefaultDestinationE2E : public E2EFixture {};

// The default library and project were chosen on an earlier day, but the
// agent was started with "Use default library" off. Ticking it afterwards is
// all it takes for the next share to go there without a question.
TEST_F(DefaultDestinationE2E, TickingUseDefaultLibraryAfterLaunchSharesToTheDefault) {
    ASSERT_TRUE(startService());
    Preferences preferences;
    preferences.useDefault = false;
    writePreferences(preferences);
    ASSERT_TRUE(startAgent(false));
    ASSERT_TRUE(agent->waitForLog("Libraries loaded"));
    EXPECT_FALSE(agent->log().contains("Default destination:"));

    ASSERT_EQ(sendAutomation(AgentAutomation::kClick, "checkUseDefaultLibraryButton"), 0);
    ASSERT_TRUE(agent->waitForLog("Default destination: demo / documentary-interviews"));
    const auto run = share("Ticked later");
    ASSERT_EQ(run.exitCode, 0) << qPrintable(agent->log());
    EXPECT_FALSE(agent->log().contains("Alert:")) << qPrintable(agent->log());
    EXPECT_TRUE(run.summary().value("folder").toString().startsWith(service->packageFolder("demo") +
                                                                    "/Media/Master/"));
    ASSERT_TRUE(waitForStatus("Ticked later", QVExportStatusCompleted));
    bool inDefault = false;
    for (const auto& asset : assetsNamed("Ticked later"))
        inDefault = inDefault || (asset.value("project").toString() == "documentary" &&
                                  asset.value("group").toString() == "documentary-interviews");
    EXPECT_TRUE(inDefault);
}
