#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/ApplicationAssociations.h"
#include "platform/Workspace.h"
#include "support/ChildMain.h"
#include "support/Wait.h"

// GIO reads XDG_DATA_HOME and friends once per process and caches its
// application database, so everything that needs a prepared database runs
// in a child started with the environment set.

namespace {

QJsonArray describe(const QList<ApplicationInfo>& apps) {
    QJsonArray out;
    for (const auto& app : apps)
        out.append(QJsonObject{{"id", app.desktopId},
                               {"name", app.displayName},
                               {"icon", !app.icon.isNull()},
                               {"file", app.filePath}});
    return out;
}

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray desktopEntry(const QString& name, const QString& recorder, const QString& extra) {
    return QString("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %f\n%3\n")
        .arg(name, recorder, extra)
        .toUtf8();
}

}  // namespace

// Reports the associations of argv[0] and performs the opening commands.
RELAYDOCK_CHILD_MAIN(gioAssociations) {
    if (argc < 3) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "gio-child";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication app(qtArgc, qtArgv);
    const QString file = QString::fromLocal8Bit(argv[0]);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const auto fallback = ApplicationAssociations::defaultApplicationForFile(folder + "/none.zzq");
    const auto byDefault = ApplicationAssociations::defaultApplicationForFile(file);
    QJsonObject report{
        {"type", ApplicationAssociations::contentTypeForFile(file)},
        {"forFile", describe(ApplicationAssociations::applicationsForFile(file))},
        {"default", byDefault ? byDefault->desktopId : QString()},
        {"noDefault", !fallback.has_value()},
        {"all", describe(ApplicationAssociations::allApplications())},
        {"openWith", Workspace::openFileWithApplication(file, "alpha.desktop")},
        {"openWithUnknown", Workspace::openFileWithApplication(file, "absent.desktop")},
        {"openWithProgram",
         Workspace::openFileWithApplication(file, QString::fromLocal8Bit(argv[2]))},
        {"open", Workspace::openFile(file)},
        {"openMissing", Workspace::openFile(folder + "/missing.mov")},
        {"reveal", Workspace::revealInFileManager({file})},
        {"openUrl", Workspace::openUrl("relaydock-test://open/item?id=7")},
    };
    std::fputs(QJsonDocument(report).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

TEST(GioIntegrationTest, AssociationsAndLaunchesFollowTheDesktopDatabase) {
    // File types come from the freedesktop MIME database (shared-mime-info).
    if (!QFile::exists("/usr/share/mime/mime.cache")) GTEST_SKIP() << "no MIME database";
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString apps = root + "/data/applications";
    // Each application records the file it was asked to open.
    const QString recorder = root + "/record";
    writeFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$2\" >> \"$1\"\n");
    QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QImage(16, 16, QImage::Format_ARGB32).save(root + "/alpha.png");
    auto runner = [&](const char* who) { return recorder + " " + root + "/" + who + ".log"; };
    writeFile(apps + "/alpha.desktop",
              desktopEntry("Alpha Player", runner("alpha"),
                           "MimeType=video/quicktime;\nIcon=" + root + "/alpha.png"));
    writeFile(apps + "/beta.desktop",
              desktopEntry("Beta Viewer", runner("beta"), "MimeType=video/quicktime;"));
    writeFile(apps + "/gamma.desktop",
              desktopEntry("Gamma Files", runner("gamma"), "MimeType=inode/directory;"));
    writeFile(apps + "/hidden.desktop", desktopEntry("Hidden Helper", runner("hidden"),
                                                     "MimeType=video/quicktime;\nNoDisplay=true"));
    writeFile(apps + "/delta.desktop",
              QString("[Desktop Entry]\nType=Application\nName=Delta Links\nExec=%1 %u\n"
                      "MimeType=x-scheme-handler/relaydock-test;\n")
                  .arg(runner("delta"))
                  .toUtf8());
    writeFile(root + "/config/mimeapps.list",
              "[Default Applications]\nvideo/quicktime=beta.desktop\n"
              "inode/directory=gamma.desktop\n"
              "x-scheme-handler/relaydock-test=delta.desktop\n");
    const QString clip = root + "/media/clip one.mov";
    writeFile(clip, QByteArray(64, '\0'));
    // A program chosen by path (Open With > Other...) whose path GIO's
    // command-line parser would split or unquote if it went in bare.
    const QString program = root + "/Tools \"Q\" & 'R' 100%/open it";
    writeFile(program,
              "#!/bin/sh\nprintf '%s %s\\n' \"$#\" \"$1\" >> " + root.toUtf8() + "/program.log\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess child;
    ChildMain::setUp(child, "gioAssociations", {clip, root + "/media", program});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", root);
    env.insert("XDG_DATA_HOME", root + "/data");
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_CONFIG_DIRS", root + "/no-system-config");
    env.insert("XDG_DATA_DIRS", "/usr/share");  // the MIME database
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY",
                             "WAYLAND_DISPLAY", "GIO_USE_VFS"})
        env.remove(name);
    env.insert("GIO_USE_VFS", "local");
    // Under ThreadSanitizer glib's and Qt's own worker threads (uninstrumented
    // libraries) produce reports that say nothing about this code; they are
    // still printed but neither stop the child nor change its exit code.
    env.insert("TSAN_OPTIONS", env.value("TSAN_OPTIONS") + ":halt_on_error=0:exitcode=0");
    child.setProcessEnvironment(env);
    child.start();
    ASSERT_TRUE(child.waitForFinished(60000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    const QJsonObject report = QJsonDocument::fromJson(child.readAllStandardOutput()).object();

    EXPECT_EQ(report["type"].toString(), "video/quicktime");
    QStringList forFile;
    for (const auto& app : report["forFile"].toArray()) {
        const QJsonObject info = app.toObject();
        forFile << info["id"].toString();
        if (info["id"] == "alpha.desktop") {
            EXPECT_EQ(info["name"].toString(), "Alpha Player");
            EXPECT_TRUE(info["icon"].toBool());
            EXPECT_EQ(info["file"].toString(), apps + "/alpha.desktop");
        }
    }
    EXPECT_TRUE(forFile.contains("alpha.desktop")) << QJsonDocument(report).toJson().toStdString();
    EXPECT_TRUE(forFile.contains("beta.desktop"));
    EXPECT_FALSE(forFile.contains("gamma.desktop"));
    EXPECT_FALSE(forFile.contains("hidden.desktop"));
    EXPECT_EQ(report["default"].toString(), "beta.desktop");
    EXPECT_TRUE(report["noDefault"].toBool());
    QStringList all;
    for (const auto& app : report["all"].toArray()) all << app.toObject()["id"].toString();
    for (const char* id : {"alpha.desktop", "beta.desktop", "gamma.desktop"})
        EXPECT_TRUE(all.contains(id)) << id;
    EXPECT_FALSE(all.contains("hidden.desktop"));

    EXPECT_TRUE(report["openWith"].toBool());
    EXPECT_FALSE(report["openWithUnknown"].toBool());
    EXPECT_TRUE(report["openWithProgram"].toBool());
    EXPECT_TRUE(report["open"].toBool());
    EXPECT_FALSE(report["openMissing"].toBool());
    EXPECT_TRUE(report["reveal"].toBool());
    EXPECT_TRUE(report["openUrl"].toBool());
    // The launched programs run on their own; wait for their records.
    auto logOf = [&](const char* who) {
        QFile file(root + "/" + who + ".log");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    };
    ASSERT_TRUE(waitUntil([&] {
        return !logOf("alpha").isEmpty() && !logOf("beta").isEmpty() && !logOf("gamma").isEmpty() &&
               !logOf("delta").isEmpty() && !logOf("program").isEmpty();
    }));
    EXPECT_EQ(logOf("program"), "1 " + clip);
    EXPECT_EQ(logOf("alpha"), clip);
    EXPECT_EQ(logOf("beta"), clip);
    EXPECT_EQ(logOf("gamma"), root + "/media");  // no file manager service: its folder opens
    EXPECT_EQ(logOf("delta"), "relaydock-test://open/item?id=7");
}

TEST(WorkspaceTest, FileIconsAlwaysHaveSomethingToShow) {
    EXPECT_FALSE(Workspace::iconForFileType("mov").isNull());
    EXPECT_FALSE(Workspace::iconForFileType("no-such-extension").isNull());
    QTemporaryDir dir;
    EXPECT_FALSE(Workspace::iconForFile(dir.path()).isNull());
    EXPECT_FALSE(Workspace::openUrl("not a url"));
    EXPECT_FALSE(Workspace::revealInFileManager({dir.filePath("missing")}));
}
