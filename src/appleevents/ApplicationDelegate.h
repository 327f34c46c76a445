#pragma once

#include <QStringList>

// What the application does with the core events, whatever carried them.
class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    // 'aevt'/'odoc': local paths of the files, in the order given.
    virtual void openFiles(const QStringList& paths) = 0;
    // 'aevt'/'rapp': bring the main window back.
    virtual void reopen() = 0;
    // 'aevt'/'oapp'.
    virtual void openApplication() {}
    // 'aevt'/'quit': called after the reply has gone out.
    virtual void quit() = 0;
};
