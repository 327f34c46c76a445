#include "ScreenshotScene.h"

#include <QDir>
#include <QPixmap>
#include <QTextStream>
#include <QWidget>

namespace {
std::vector<ScreenshotScene>& registry() {
    static std::vector<ScreenshotScene> scenes;
    return scenes;
}
}  // namespace

bool ScreenshotScene::add(const QString& name, const QString& description,
                          std::function<bool(const QString&)> render) {
    registry().push_back({name, description, std::move(render)});
    return true;
}

const std::vector<ScreenshotScene>& ScreenshotScene::all() {
    return registry();
}

bool ScreenshotScene::saveWidget(QWidget* widget, const QString& folder, const QString& file) {
    if (!widget) return false;
    const QString path = QDir(folder).filePath(file + QStringLiteral(".png"));
    const bool ok = widget->grab().save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << Qt::endl;
    return ok;
}
