#pragma once

#include <utility>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include "export/QVExportItemManager.h"
#include "platform/UserDefaults.h"
#include "ui/FCPXWindowController.h"

// A private home for the settings, the autostart entry and the agent's
// folder while a scene runs, so that taking pictures changes nothing of the
// user's.
struct SceneHome {
    SceneHome() {
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            saved.append({name, qgetenv(name)});
            qputenv(name, QFile::encodeName(dir.filePath(QString::fromLatin1(name))));
        }
        UserDefaults::standardUserDefaults().reset();
    }
    ~SceneHome() {
        QVExportItemManager::sharedManager().setExportItems({});
        for (const auto& [name, value] : saved) qputenv(name, value);
        UserDefaults::standardUserDefaults().reset();
    }
    SceneHome(const SceneHome&) = delete;
    SceneHome& operator=(const SceneHome&) = delete;
    QTemporaryDir dir;
    QList<std::pair<const char*, QByteArray>> saved;
};
