#include <gtest/gtest.h>

#include <QRegularExpression>

#include "ProgramRun.h"

namespace {

QProcessEnvironment offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

ProgramRun run(const QString& program, const QStringList& args) {
    return ProgramRun::run(BuildTree::binary(program), args, offscreen(), 60000);
}

}  // namespace

// A new user's first tries: --help and --version answer and exit 0, a wrong
// option or a missing value is named the way Qt programs name it, with
// status 2, for each of the three programs.
TEST(CommandLine, EveryProgramAnswersHelpVersionAndMistakes) {
    const QList<QPair<QString, QStringList>> programs = {
        {"relaydock", {"--socket", "--screenshot", "--automation", "--background"}},
        {"share-client",
         {"--socket", "--name", "--meta", "--data-option", "--media", "--write-seconds",
          "--cancel-after", "--timeout", "--interaction", "--no-open"}},
        {"tessel-service",
         {"--data", "--seed", "--port", "--bind", "--group-container", "--no-registry", "--fault",
          "--deep-tree", "--exit-on-stdin-eof"}}};
    for (const auto& [program, options] : programs) {
        SCOPED_TRACE(program.toStdString());
        const ProgramRun help = run(program, {"--help"});
        EXPECT_EQ(help.exitCode, 0) << qPrintable(help.describe());
        EXPECT_TRUE(help.out.contains(QRegularExpression("^Usage: \\S*" + program + " ")))
            << qPrintable(help.out);
        for (const QString& option : options)
            EXPECT_TRUE(help.out.contains("  " + option)) << qPrintable(option);

        const ProgramRun version = run(program, {"--version"});
        EXPECT_EQ(version.exitCode, 0) << qPrintable(version.describe());
        EXPECT_TRUE(version.out.startsWith(program + " " RELAYDOCK_VERSION))
            << qPrintable(version.out);

        const ProgramRun unknown = run(program, {"--no-such-option"});
        EXPECT_EQ(unknown.exitCode, 2);
        EXPECT_TRUE(unknown.err.startsWith(program + ": Unknown option 'no-such-option'."))
            << qPrintable(unknown.err);

        const ProgramRun missing = run(program, {options.first()});
        EXPECT_EQ(missing.exitCode, 2);
        EXPECT_TRUE(missing.err.contains("Missing value after '" + options.first() + "'"))
            << qPrintable(missing.err);
    }

    // Qt's own options stay Qt's.
    EXPECT_EQ(run("relaydock", {"-platform", "offscreen", "-reverse", "--version"}).exitCode, 0);
}

TEST(CommandLine, ShareClientAndServiceKeepTheirChecks) {
    for (const QStringList& args :
         {QStringList{}, QStringList{"share"}, QStringList{"get", "ID"}, QStringList{"open"},
          QStringList{"share", "--name", "n", "--meta", "novalue"},
          QStringList{"share", "--name", "n", "--write-seconds", "soon"},
          QStringList{"make", "--interaction", "high"}, QStringList{"dance"}}) {
        const ProgramRun wrong = run("share-client", args);
        EXPECT_EQ(wrong.exitCode, 2) << qPrintable(args.join(' '));
        EXPECT_TRUE(wrong.out.isEmpty()) << qPrintable(wrong.out);
    }
    for (const QStringList& args : {QStringList{"--data", "d"}, QStringList{"--seed", "s"},
                                    QStringList{"--data", "d", "--seed", "s", "--port", "70000"},
                                    QStringList{"--data", "d", "--seed", "s", "stray"}})
        EXPECT_EQ(run("tessel-service", args).exitCode, 2) << qPrintable(args.join(' '));
}
