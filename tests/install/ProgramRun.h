#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A finished run of an outside program, with what it printed.
struct ProgramRun {
    bool started = false;
    int exitCode = -1;  // -1 also when it crashed or did not end in time
    QString out;
    QString err;

    // Runs program with args; the limit only ends a run that would hang.
    static ProgramRun run(const QString& program, const QStringList& args,
                          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                          int timeoutMs = 240000);
    bool ok() const { return started && exitCode == 0; }
    QString describe() const;
};

// The build tree's programs and paths.
namespace BuildTree {
QString binary(const QString& name);
QString cmake();
QString cpack();
// Every regular file and symbolic link under root, as paths relative to it.
QStringList filesUnder(const QString& root);
}  // namespace BuildTree
