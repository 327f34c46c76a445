#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "platform/NotificationCenter.h"

class QLabel;
class QVLibrary;
class QVLumoButton;
class QVLumoColorView;
class QVLumoLabel;
class QVLumoRokButton;
class QVPanelImageView;
class QWidget;

// Pieces both destination panels are built from.
namespace QVPanelSupport {

// The notifications the panels follow.
inline const char* const kLibraryProjectsLoaded = "NOTI_LIBRARY_PROJECTS_LOADED";
inline const char* const kReloadLibraryCompleted = "NOTI_RELOAD_LIBRARY_COMPLETED";

// The library a notification was posted with (a shared library record).
std::shared_ptr<QVLibrary> libraryFromNotification(const Notification& notification);

// Runs fn on the main thread: at once when called there, else queued.
void onMain(std::function<void()> fn);

// Asks the upload pipeline to synchronise with the local service; whether
// local libraries are usable.
bool syncTesselNow();

// A dialog button in the agent's look, pressed by key (text form; empty for
// none).
QVLumoButton* makeButton(QWidget* parent, const char* objectName, const QString& title,
                         const QString& key);
// A caption in the sheet's light grey.
QLabel* makeCaption(QWidget* parent, const QString& text);

// The sheet background and the header's two buttons, styled alike.
void styleContentBackView(QVLumoColorView* view);
void styleLibraryButtons(QVLumoRokButton* listButton, QVLumoRokButton* revealButton);

// The header: icon and title of the chosen library at full or half alpha,
// or the no-library icon and text.
void showLibraryHeader(const std::shared_ptr<QVLibrary>& library, bool usable,
                       QVPanelImageView* iconView, QVLumoLabel* titleField);

}  // namespace QVPanelSupport
