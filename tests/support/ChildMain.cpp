#include "ChildMain.h"

#include <cstring>
#include <map>
#include <string>

#include <QCoreApplication>
#include <QFile>

namespace {
std::map<std::string, ChildEntry>& entries() {
    static std::map<std::string, ChildEntry> map;
    return map;
}
const char* const kChildFlag = "--relaydock-child";
}  // namespace

ChildMainRegistrar::ChildMainRegistrar(const char* name, ChildEntry entry) {
    entries()[name] = entry;
}

bool ChildMain::runIfRequested(int argc, char** argv, int* exitCode) {
    if (argc < 3 || std::strcmp(argv[1], kChildFlag) != 0) return false;
    auto it = entries().find(argv[2]);
    if (it == entries().end()) {
        *exitCode = 127;
        return true;
    }
    *exitCode = it->second(argc - 3, argv + 3);
    return true;
}

QString ChildMain::program() {
    // /proc/self/exe also works before an application object exists.
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return self.isEmpty() ? QCoreApplication::applicationFilePath() : self;
}

QStringList ChildMain::arguments(const QString& name, const QStringList& args) {
    return QStringList{QString::fromLatin1(kChildFlag), name} + args;
}

void ChildMain::setUp(QProcess& process, const QString& name, const QStringList& args) {
    process.setProgram(program());
    process.setArguments(arguments(name, args));
}
