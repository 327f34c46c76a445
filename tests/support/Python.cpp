#include "Python.h"

#include <QProcess>

QByteArray Python::run(const QString& script, const QStringList& args, bool* ok,
                       QByteArray* errors) {
    QProcess process;
    process.start(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args);
    const bool finished = process.waitForStarted() && process.waitForFinished(120000);
    if (errors) *errors = process.readAllStandardError();
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return process.readAllStandardOutput();
}
