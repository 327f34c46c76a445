#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Lets a test run code of its own in a separate process: the test program is
// started again with "--relaydock-child <name> args...", and the test main
// runs the registered entry instead of the tests (before any Qt application
// object exists; the entry creates one if it needs it).
using ChildEntry = int (*)(int argc, char** argv);

struct ChildMainRegistrar {
    ChildMainRegistrar(const char* name, ChildEntry entry);
};

// Defines a child entry: RELAYDOCK_CHILD_MAIN(writeLoop) { ... return 0; }
// The body sees argc/argv holding only the arguments after the name.
#define RELAYDOCK_CHILD_MAIN(name)                                                    \
    static int relaydockChild_##name(int argc, char** argv);                          \
    static ChildMainRegistrar relaydockChildReg_##name(#name, relaydockChild_##name); \
    static int relaydockChild_##name([[maybe_unused]] int argc, [[maybe_unused]] char** argv)

namespace ChildMain {
// Runs the registered entry named by the command line and returns true with
// its exit code when the program was started as a child.
bool runIfRequested(int argc, char** argv, int* exitCode);
// The program and arguments that start the named child.
QString program();
QStringList arguments(const QString& name, const QStringList& args = {});
// Prepares (does not start) a QProcess for the named child.
void setUp(QProcess& process, const QString& name, const QStringList& args = {});
}  // namespace ChildMain
