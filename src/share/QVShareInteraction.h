#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

class QVLibrary;
class QVProject;
class QVUploadLocation;

// What the user picked in the destination sheet.
struct QVChosenDestination {
    QString name;
    std::shared_ptr<QVLibrary> library;
    std::shared_ptr<QVProject> project;
    std::shared_ptr<QVUploadLocation> location;
    bool fcpXMLOnly = false;
};

// What the share pipeline needs from a person: it cannot decide these
// itself, and only a window can ask. The main window implements it; tests
// script it. Called on the main thread only.
class QVShareInteraction {
  public:
    using SheetEnded = std::function<void(const std::optional<QVChosenDestination>& chosen)>;

    virtual ~QVShareInteraction() = default;
    // Whether shares go to the default destination (the window's switch).
    virtual bool useDefaultLibrary() const = 0;
    // A message with an OK button; the share does not wait for it.
    virtual void showAlert(const QString& message) = 0;
    // Asks where the share named `name` goes. `ended` runs exactly once, on
    // the main queue, with nothing when the user cancels. False when no
    // sheet can be shown (then `ended` never runs).
    virtual bool chooseDestination(const QString& name, SheetEnded ended) = 0;
};
