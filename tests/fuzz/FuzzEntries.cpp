#include "FuzzEntries.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

namespace FuzzEntries {

void initialize() {
    // Inside a test program the application and the temporary home exist.
    if (QCoreApplication::instance()) return;
    // Lives as long as the process: every input runs inside it.
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/relaydock-fuzz-XXXXXX"));
    const QByteArray root = QFile::encodeName(home.path());
    for (const char* sub : {"config", "data", "cache", "runtime"})
        QDir().mkpath(home.path() + QLatin1Char('/') + QLatin1String(sub));
    QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    static int argc = 1;
    static char name[] = "relaydock-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

namespace {
const char* inputName = nullptr;
}

void setInputName(const char* name) {
    inputName = name;
}

void check(bool condition, const char* message) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s%s%s\n", message, inputName ? " in " : "",
                 inputName ? inputName : "");
    std::abort();
}

}  // namespace FuzzEntries
