// relaydock-screenshot [--out FOLDER] [--list] [SCENE...]
// Renders the registered scenes (all of them when none is named) to PNG
// files in FOLDER (default: screenshots).
#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QTextStream>

#include "ScreenshotScene.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("relaydock"));
    QStringList args = QApplication::arguments().mid(1);
    QString folder = QStringLiteral("screenshots");
    QStringList wanted;
    bool list = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i] == QLatin1String("--list")) {
            list = true;
        } else {
            wanted << args[i];
        }
    }
    QTextStream out(stdout);
    std::vector<ScreenshotScene> scenes = ScreenshotScene::all();
    std::sort(scenes.begin(), scenes.end(),
              [](const ScreenshotScene& a, const ScreenshotScene& b) { return a.name < b.name; });
    if (list) {
        for (const auto& scene : scenes) out << scene.name << "\t" << scene.description << Qt::endl;
        return 0;
    }
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "cannot create " << folder << Qt::endl;
        return 1;
    }
    int failures = 0, ran = 0;
    for (const auto& scene : scenes) {
        if (!wanted.isEmpty() && !wanted.contains(scene.name)) continue;
        ++ran;
        if (!scene.render(folder)) {
            ++failures;
            QTextStream(stderr) << "scene " << scene.name << " failed" << Qt::endl;
        }
    }
    for (const QString& name : wanted) {
        const bool known = std::any_of(scenes.begin(), scenes.end(),
                                       [&](const ScreenshotScene& s) { return s.name == name; });
        if (!known) {
            QTextStream(stderr) << "no scene named " << name << Qt::endl;
            ++failures;
        }
    }
    out << ran << " scenes, " << failures << " failed" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
