#include "TempHome.h"

#include <QDir>

#include "platform/AppGroup.h"
#include "platform/UserDefaults.h"

namespace {
const QList<QByteArray> kVariables = {
    "HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
    "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS"};
}

TempHome::TempHome() {
    for (const auto& name : kVariables) {
        if (qEnvironmentVariableIsSet(name.constData()))
            saved_.insert(name, qgetenv(name.constData()));
        else
            unset_.append(name);
    }
    const QString root = dir_.path();
    for (const char* sub : {"config", "data", "cache", "runtime"}) QDir(root).mkpath(sub);
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CACHE_HOME", cacheHome().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toUtf8());
    // Nothing a test runs reaches the desktop's session bus (notifications,
    // the status icon); tests that want a bus start a private one.
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + runtimeDir() + "/no-session-bus").toUtf8());
    UserDefaults::standardUserDefaults().reset();
}

TempHome::~TempHome() {
    for (auto it = saved_.cbegin(); it != saved_.cend(); ++it)
        qputenv(it.key().constData(), it.value());
    for (const auto& name : unset_) qunsetenv(name.constData());
    UserDefaults::standardUserDefaults().reset();
}

QString TempHome::groupContainer() const {
    return dataHome() + "/" + AppGroup::fallbackIdentifier();
}
