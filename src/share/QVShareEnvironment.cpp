#include "share/QVShareEnvironment.h"

#include <QCoreApplication>

#include "platform/Dispatch.h"
#include "platform/Workspace.h"
#include "upload/QVUploadManager.h"

QVShareEnvironment QVShareEnvironment::standard(QVShareEnvironment overrides) {
    QVShareEnvironment environment = std::move(overrides);
    if (!environment.after)
        environment.after = [](int ms, std::function<void()> fn) {
            Dispatch::after(ms, std::move(fn));
        };
    if (!environment.workspace)
        environment.workspace = [](const QString& command, const QString& path) {
            if (command == QLatin1String("open")) return ::Workspace::openFile(path);
            return ::Workspace::revealInFileManager({path});
        };
    if (!environment.terminate) environment.terminate = [] { QCoreApplication::exit(0); };
    if (!environment.serviceCheck)
        environment.serviceCheck = [] { return QVUploadManager::sharedManager().syncTessel(); };
    return environment;
}

QVShareEnvironment QVShareEnvironment::standard() {
    return standard(QVShareEnvironment());
}
