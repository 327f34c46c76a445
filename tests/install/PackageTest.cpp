#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "ProgramRun.h"

// The Debian package a user installs: built by CPack from the build tree,
// it carries the installed files, depends on the runtime packages of the
// libraries the agent links, and its agent runs from where it is unpacked.
TEST(Package, DebianPackageCarriesTheAgentAndItsDependencies) {
    QTemporaryDir out;
    const ProgramRun cpack = ProgramRun::run(
        BuildTree::cpack(),
        {"-G", "DEB", "--config", RELAYDOCK_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()});
    ASSERT_TRUE(cpack.ok()) << qPrintable(cpack.describe());
    const QStringList debs = QDir(out.path()).entryList({"relaydock_*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << qPrintable(cpack.describe());
    const QString deb = QDir(out.path()).filePath(debs.first());
    EXPECT_TRUE(
        debs.first().startsWith("relaydock_" RELAYDOCK_VERSION "-" RELAYDOCK_BUILD_NUMBER "_"))
        << qPrintable(debs.first());

    const ProgramRun contents = ProgramRun::run("dpkg-deb", {"-c", deb});
    ASSERT_TRUE(contents.ok()) << qPrintable(contents.describe());
    for (const char* file :
         {"./usr/bin/relaydock", "./usr/bin/relaydock-share",
          "./usr/share/applications/com.corvane.Relaydock.desktop",
          "./usr/share/metainfo/com.corvane.Relaydock.metainfo.xml",
          "./usr/share/icons/hicolor/scalable/apps/com.corvane.Relaydock.svg",
          "./usr/share/icons/hicolor/256x256/apps/com.corvane.Relaydock.png",
          "./usr/share/man/man1/relaydock.1", "./usr/share/man/man1/relaydock-share.1",
          "./usr/share/relaydock/Acknowledgements_Relaydock.pdf",
          "./usr/share/doc/relaydock/copyright"})
        EXPECT_TRUE(contents.out.contains(QString(file) + '\n')) << file;
    EXPECT_FALSE(contents.out.contains("tessel-service"));
    EXPECT_FALSE(contents.out.contains("corvane\n"));

    const ProgramRun depends = ProgramRun::run("dpkg-deb", {"-f", deb, "Depends"});
    ASSERT_TRUE(depends.ok()) << qPrintable(depends.describe());
    for (const char* package : {"libqt6core6", "libqt6widgets6", "libavcodec\\d+",
                                "libavformat\\d+", "libglib2\\.0-0", "libplist\\d"})
        EXPECT_TRUE(depends.out.contains(QRegularExpression(QString("(^|, )") + package + " ")))
            << package << " in " << qPrintable(depends.out);

    QTemporaryDir root;
    ASSERT_TRUE(ProgramRun::run("dpkg-deb", {"-x", deb, root.path()}).ok());
    const ProgramRun version =
        ProgramRun::run(QDir(root.path()).filePath("usr/bin/relaydock"), {"--version"});
    EXPECT_TRUE(version.ok()) << qPrintable(version.describe());
    EXPECT_TRUE(version.out.startsWith("relaydock " RELAYDOCK_VERSION)) << qPrintable(version.out);

    QFile copyright(QDir(root.path()).filePath("usr/share/doc/relaydock/copyright"));
    ASSERT_TRUE(copyright.open(QIODevice::ReadOnly));
    const QString notices = QString::fromUtf8(copyright.readAll());
    for (const char* name : {"Qt", "FFmpeg", "libplist", "GLib", "cpp-httplib", "SQLite",
                             "GNU Lesser General Public License, version 2.1"})
        EXPECT_TRUE(notices.contains(name)) << name;
}
