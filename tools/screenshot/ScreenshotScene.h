#pragma once

#include <functional>
#include <vector>

#include <QString>

class QWidget;

// A named scene of the screenshot tool: it builds a window (or a sheet of
// images), writes one or more PNG files into the output folder and answers
// whether it succeeded. Scenes register themselves at start-up:
//
//   static const bool registered = ScreenshotScene::add(
//       "about", "The About panel", [](const QString& folder) { ... });
struct ScreenshotScene {
    QString name;
    QString description;
    std::function<bool(const QString& folder)> render;

    static bool add(const QString& name, const QString& description,
                    std::function<bool(const QString& folder)> render);
    static const std::vector<ScreenshotScene>& all();

    // Writes a widget, as drawn now, to <folder>/<file>.png; false on failure.
    static bool saveWidget(QWidget* widget, const QString& folder, const QString& file);
};
