#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "FCPX/FCPXDocument.h"
#include "FCPX/FCPXDocumentController.h"
#include "FakeWindowController.h"
#include "WaitUntil.h"
#include "appleevents/AppleEventServer.h"
#include "appleevents/ApplicationDelegate.h"
#include "appleevents/ScriptingRuntime.h"
#include "support/TempHome.h"

using namespace AECodes;

namespace {

struct RecordingDelegate : ApplicationDelegate {
    QStringList opened;
    int reopened = 0;
    void openFiles(const QStringList& paths) override { opened += paths; }
    void reopen() override { ++reopened; }
    void quit() override {}
};

// The agent's scripting side in this process, and the real share-client
// binary talking to it over the socket.
class ShareClientFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        window->folder = exports.path();
        controller.setWindowControllerFactory(
            [this](const std::shared_ptr<FCPXDocument>&) { return window; });
        controller.installScripting(runtime);
        controller.newDocument();
        runtime.setDelegate(&delegate);
        ASSERT_TRUE(server.listen(AppleEventServer::defaultSocketPath()));
        server.setHandler([this](const AEDesc& event, AppleEventServer::ReplyFunction reply) {
            runtime.handleAppleEvent(event, std::move(reply));
        });
    }

    struct Run {
        int exitCode = -1;
        QList<QJsonObject> lines;
        QJsonObject last() const { return lines.isEmpty() ? QJsonObject() : lines.last(); }
        QJsonObject step(const QString& name) const {
            for (const auto& l : lines)
                if (l.value("step").toString() == name) return l;
            return {};
        }
    };

    std::unique_ptr<QProcess> start(const QStringList& args) {
        auto process = std::make_unique<QProcess>();
        process->setProgram(RELAYDOCK_BIN_DIR "/share-client");
        process->setArguments(QStringList{"--socket", server.socketPath()} + args);
        process->start();
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }

    Run finish(QProcess& process) {
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000));
        Run run;
        run.exitCode = process.exitCode();
        for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
            if (!line.trimmed().isEmpty()) run.lines << QJsonDocument::fromJson(line).object();
        return run;
    }

    Run runClient(const QStringList& args) {
        auto process = start(args);
        return finish(*process);
    }

    QString mediaFile() {
        const QString path = home.path() + "/source.mov";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1000; ++i) f.write(QByteArray::number(i).rightJustified(8, '.'));
        return path;
    }

    TempHome home;
    QTemporaryDir exports;
    FCPXDocumentController controller;
    ScriptingRuntime runtime;
    RecordingDelegate delegate;
    AppleEventServer server;
    std::shared_ptr<FakeWindowController> window = std::make_shared<FakeWindowController>();
};

}  // namespace

TEST_F(ShareClientFixture, AWholeShareWritesAndOpensBothFiles) {
    const QString media = mediaFile();
    const Run run = runClient({"share", "--name", "My: Clip", "--meta", "k=v", "--data-option",
                               "availableMetadataSets=all", "--media", media});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonObject summary = run.last();
    EXPECT_EQ(summary.value("status").toString(), "ok");
    EXPECT_EQ(summary.value("error").toInt(), 0);
    EXPECT_EQ(summary.value("folder").toString(), exports.path());
    EXPECT_EQ(summary.value("basename").toString(), "My_ Clip");
    EXPECT_TRUE(summary.value("hasMedia").toBool());
    const QString mov = exports.filePath("My_ Clip.mov");
    const QString xml = exports.filePath("My_ Clip.fcpxml");
    EXPECT_EQ(summary.value("files").toArray(), (QJsonArray{mov, xml}));

    QFile source(media), copy(mov);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(source.readAll(), copy.readAll());
    QFile description(xml);
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    EXPECT_TRUE(description.readAll().contains("<fcpxml"));
    EXPECT_EQ(delegate.opened, (QStringList{mov, xml}));

    // The make answered the asset's specifier by unique ID among "assets".
    const auto asset = controller.currentDocument()->assets().first();
    const QJsonObject made = run.step("make").value("result").toObject();
    EXPECT_EQ(made.value("want").toString(), "aset");
    EXPECT_EQ(made.value("form").toString(), "ID  ");
    EXPECT_EQ(made.value("seld").toString(), asset->uniqueID());
    EXPECT_EQ(made.value("from").toObject().value("want").toString(), "docu");

    const QJsonObject location = run.step("locationInfo").value("result").toObject();
    EXPECT_EQ(location.value("folder").toString(),
              QUrl::fromLocalFile(exports.path()).toString(QUrl::FullyEncoded));
    EXPECT_EQ(location.value("basename").toString(), "My_ Clip");
    EXPECT_TRUE(location.value("hasMedia").toBool());
    EXPECT_TRUE(location.value("hasDescription").toBool());
    EXPECT_EQ(run.step("libraryInfo").value("error").toInt(), errAENoSuchObject);
    EXPECT_EQ(run.step("metadata").value("result").toObject(), (QJsonObject{{"k", "v"}}));
    EXPECT_EQ(run.step("dataOptions").value("result").toObject(),
              (QJsonObject{{"availableMetadataSets", "all"}, {"metadataSet", "all"}}));
}

// A render handed over by a script can be larger than the memory the client
// may use: it is copied through, not read whole.
TEST_F(ShareClientFixture, AMovieLargerThanTheClientsMemoryIsCopied) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer reserves its shadow memory up front, more than the limit.
    GTEST_SKIP() << "a data limit leaves no room for the sanitizer's shadow memory";
#endif
    constexpr qint64 kSize = 192 << 20;
    QFile render(home.path() + "/render.mov");
    ASSERT_TRUE(render.open(QIODevice::WriteOnly) && render.resize(kSize));  // sparse
    render.close();
    QProcess process;
    process.setProgram("prlimit");
    process.setArguments({"--data=" + QString::number(96 << 20), RELAYDOCK_BIN_DIR "/share-client",
                          "--socket", server.socketPath(), "share", "--name", "render", "--media",
                          render.fileName(), "--no-open"});
    process.start();
    ASSERT_TRUE(process.waitForStarted(10000));
    const Run run = finish(process);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(process.readAllStandardError());
    EXPECT_EQ(run.last().value("status").toString(), "ok");
    EXPECT_EQ(QFileInfo(exports.filePath("render.mov")).size(), kSize);
}

TEST_F(ShareClientFixture, DescriptionOnlyShareWritesNoMedia) {
    window->fcpXMLOnly = true;
    const Run run = runClient({"share", "--name", "plain", "--no-open"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.last().value("hasMedia").toBool());
    EXPECT_EQ(run.last().value("files").toArray(), (QJsonArray{exports.filePath("plain.fcpxml")}));
    EXPECT_FALSE(QFile::exists(exports.filePath("plain.mov")));
    EXPECT_TRUE(delegate.opened.isEmpty());
}

TEST_F(ShareClientFixture, CancelledWritingDeletesThePartialFile) {
    const Run run = runClient({"share", "--name", "gone", "--cancel-after", "0"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.last().value("status").toString(), "error");
    EXPECT_EQ(run.last().value("error").toInt(), userCanceledErr);
    EXPECT_EQ(run.step("cancel").value("deleted").toString(), exports.filePath("gone.mov"));
    EXPECT_FALSE(QFile::exists(exports.filePath("gone.mov")));
    EXPECT_TRUE(delegate.opened.isEmpty());
}

TEST_F(ShareClientFixture, RefusedSharesReportTheirErrorNumbers) {
    window->mode = FakeWindowController::Mode::Cancel;
    Run run = runClient({"share", "--name", "x"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.last().value("error").toInt(), userCanceledErr);

    window->mode = FakeWindowController::Mode::Asset;
    window->calls.clear();
    run = runClient({"share", "--name", "x", "--interaction", "0x10"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.last().value("error").toInt(), errAENoUserInteraction);
    EXPECT_TRUE(window->calls.empty());

    controller.removeDocument(controller.currentDocument());
    run = runClient({"make", "--name", "x"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.step("make").value("error").toInt(), errAECorruptData);
}

TEST_F(ShareClientFixture, SingleEvents) {
    ASSERT_EQ(runClient({"make", "--name", "one"}).exitCode, 0);
    const QString id = controller.currentDocument()->assets().first()->uniqueID();
    Run run = runClient({"get", id, "locationInfo"});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.step("get").value("result").toObject().value("basename").toString(), "one");
    run = runClient({"get", id, "library info"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.step("get").value("error").toInt(), errAENoSuchObject);
    EXPECT_EQ(runClient({"get", "CORVANE-PRO-0-0", "name"}).exitCode, 1);
    EXPECT_EQ(runClient({"reopen"}).exitCode, 0);
    EXPECT_EQ(delegate.reopened, 1);
    EXPECT_EQ(runClient({"open", "/tmp/a.mov", "/tmp/b.fcpxml"}).exitCode, 0);
    EXPECT_EQ(delegate.opened, (QStringList{"/tmp/a.mov", "/tmp/b.fcpxml"}));
    EXPECT_EQ(runClient({"get", id, "nonsense"}).exitCode, 2);
}

TEST_F(ShareClientFixture, TwoSuspendedMakesResumedInReverseOrderGetTheirOwnReplies) {
    window->mode = FakeWindowController::Mode::Hold;
    auto first = start({"make", "--name", "first"});
    ASSERT_TRUE(waitUntil([&] { return window->calls.size() == 1; }));
    auto second = start({"make", "--name", "second"});
    ASSERT_TRUE(waitUntil([&] { return window->calls.size() == 2; }));
    auto firstAsset = window->makeAsset("first", {}, {});
    auto secondAsset = window->makeAsset("second", {}, {});
    window->calls[1].completion(secondAsset);
    const Run secondRun = finish(*second);
    EXPECT_EQ(first->state(), QProcess::Running);  // still waiting for its own reply
    window->calls[0].completion(firstAsset);
    const Run firstRun = finish(*first);
    ASSERT_EQ(firstRun.exitCode, 0);
    ASSERT_EQ(secondRun.exitCode, 0);
    EXPECT_EQ(firstRun.step("make").value("result").toObject().value("seld").toString(),
              firstAsset->uniqueID());
    EXPECT_EQ(secondRun.step("make").value("result").toObject().value("seld").toString(),
              secondAsset->uniqueID());
}
