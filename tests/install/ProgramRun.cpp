#include "ProgramRun.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>

ProgramRun ProgramRun::run(const QString& program, const QStringList& args,
                           const QProcessEnvironment& env, int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    ProgramRun result;
    result.started = process.waitForStarted(30000);
    if (!result.started) {
        result.err = process.errorString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err += QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString ProgramRun::describe() const {
    return QStringLiteral("exit %1\n--- stdout\n%2\n--- stderr\n%3").arg(exitCode).arg(out, err);
}

namespace BuildTree {

QString binary(const QString& name) {
    return QStringLiteral(RELAYDOCK_BIN_DIR "/") + name;
}

QString cmake() {
    return QStringLiteral(RELAYDOCK_CMAKE_COMMAND);
}

QString cpack() {
    return QStringLiteral(RELAYDOCK_CPACK_COMMAND);
}

QStringList filesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

}  // namespace BuildTree
