#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ProgramRun.h"
#include "platform/Localization.h"
#include "platform/Resources.h"

namespace {

const QString kAppId = QStringLiteral("com.corvane.Relaydock");

// Runs a program of the prefix with the source and build trees hidden behind
// empty folders (a private mount namespace), as on a machine that only has
// the installed files.
ProgramRun runWithoutTrees(const QStringList& command, const QProcessEnvironment& env) {
    const QString script = QStringLiteral(
        "mount -t tmpfs tmpfs \"$1\" && mount -t tmpfs tmpfs \"$2\" && shift 2 && exec \"$@\"");
    return ProgramRun::run(
        QStringLiteral("unshare"),
        QStringList{"--map-root-user", "--mount", "sh", "-c", script, "sh",
                    QStringLiteral(RELAYDOCK_BUILD_DIR), QStringLiteral(RELAYDOCK_SOURCE_DIR)} +
            command,
        env);
}

QString installedVersion(const QString& metainfo) {
    QFile file(metainfo);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const auto match = QRegularExpression(QStringLiteral("<release version=\"([^\"]+)\""))
                           .match(QString::fromUtf8(file.readAll()));
    return match.captured(1);
}

// The name under which each library the programs link is acknowledged.
// A library missing here must be added to the acknowledgements first.
QString acknowledgedName(const QString& soname) {
    static const QList<QPair<QString, QString>> names = {{"libQt6", "Qt"},
                                                         {"libavformat", "FFmpeg"},
                                                         {"libavcodec", "FFmpeg"},
                                                         {"libavutil", "FFmpeg"},
                                                         {"libswscale", "FFmpeg"},
                                                         {"libplist", "libplist"},
                                                         {"libglib-2.0", "GLib"},
                                                         {"libgio-2.0", "GLib"},
                                                         {"libgobject-2.0", "GLib"},
                                                         {"libstdc++", "GNU C++ Library"},
                                                         {"libgcc_s", "GNU C++ Library"},
                                                         {"libc.so", "GNU C Library"},
                                                         {"ld-linux", "GNU C Library"},
                                                         {"libm.so", "GNU C Library"},
                                                         {"libcpp-httplib", "cpp-httplib"},
                                                         {"libsqlite3", "SQLite"},
                                                         {"libGLX", "libglvnd"},
                                                         {"libOpenGL", "libglvnd"},
                                                         {"libGLdispatch", "libglvnd"}};
    for (const auto& [prefix, name] : names)
        if (soname.startsWith(prefix)) return name;
    return {};
}

QStringList neededLibraries(const QString& binary) {
    const ProgramRun readelf = ProgramRun::run(QStringLiteral("readelf"), {"-d", binary});
    QStringList sonames;
    const QRegularExpression needed(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
    for (const QString& line : readelf.out.split('\n'))
        if (const auto match = needed.match(line); match.hasMatch()) sonames << match.captured(1);
    // The sanitizer runtimes of test builds are not shipped.
    sonames.removeIf([](const QString& name) {
        return name.startsWith("libasan") || name.startsWith("libubsan") ||
               name.startsWith("libtsan");
    });
    return sonames;
}

}  // namespace

// A user's install from source: the files land where the desktop finds them,
// the desktop entry and metainfo validate, and the installed agent runs and
// finds its strings with the trees it was built from out of reach.
TEST(Install, PrefixHoldsADesktopAgentThatStandsOnItsOwn) {
    QTemporaryDir prefix;
    const ProgramRun install = ProgramRun::run(
        BuildTree::cmake(), {"--install", RELAYDOCK_BUILD_DIR, "--prefix", prefix.path()});
    ASSERT_TRUE(install.ok()) << qPrintable(install.describe());

    const QStringList expected = {"bin/relaydock",
                                  "bin/relaydock-share",
                                  "share/applications/" + kAppId + ".desktop",
                                  "share/doc/relaydock/copyright",
                                  "share/icons/hicolor/128x128/apps/" + kAppId + ".png",
                                  "share/icons/hicolor/256x256/apps/" + kAppId + ".png",
                                  "share/icons/hicolor/48x48/apps/" + kAppId + ".png",
                                  "share/icons/hicolor/scalable/apps/" + kAppId + ".svg",
                                  "share/man/man1/relaydock-share.1",
                                  "share/man/man1/relaydock.1",
                                  "share/metainfo/" + kAppId + ".metainfo.xml",
                                  "share/relaydock/Acknowledgements_Relaydock.pdf"};
    EXPECT_EQ(BuildTree::filesUnder(prefix.path()), expected);

    const QDir p(prefix.path());
    const ProgramRun desktop = ProgramRun::run(
        "desktop-file-validate", {p.filePath("share/applications/" + kAppId + ".desktop")});
    EXPECT_TRUE(desktop.ok() && desktop.out.isEmpty()) << qPrintable(desktop.describe());
    const QString metainfo = p.filePath("share/metainfo/" + kAppId + ".metainfo.xml");
    const ProgramRun appstream =
        ProgramRun::run("appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_TRUE(appstream.ok()) << qPrintable(appstream.describe());
    EXPECT_EQ(installedVersion(metainfo), RELAYDOCK_VERSION);

    QTemporaryDir home;
    QDir(home.path()).mkdir("run");
    QFile::setPermissions(home.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env;
    // Sanitizer builds keep the suite's sanitizer settings.
    const QProcessEnvironment outer = QProcessEnvironment::systemEnvironment();
    for (const QString& name : outer.keys())
        if (name.endsWith("SAN_OPTIONS")) env.insert(name, outer.value(name));
    env.insert("PATH", "/usr/bin:/bin");
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("RELAYDOCK_ALERT_AUTO_ANSWER", "1");
    env.insert("RELAYDOCK_LAUNCH_DELAY_MS", "0");

    const ProgramRun version = runWithoutTrees({p.filePath("bin/relaydock"), "--version"}, env);
    EXPECT_TRUE(version.ok()) << qPrintable(version.describe());
    EXPECT_TRUE(version.out.startsWith(QStringLiteral("relaydock " RELAYDOCK_VERSION " ")))
        << qPrintable(version.out);
    const ProgramRun share = runWithoutTrees({p.filePath("bin/relaydock-share"), "--help"}, env);
    EXPECT_TRUE(share.ok()) << qPrintable(share.describe());
    EXPECT_TRUE(share.out.contains("relaydock-share [options] command")) << qPrintable(share.out);

    // Without any library the agent says so in its own words and quits:
    // the text comes from its string table, not a key.
    Resources::ensureLoaded();
    const ProgramRun agent = runWithoutTrees({p.filePath("bin/relaydock")}, env);
    EXPECT_EQ(agent.exitCode, 0) << qPrintable(agent.describe());
    EXPECT_TRUE(agent.err.contains(
        "Alert: " + Localization::localizedString(QStringLiteral("library.message.not.exist"))))
        << qPrintable(agent.describe());
    EXPECT_FALSE(agent.err.contains("library.message.not.exist")) << qPrintable(agent.err);

    // The stand-in service only comes with its own component.
    QTemporaryDir servicePrefix;
    const ProgramRun service = ProgramRun::run(
        BuildTree::cmake(), {"--install", RELAYDOCK_BUILD_DIR, "--prefix", servicePrefix.path(),
                             "--component", "stand-in-service"});
    ASSERT_TRUE(service.ok()) << qPrintable(service.describe());
    EXPECT_EQ(BuildTree::filesUnder(servicePrefix.path()),
              (QStringList{"bin/corvane", "bin/tessel-service"}));
    EXPECT_EQ(QFile::symLinkTarget(servicePrefix.filePath("bin/corvane")),
              servicePrefix.filePath("bin/tessel-service"));
}

// The acknowledgements name every library the agent and the stand-in service
// link, and carry the licence texts those notices refer to.
TEST(Install, AcknowledgementsNameEveryLinkedLibrary) {
    const QString pdf =
        QDir(RELAYDOCK_BIN_DIR)
            .filePath(QStringLiteral(RELAYDOCK_DATA_FROM_BIN "/Acknowledgements_Relaydock.pdf"));
    ProgramRun text = ProgramRun::run("pdftotext", {pdf, "-"});
    ASSERT_TRUE(text.ok()) << qPrintable(text.describe());
    // Headings wrap where the page ends them.
    text.out.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));

    for (const QString program : {"relaydock", "tessel-service"}) {
        const QStringList sonames = neededLibraries(BuildTree::binary(program));
        ASSERT_FALSE(sonames.isEmpty()) << qPrintable(program);
        for (const QString& soname : sonames) {
            const QString name = acknowledgedName(soname);
            EXPECT_FALSE(name.isEmpty()) << qPrintable(program) << " links " << qPrintable(soname)
                                         << ", which the acknowledgements do not name";
            if (!name.isEmpty()) {
                EXPECT_TRUE(text.out.contains(name)) << qPrintable(name);
            }
        }
    }
    for (const char* licence :
         {"GNU Lesser General Public License, version 2.1",
          "GNU Lesser General Public License, version 3", "GNU General Public License, version 2",
          "GNU General Public License, version 3", "GCC Runtime Library Exception"})
        EXPECT_TRUE(text.out.contains(licence)) << licence;
    // The licences are whole, up to their last clause.
    EXPECT_TRUE(text.out.contains("Ty Coon, President of Vice"));
}
