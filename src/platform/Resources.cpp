#include "platform/Resources.h"

#include <mutex>

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace: it declares the
// generated registration function of relaydock.qrc.
static void registerRelaydockResources() {
    Q_INIT_RESOURCE(relaydock);
}

void Resources::ensureLoaded() {
    static std::once_flag once;
    std::call_once(once, registerRelaydockResources);
}
