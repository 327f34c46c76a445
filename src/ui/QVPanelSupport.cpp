#include "ui/QVPanelSupport.h"

#include <QLabel>

#include "library/QVLibrary.h"
#include "platform/Dispatch.h"
#include "platform/Localization.h"
#include "ui/QVPanelImageView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoRokButton.h"
#include "upload/QVUploadManager.h"

namespace QVPanelSupport {

std::shared_ptr<QVLibrary> libraryFromNotification(const Notification& notification) {
    if (const auto* shared = std::any_cast<std::shared_ptr<QVLibrary>>(&notification.object))
        return *shared;
    if (const auto* raw = std::any_cast<QVLibrary*>(&notification.object))
        return *raw ? (*raw)->shared_from_this() : nullptr;
    return nullptr;
}

void onMain(std::function<void()> fn) {
    if (Dispatch::isMainThread()) {
        fn();
    } else {
        Dispatch::main(std::move(fn));
    }
}

bool syncTesselNow() {
    return QVUploadManager::sharedManager().syncTessel();
}

QVLumoButton* makeButton(QWidget* parent, const char* objectName, const QString& title,
                         const QString& key) {
    auto* button = new QVLumoButton(parent);
    button->setObjectName(QString::fromUtf8(objectName));
    button->setImageWithStart(QStringLiteral("btn.left.nor"), QStringLiteral("btn.center.nor"),
                              QStringLiteral("btn.right.nor"), QStringLiteral("btn.left.pre"),
                              QStringLiteral("btn.center.pre"), QStringLiteral("btn.right.pre"));
    button->setStringValue(title);
    button->setKeyEquivalent(key);
    return button;
}

QLabel* makeCaption(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setFont(QVTesselDesign::tesselFontWithSize(12));
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, QVTesselDesign::defaultTextColor());
    label->setPalette(pal);
    return label;
}

void styleContentBackView(QVLumoColorView* view) {
    view->setColor(QColor::fromRgbF(0.14, 0.14, 0.14, 0.98));
    view->setDrawBroder(true);
    view->setBorderColor(Qt::black);
}

void styleLibraryButtons(QVLumoRokButton* listButton, QVLumoRokButton* revealButton) {
    listButton->setImageWithDefault(QStringLiteral("librarybar.select"),
                                    QStringLiteral("librarybar.select.clicked"),
                                    QStringLiteral("librarybar.select.disabled"));
    revealButton->setImageWithDefault(QStringLiteral("icon.reveal.nor"),
                                      QStringLiteral("icon.reveal.pre"),
                                      QStringLiteral("icon.reveal.dim"));
}

void showLibraryHeader(const std::shared_ptr<QVLibrary>& library, bool usable,
                       QVPanelImageView* iconView, QVLumoLabel* titleField) {
    if (!library) {
        iconView->setImage(QStringLiteral("menu.icon.library"));
        iconView->setAlphaValue(1.0);
        titleField->setStringValue(
            Localization::localizedString(QStringLiteral("library.no.library")));
        titleField->setAlphaValue(1.0);
        return;
    }
    iconView->setImage(library->libraryType() != 0 ? QStringLiteral("librarybar.network")
                                                   : QStringLiteral("librarybar.local"));
    titleField->setStringValue(library->name());
    const qreal alpha = usable ? 1.0 : 0.5;
    iconView->setAlphaValue(alpha);
    titleField->setAlphaValue(alpha);
}

}  // namespace QVPanelSupport
