#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUuid>

#include "E2EFixture.h"
#include "app/AgentAutomation.h"
#include "service/QVTesselUtil.h"

namespace {

const QStringList kMeta{"--meta",        "com.apple.quicktime.description=Morning interview",
                        "--meta",        "com.apple.quicktime.keywords=alpha,beta",
                        "--data-option", "availableMetadataSets=Basic"};

QJsonObject assetWithSuffix(const QList<QJsonObject>& assets, const QString& suffix) {
    for (const auto& asset : assets) {
        const QString path = asset.contains("importfrompath")
                                 ? asset.value("importfrompath").toString()
                                 : asset.value("masterpath").toString();
        if (path.endsWith(suffix)) return asset;
    }
    return {};
}

}  // namespace

class ShareE2E : public E2EFixture {
  protected:
    void SetUp() override {
        E2EFixture::SetUp();
        ASSERT_TRUE(startService());
    }
};

TEST_F(ShareE2E, DefaultDestinationInsideLibraryRegistersMovieAndDescription) {
    writePreferences({});
    ASSERT_TRUE(startAgent());

    const auto run = share("Interview take", kMeta);
    ASSERT_EQ(run.exitCode, 0) << qPrintable(agent->log());
    const QString folder = run.summary().value("folder").toString();
    EXPECT_TRUE(folder.startsWith(service->packageFolder("demo") + "/Media/Master/"))
        << qPrintable(folder);
    EXPECT_TRUE(run.summary().value("hasMedia").toBool());
    // The data options are passed on with the chosen set under both keys.
    const QJsonObject options = run.step("dataOptions").value("result").toObject();
    EXPECT_NE(QJsonDocument(options).toJson().indexOf("metadataSet"), -1);

    ASSERT_TRUE(waitForItem("Interview take", [](const QVariantMap& item) {
        return bothSides(item, QVExportStatusCompleted) && item.contains("thumbnail");
    }));
    const QVariantMap item = storedItem("Interview take");
    EXPECT_EQ(item.value("importtype").toLongLong(), 1);
    EXPECT_EQ(item.value("original").toString(), folder + "/Interview take.mov");

    const auto assets = assetsNamed("Interview take");
    ASSERT_EQ(assets.size(), 2);
    const QJsonObject movie = assetWithSuffix(assets, "/Interview take.mov");
    ASSERT_FALSE(movie.isEmpty());
    EXPECT_EQ(movie.value("project").toString(), "documentary");
    EXPECT_EQ(movie.value("group").toString(), "documentary-interviews");
    EXPECT_EQ(movie.value("importtype").toInt(), 1);
    EXPECT_TRUE(movie.value("masterpath").toString().startsWith("Media/Master/"));
    EXPECT_TRUE(
        QFile::exists(service->packageFolder("demo") + "/" + movie.value("masterpath").toString()));
    EXPECT_EQ(movie.value("fcpx").toObject().value("com_apple_quicktime_description").toString(),
              "Morning interview");
    EXPECT_EQ(movie.value("tags").toArray(), (QJsonArray{"alpha", "beta"}));
    EXPECT_GT(movie.value("createdate").toDouble(), 0);
    EXPECT_GT(movie.value("modifydate").toDouble(), 0);
    EXPECT_EQ(movie.value("importdisklabel").toString(), "Final Cut Pro X");
    EXPECT_EQ(movie.value("importvolume").toString(), "Relaydock for Corvane Pro");
    EXPECT_TRUE(movie.value("_completed").toBool());
    EXPECT_FALSE(assetWithSuffix(assets, "/Interview take.fcpxml").isEmpty());

    // The thumbnail is a JPEG in the agent's thumbnail folder, named by a
    // fresh unique string.
    const QFileInfo thumbnail(item.value("thumbnail").toString());
    EXPECT_EQ(thumbnail.absolutePath(),
              QDir(QVTesselUtil::relaydockThumbnailFolder()).absolutePath());
    EXPECT_FALSE(QUuid::fromString(thumbnail.completeBaseName()).isNull());
    QFile jpeg(thumbnail.filePath());
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(jpeg.read(3).startsWith("\xFF\xD8\xFF"));
}

TEST_F(ShareE2E, StoreToFolderImportsFromThatFolder) {
    const QString media = work->filePath("media");
    QDir().mkpath(media);
    Preferences preferences;
    preferences.defaultProject = "scratch";
    preferences.storeTo = true;
    preferences.storeToPath = media;
    writePreferences(preferences);
    ASSERT_TRUE(startAgent());

    const auto run = share("Outside", kMeta);
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.summary().value("folder").toString(), media);
    ASSERT_TRUE(waitForStatus("Outside", QVExportStatusCompleted));
    EXPECT_EQ(storedItem("Outside").value("importtype").toLongLong(), 0);
    EXPECT_EQ(storedItem("Outside").value("storetopath").toString(), media);

    const QJsonObject movie = assetWithSuffix(assetsNamed("Outside"), "/Outside.mov");
    ASSERT_FALSE(movie.isEmpty());
    EXPECT_EQ(movie.value("importtype").toInt(), 0);
    EXPECT_EQ(movie.value("importfrompath").toString(), media + "/Outside.mov");
    EXPECT_EQ(movie.value("project").toString(), "scratch");
    EXPECT_EQ(movie.value("group").toString(), "");
}

TEST_F(ShareE2E, FcpxmlOnlyShareFollowsTheDescription) {
    Preferences preferences;
    preferences.fcpXMLOnly = true;
    writePreferences(preferences);
    ASSERT_TRUE(startAgent());

    const auto run = share("Only XML");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.summary().value("hasMedia").toBool());
    EXPECT_EQ(run.summary().value("files").toArray().size(), 1);
    ASSERT_TRUE(waitForStatus("Only XML", QVExportStatusCompleted));
    const QVariantMap item = storedItem("Only XML");
    EXPECT_TRUE(item.value("fcpxmlonly").toBool());
    EXPECT_FALSE(item.contains("original"));
    EXPECT_FALSE(item.contains("thumbnail"));
    const auto assets = assetsNamed("Only XML");
    ASSERT_EQ(assets.size(), 1);
    EXPECT_TRUE(assets[0].value("masterpath").toString().endsWith("/Only XML.fcpxml"));
}

TEST_F(ShareE2E, NameWithColonAndSlashIsWrittenAndRegisteredUnderUnderscores) {
    writePreferences({});
    ASSERT_TRUE(startAgent());

    const auto run = share("Cut 1: intro/outro");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.summary().value("basename").toString(), "Cut 1_ intro_outro");
    ASSERT_TRUE(waitForStatus("Cut 1_ intro_outro", QVExportStatusCompleted));
    const QJsonObject movie =
        assetWithSuffix(assetsNamed("Cut 1_ intro_outro"), "/Cut 1_ intro_outro.mov");
    EXPECT_FALSE(movie.isEmpty());
}

TEST_F(ShareE2E, DescriptionNamedBeforeTheMovieStillFinishesTheExport) {
    writePreferences({});
    ASSERT_TRUE(startAgent());

    const auto run = share("Reversed", {"--no-open"});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonArray files = run.summary().value("files").toArray();
    ASSERT_EQ(files.size(), 2);
    // The editor lists the FCPXML file first.
    const auto opened = runClient({"open", files[1].toString(), files[0].toString()});
    ASSERT_EQ(opened.exitCode, 0);
    ASSERT_TRUE(waitForItem("Reversed", [](const QVariantMap& item) {
        return bothSides(item, QVExportStatusCompleted);
    }));
    EXPECT_FALSE(agent->log().contains("Unknown export item"));

    // Announced once more, the files make no second asset.
    const int creates = service->requests("create").count;
    ASSERT_EQ(runClient({"open", files[0].toString(), files[1].toString()}).exitCode, 0);
    ASSERT_TRUE(agent->waitForLog("Export item already registered :Reversed"));
    EXPECT_EQ(service->requests("create").count, creates);
    EXPECT_EQ(assetsNamed("Reversed").size(), 2);
}

TEST_F(ShareE2E, UnknownFilesAreLoggedAndChangeNothing) {
    writePreferences({});
    ASSERT_TRUE(startAgent());
    const QString stray = work->filePath("stray.mov");
    QFile(stray).open(QIODevice::WriteOnly);
    ASSERT_EQ(runClient({"open", stray}).exitCode, 0);
    ASSERT_TRUE(agent->waitForLog("Unknown export item :(" + stray + ")"));
    EXPECT_TRUE(storedItems().isEmpty());
}

TEST_F(ShareE2E, CancelledExportEndsCancelledAndIsNotResumed) {
    writePreferences({});
    ASSERT_TRUE(startAgent());

    const auto run = share("Cancelled", {"--write-seconds", "3", "--cancel-after", "1"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_FALSE(run.step("cancel").isEmpty());
    ASSERT_TRUE(waitForStatus("Cancelled", QVExportStatusCanceled));

    ASSERT_TRUE(restartAgent());
    // A later share completes; the cancelled item was not taken up again.
    ASSERT_EQ(share("After").exitCode, 0);
    ASSERT_TRUE(waitForStatus("After", QVExportStatusCompleted));
    EXPECT_EQ(movieStatus(storedItem("Cancelled")), QVExportStatusCanceled);
    EXPECT_TRUE(assetsNamed("Cancelled").isEmpty());
}

TEST_F(ShareE2E, FailedCreateEndsInErrorAndRetrySucceedsOnceTheServiceIsBack) {
    writePreferences({});
    ASSERT_TRUE(startAgent());
    ASSERT_TRUE(service->setFault("create", "error", "9"));

    const auto run = share("Flaky create");
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_TRUE(waitForStatus("Flaky create", QVExportStatusCreateFailed));
    EXPECT_TRUE(assetsNamed("Flaky create").isEmpty());

    ASSERT_TRUE(service->clearFault("create"));
    const QString movie = storedItem("Flaky create").value("original").toString();
    ASSERT_EQ(sendAutomation(AgentAutomation::kRetry, movie), 0);
    ASSERT_TRUE(waitForStatus("Flaky create", QVExportStatusCompleted));
    const QJsonObject asset = assetWithSuffix(assetsNamed("Flaky create"), "/Flaky create.mov");
    ASSERT_FALSE(asset.isEmpty());
    EXPECT_TRUE(asset.value("_completed").toBool());
}

TEST_F(ShareE2E, FailedUploadCompleteEndsInErrorAndRetryConfirmsWithoutSecondCreate) {
    writePreferences({});
    ASSERT_TRUE(startAgent());
    ASSERT_TRUE(service->setFault("upload", "error", "9"));

    ASSERT_EQ(share("Flaky upload").exitCode, 0);
    ASSERT_TRUE(waitForItem("Flaky upload", [](const QVariantMap& item) {
        return bothSides(item, QVExportStatusUpdateFailed);
    }));
    const int creates = service->requests("create").count;
    EXPECT_EQ(creates, 2);

    ASSERT_TRUE(service->clearFault("upload"));
    const QVariantMap item = storedItem("Flaky upload");
    ASSERT_EQ(sendAutomation(AgentAutomation::kRetry, item.value("original").toString()), 0);
    ASSERT_TRUE(waitForStatus("Flaky upload", QVExportStatusCompleted));
    EXPECT_EQ(service->requests("create").count, creates);
    // The movie's own asset, whichever file's creation ended last.
    const QString movieAsset = item.value("movieassetid").toString();
    ASSERT_FALSE(movieAsset.isEmpty());
    bool confirmed = false;
    for (const auto& asset : assetsNamed("Flaky upload"))
        if (asset.value("_id").toVariant().toString() == movieAsset)
            confirmed = asset.value("_completed").toBool() &&
                        asset.value("masterpath").toString().endsWith(".mov");
    EXPECT_TRUE(confirmed);
}

TEST_F(ShareE2E, NeverInteractIsRefused) {
    writePreferences({});
    ASSERT_TRUE(startAgent());
    const auto run = runClient({"make", "--name", "Silent", "--interaction", "0x10"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.step("make").value("error").toInt(), -1713);
    ASSERT_EQ(share("Loud").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Loud", QVExportStatusCompleted));
    EXPECT_TRUE(storedItem("Silent").isEmpty());
}

TEST_F(ShareE2E, ExportDetectedAfterItsRegistrationKeepsItsStatus) {
    writePreferences({});
    // The detector looks again only long after the editor has finished.
    ASSERT_TRUE(startAgent(true, 2000));
    ASSERT_EQ(share("Quick").exitCode, 0);
    ASSERT_TRUE(waitForStatus("Quick", QVExportStatusCompleted));
    ASSERT_TRUE(agent->waitForLog("Export detected after its registration began: Quick"));
    EXPECT_EQ(movieStatus(storedItem("Quick")), QVExportStatusCompleted);
}
