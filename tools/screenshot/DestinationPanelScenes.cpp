// The two destination sheets with a populated library list and outline,
// served by the stand-in Tessel service (started from the tool's folder, run
// as the companion so local libraries count as reachable).
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "ScreenshotScene.h"
#include "library/QVLibraryManager.h"
#include "library/QVPreferenceManager.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "ui/QVLibraryListPopover.h"
#include "ui/QVSelectLibraryPanel.h"
#include "ui/QVTesselImportPanel.h"
#include "ui/kit/QVLumoOutlineView.h"
#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoWindow.h"
#include "upload/QVUploadManager.h"

namespace {

bool spinUntil(const std::function<bool()>& done, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return done();
}

QJsonObject node(const QString& id, const QString& name, const QJsonArray& groups = {}) {
    QJsonObject object{{"id", id}, {"name", name}};
    if (!groups.isEmpty()) object.insert("group", groups);
    return object;
}

QJsonObject seed() {
    const QJsonArray documentary{
        node("doc", "Coastline Documentary",
             {node("doc-a", "Act One",
                   {node("doc-a1", "Harbour at Dawn"), node("doc-a2", "Fishing Fleet")}),
              node("doc-b", "Act Two", {node("doc-b1", "Lighthouse Interviews")}),
              node("doc-m", "Music Cues")}),
        node("promo", "Festival Promo", {node("promo-cut", "Cut-downs")}),
        node("arch", "Archive Transfers")};
    const QJsonObject alice{{"userid", "alice"}, {"password", "secret"}};
    return QJsonObject{
        {"localuser", QJsonObject{{"id", "demo"}, {"password", "demo-secret"}}},
        {"libraries",
         QJsonArray{QJsonObject{{"dbname", "studio"},
                                {"name", "Studio Library"},
                                {"desc", "Edit suite A"},
                                {"type", 0},
                                {"projects", documentary}},
                    QJsonObject{{"dbname", "graphics"},
                                {"name", "Graphics"},
                                {"desc", "Titles and lower thirds"},
                                {"type", 0},
                                {"projects", QJsonArray{node("gfx", "Title Packages")}}},
                    QJsonObject{{"dbname", "newsroom"},
                                {"name", "Newsroom Share"},
                                {"desc", "Shared by the news desk"},
                                {"type", 1},
                                {"address", "127.0.0.2"},
                                {"users", QJsonArray{alice}},
                                {"projects", QJsonArray{node("daily", "Daily Bulletin")}}},
                    QJsonObject{{"dbname", "vault"},
                                {"name", "Vault (offline)"},
                                {"type", 1},
                                {"address", "127.0.0.2"},
                                {"rememberuser", false},
                                {"users", QJsonArray{alice}}}}}};
}

// A private home with the service running and the registry loaded; undone
// when it goes.
class DemoService {
  public:
    bool start() {
        if (!home_.isValid()) return false;
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) saved_ << qgetenv(name);
        qputenv("XDG_DATA_HOME", (home_.path() + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (home_.path() + "/config").toUtf8());
        UserDefaults::standardUserDefaults().reset();
        QFile seedFile(home_.path() + "/seed.json");
        if (!seedFile.open(QIODevice::WriteOnly)) return false;
        seedFile.write(QJsonDocument(seed()).toJson());
        seedFile.close();
        const QString bin = QApplication::applicationDirPath();
        const QString program =
            QFile::exists(bin + "/corvane") ? bin + "/corvane" : bin + "/tessel-service";
        process_.setProgram(program);
        process_.setArguments({"--data", home_.path() + "/service", "--seed", seedFile.fileName(),
                               "--bind", "127.0.0.1", "--bind", "127.0.0.2",
                               "--exit-on-stdin-eof"});
        process_.start();
        if (!process_.waitForStarted(5000)) return false;
        if (!spinUntil(
                [&] { return process_.canReadLine() || process_.state() != QProcess::Running; }))
            return false;
        if (!process_.readLine().startsWith("listening on")) return false;
        QVUploadManager::sharedManager().syncTessel();
        QVLibraryManager& manager = QVLibraryManager::sharedManager();
        std::atomic<bool> loaded{false};
        manager.loadAllLibrariesWithCompletion([&](const QVLibraryList&) { loaded = true; });
        if (!spinUntil([&] { return loaded.load(); })) return false;
        Dispatch::waitForGlobal();
        auto pending = std::make_shared<std::atomic<int>>(int(manager.libraries().size()));
        for (const auto& library : manager.libraries())
            manager.reloadLibrary(library, [pending](bool, const QVErrorOpt&) { --*pending; });
        return spinUntil([&] { return pending->load() == 0; });
    }
    ~DemoService() {
        process_.closeWriteChannel();
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
        QVLibraryManager::sharedManager().setLibraries({});
        const char* names[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME"};
        for (int i = 0; i < saved_.size(); ++i) {
            if (saved_[i].isEmpty())
                qunsetenv(names[i]);
            else
                qputenv(names[i], saved_[i]);
        }
        UserDefaults::standardUserDefaults().reset();
    }

  private:
    QTemporaryDir home_;
    QProcess process_;
    QList<QByteArray> saved_;
};

// The sheet with its library list open beside it, as the user sees both.
bool saveSheetWithList(QWidget* sheet, QVLumoPopover* popover, const QString& folder,
                       const QString& file) {
    if (!sheet || !popover) return false;
    const QRect sheetRect = sheet->frameGeometry();
    const QRect listRect = popover->frameGeometry();
    const QRect all = sheetRect.united(listRect).adjusted(-12, -12, 12, 12);
    QPixmap canvas(all.size());
    canvas.fill(QColor(24, 24, 24));
    QPainter p(&canvas);
    p.drawPixmap(sheetRect.topLeft() - all.topLeft(), sheet->grab());
    p.drawPixmap(listRect.topLeft() - all.topLeft(), popover->grab());
    p.end();
    const QString path = QDir(folder).filePath(file + ".png");
    return canvas.save(path, "PNG");
}

QWidget* hostWindow() {
    auto* host = new QVLumoWindow();
    host->setHiddenToolButton(true);
    host->setGeometry(120, 80, 860, 620);
    host->show();
    return host;
}

const bool registered = [] {
    ScreenshotScene::add(
        "import-panel", "Import settings sheet with library list and outline",
        [](const QString& folder) {
            DemoService service;
            if (!service.start()) return false;
            QVPreferenceManager::sharedManager().setLastSelectedLibraryID("studio");
            QVPreferenceManager::sharedManager().setLastSelectedProjectID("doc-a2");
            std::unique_ptr<QWidget> host(hostWindow());
            QVTesselImportPanel panel;
            panel.setName("Harbour at Dawn - Final");
            panel.beginSheet(host.get(), nullptr);
            if (!spinUntil([&] { return panel.projectOutlineView()->selectedRow() >= 0; }))
                return false;
            bool ok = ScreenshotScene::saveWidget(panel.window(), folder, "import-panel");
            panel.selectLibraryAction();
            if (!spinUntil([&] { return panel.libraryList()->isShown(); })) return false;
            spinUntil([] { return false; }, 800);  // let every row's reload be drawn
            ok = saveSheetWithList(panel.window(), panel.popOverLibraryList(), folder,
                                   "import-panel-libraries") &&
                 ok;
            panel.endSheet(0);
            return ok;
        });
    ScreenshotScene::add(
        "select-library-panel", "Library and project selection sheet", [](const QString& folder) {
            DemoService service;
            if (!service.start()) return false;
            std::unique_ptr<QWidget> host(hostWindow());
            QVSelectLibraryPanel panel;
            auto studio = QVLibraryManager::sharedManager().libraryForDBName("studio");
            panel.setSelectedLibrary(studio);
            panel.setSelectedProject(
                QVProject::projectWithID("doc-b1", "Lighthouse Interviews", "studio", 1));
            panel.beginSheet(host.get(), nullptr);
            if (!spinUntil([&] { return panel.projectOutlineView()->selectedRow() >= 0; }))
                return false;
            bool ok = ScreenshotScene::saveWidget(panel.window(), folder, "select-library-panel");
            panel.selectLibraryAction();
            if (!spinUntil([&] { return panel.libraryList()->isShown(); })) return false;
            spinUntil([] { return false; }, 800);
            ok = saveSheetWithList(panel.window(), panel.popOverLibraryList(), folder,
                                   "select-library-panel-libraries") &&
                 ok;
            panel.endSheet(0);
            return ok;
        });
    return true;
}();

}  // namespace
