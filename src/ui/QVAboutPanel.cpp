#include "ui/QVAboutPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "ui/QVAboutImageView.h"
#include "ui/QVBorderLessWindow.h"
#include "ui/QVSheetContentView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoWindow.h"
#include "ui/kit/QVLumoWindowMover.h"

namespace {
// The "About" layout: a 340 x 250 window, framed by a one-point line.
constexpr int kWidth = 340;
constexpr int kHeight = 250;
}  // namespace

QVAboutPanel::QVAboutPanel(QVShareEnvironment::Workspace workspace)
    : workspace_(workspace ? std::move(workspace) : QVShareEnvironment::standard().workspace) {
    window_ = new QVBorderLessWindow(QRect(0, 0, kWidth, kHeight));
    window_->setObjectName(QStringLiteral("About"));
    window_->setWindowTitle(QStringLiteral("About Relaydock"));
    borderLineView_ = new QVLumoColorView(window_);
    borderLineView_->setGeometry(0, 0, kWidth, kHeight);
    auto* content = new QVSheetContentView(borderLineView_);
    content->setGeometry(1, 1, kWidth - 2, kHeight - 2);

    closeButton_ = new QVLumoRokButton(content);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setGeometry(10, 10, 16, 16);
    closeButton_->setKeyEquivalent(QStringLiteral("\x1b"));
    connect(closeButton_, &QAbstractButton::clicked, this, &QVAboutPanel::closeAction);

    imageView_ = new QVAboutImageView(content);
    imageView_->setGeometry((kWidth - 2 - 96) / 2, 24, 96, 96);
    imageView_->setImage(QVLumoImage(QStringLiteral("relaydock")));

    auto* nameField = new QLabel(QStringLiteral("Relaydock"), content);
    nameField->setFont(QVTesselDesign::tesselBoldFontWithSize(18));
    nameField->setStyleSheet(QStringLiteral("color: white;"));
    nameField->setAlignment(Qt::AlignCenter);
    nameField->setGeometry(0, 128, kWidth - 2, 26);

    versionField_ = new QLabel(content);
    versionField_->setFont(QVTesselDesign::tesselFontWithSize(12));
    versionField_->setStyleSheet(QStringLiteral("color: rgb(192,192,192);"));
    versionField_->setAlignment(Qt::AlignCenter);
    versionField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    versionField_->setGeometry(0, 156, kWidth - 2, 20);

    ackButton_ = new QVLumoButton(content);
    ackButton_->setObjectName(QStringLiteral("ackButton"));
    ackButton_->setText(QStringLiteral("Acknowledgements"));
    ackButton_->setFont(QVTesselDesign::tesselFontWithSize(12));
    ackButton_->setGeometry((kWidth - 2 - 150) / 2, 196, 150, 25);
    connect(ackButton_, &QAbstractButton::clicked, this, [this] { acknowledgementsAction(); });

    // Presses that no control takes move the window.
    new QVLumoWindowMover(content);
    windowDidLoad();
}

QVAboutPanel::~QVAboutPanel() {
    delete window_;
}

void QVAboutPanel::windowDidLoad() {
    borderLineView_->setColor(QVTesselDesign::grey(56));
    closeButton_->setImageWithDefault(QStringLiteral("btn.close.nor"),
                                      QStringLiteral("btn.close.pre"),
                                      QStringLiteral("btn.close.nor"));
    ackButton_->setImageWithStart(QStringLiteral("btn.left.nor"), QStringLiteral("btn.center.nor"),
                                  QStringLiteral("btn.right.nor"), QStringLiteral("btn.left.pre"),
                                  QStringLiteral("btn.center.pre"),
                                  QStringLiteral("btn.right.pre"));
    versionField_->setText(versionText());
}

QVAboutPanel* QVAboutPanel::showAboutPanel(QVShareEnvironment::Workspace workspace) {
    auto* panel = new QVAboutPanel(std::move(workspace));
    panel->ownsItself_ = true;
    panel->showWindow();
    return panel;
}

void QVAboutPanel::showWindow() {
    // Over the main window, where the user's eyes are; without one shown, in
    // the middle of the screen.
    QRect frame = window_->geometry();
    QWidget* main = QVLumoWindow::mainWindow();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (main && main->isVisible())
        frame.moveCenter(main->geometry().center());
    else if (screen)
        frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void QVAboutPanel::closeAction() {
    window_->close();
    if (ownsItself_) {
        ownsItself_ = false;
        deleteLater();
    }
}

QString QVAboutPanel::versionText() {
    return Localization::format(
        Localization::localizedString(QStringLiteral("about.version")),
        {QStringLiteral(RELAYDOCK_VERSION), QStringLiteral(RELAYDOCK_BUILD_NUMBER)});
}

QString QVAboutPanel::resourceFolder() {
    QStringList candidates;
    const QString fromEnv = qEnvironmentVariable("RELAYDOCK_RESOURCE_DIR");
    if (!fromEnv.isEmpty()) candidates << fromEnv;
    const QString appDir = QCoreApplication::applicationDirPath();
    candidates << QDir::cleanPath(appDir + QStringLiteral("/" RELAYDOCK_DATA_FROM_BIN)) << appDir;
    for (const QString& folder : candidates) {
        if (QFileInfo::exists(QDir(folder).filePath(acknowledgementsFileName()))) return folder;
    }
    return candidates.first();
}

bool QVAboutPanel::acknowledgementsAction() {
    const QString path = QDir(resourceFolder()).filePath(acknowledgementsFileName());
    if (!QFileInfo::exists(path)) {
        qCWarning(lcRelaydock).noquote() << "Acknowledgements not found:" << path;
        return false;
    }
    return workspace_(QStringLiteral("open"), path);
}
