#pragma once

#include <QObject>
#include <QString>

#include "share/QVShareEnvironment.h"

class QLabel;
class QVAboutImageView;
class QVBorderLessWindow;
class QVLumoButton;
class QVLumoColorView;
class QVLumoRokButton;

// The About panel: a borderless dark window with the application's icon,
// name and version, a close button and a button that opens the
// acknowledgements. It owns itself while it is shown: the close action
// closes the window and releases the panel.
class QVAboutPanel : public QObject {
    Q_OBJECT
  public:
    // `workspace` opens the acknowledgements (the desktop's own when empty).
    explicit QVAboutPanel(QVShareEnvironment::Workspace workspace = {});
    ~QVAboutPanel() override;

    // Makes a panel that lives until its close action, and shows it.
    static QVAboutPanel* showAboutPanel(QVShareEnvironment::Workspace workspace = {});

    QVBorderLessWindow* window() const { return window_; }
    QVLumoColorView* borderLineView() const { return borderLineView_; }
    QVLumoRokButton* closeButton() const { return closeButton_; }
    QVLumoButton* ackButton() const { return ackButton_; }
    QLabel* versionField() const { return versionField_; }

    void showWindow();
    void closeAction();
    // Opens the acknowledgements with the application the desktop assigns to
    // them; false when the file is missing or nothing could open it.
    bool acknowledgementsAction();

    // "about.version" filled with the short version and the build number.
    static QString versionText();
    static QString acknowledgementsFileName() {
        return QStringLiteral("Acknowledgements_Relaydock.pdf");
    }
    // The application's resource folder: $RELAYDOCK_RESOURCE_DIR, else
    // the installed data folder relative to the executable
    // (<prefix>/share/relaydock beside <prefix>/bin), else the executable
    // folder, whichever holds the acknowledgements first.
    static QString resourceFolder();

  private:
    QVShareEnvironment::Workspace workspace_;
    void windowDidLoad();

    QVBorderLessWindow* window_ = nullptr;
    QVLumoColorView* borderLineView_ = nullptr;
    QVLumoRokButton* closeButton_ = nullptr;
    QVLumoButton* ackButton_ = nullptr;
    QLabel* versionField_ = nullptr;
    QVAboutImageView* imageView_ = nullptr;
    bool ownsItself_ = false;
};
