// The alert box in its variants, each captured while it runs modally.
#include <QTimer>

#include "ScreenshotScene.h"
#include "platform/Localization.h"
#include "ui/QVAlertBox.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

// Shows a box through one of the class operations, saves it once it is up,
// then answers it with Cancel where there is one, else OK.
bool capture(const QString& folder, const QString& file, const std::function<void()>& show) {
    bool saved = false;
    QVAlertBox::setPresentationHook([&](QVAlertBox* box) {
        saved = ScreenshotScene::saveWidget(box->window(), folder, file);
        if (box->cancelButton()->isVisible()) {
            box->cancelButton()->click();
        } else {
            box->OKButton()->click();
        }
    });
    show();
    QVAlertBox::setPresentationHook(nullptr);
    return saved;
}

QString text(const char* key) {
    return Localization::localizedString(QString::fromUtf8(key));
}

const bool registered = [] {
    ScreenshotScene::add("alert-ok", "Message with OK only", [](const QString& folder) {
        return capture(folder, "alert-ok", [] {
            QVAlertBox::showOKAlertBoxWithMessage(text("defaultlibrary.not.selected"));
        });
    });
    ScreenshotScene::add(
        "alert-ok-cancel", "Delete confirmation (OK, Cancel)", [](const QString& folder) {
            return capture(folder, "alert-ok-cancel", [] {
                QVAlertBox::showOKCancelAlertBoxWithTitle(QVAlertBox::applicationTitle(),
                                                          text("exportitems.want.delete"),
                                                          text("button.delete"), 3, nullptr);
            });
        });
    ScreenshotScene::add("alert-ok-cancel-other", "Three buttons", [](const QString& folder) {
        return capture(folder, "alert-ok-cancel-other", [] {
            QVAlertBox::showOKCancelOtherAlertBoxWithTitle(
                "Library server not reachable",
                "The library's server did not answer. Try again, or store the clip's media "
                "in a folder and add it later.",
                "Choose Folder…", 1, nullptr);
        });
    });
    ScreenshotScene::add(
        "alert-checkbox", "Confirmation with a check box", [](const QString& folder) {
            return capture(folder, "alert-checkbox", [] {
                QVAlertBox::showOKAlertCheckBoxWithTitle(QVAlertBox::applicationTitle(),
                                                         text("exportitems.want.clear"),
                                                         "Do not ask again", 3, nullptr);
            });
        });
    ScreenshotScene::add("alert-long", "Wide title and long message", [](const QString& folder) {
        return capture(folder, "alert-long", [] {
            QVAlertBox::showOKAlertBoxWithTitle(
                "The clip could not be added to the library “Documentary Rushes 2024”",
                text("import.remote.upload.server.need.permission") + "\n\n" +
                    text("version.need.update"),
                nullptr);
        });
    });
    return true;
}();

}  // namespace
