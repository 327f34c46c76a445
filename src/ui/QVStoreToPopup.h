#pragma once

#include <QObject>
#include <QPointer>

#include "ui/kit/QVLumoMenuDelegate.h"

class QAction;
class QString;
class QVDefaultDestination;
class QVLumoPopUpButton;
class QWidget;

// The bottom bar's store-to pop-up: inside the library, the folder chosen
// last, or another folder picked in a sheet on the window. The choice goes to
// the preferences; a folder is offered only for a local default library.
class QVStoreToPopup : public QObject, public QVLumoMenuDelegate {
    Q_OBJECT
  public:
    QVStoreToPopup(QVLumoPopUpButton* button, QWidget* window,
                   const QVDefaultDestination& destination, QObject* parent = nullptr);

    // Fills the pop-up from the preferences, "inside the library" selected.
    void setupStoreToPopupButton();
    QAction* selectedLibraryMenuItem() const;
    QAction* storeToPathMenuItem() const;
    // The item in force (the pop-up shows it again when a choice is cancelled).
    QAction* selectedStoreToMenuItem() const { return selectedStoreToMenuItem_; }

    void popupInsideLibraryAction(QAction* sender);
    void popupStoreToPathAction(QAction* sender);
    void popupStoreToOtherAction(QAction* sender);
    void externalLocationAction(QAction* sender);
    // Answers only for the pop-up's items; any other item is left enabled.
    bool validateMenuItem(QAction* item) override;

  private:
    void storeToFolderChosen(const QString& folder);

    QVLumoPopUpButton* button_;
    QPointer<QWidget> window_;
    const QVDefaultDestination& destination_;
    QPointer<QAction> selectedStoreToMenuItem_;
};
