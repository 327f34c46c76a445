#pragma once

#include <functional>

#include <QString>

class QWidget;

// The folder chooser that the storage menus open as a sheet: folders only,
// one selection, links resolved, new folders allowed, extensions hidden.
// It answers asynchronously with the chosen folder's path, or a null string
// when the user cancelled. A provider can stand in for the dialog so that
// tests and the screenshot tool answer without a person.
class QVSheetFolderChooser {
  public:
    struct Options {
        QString title;
        QString prompt;
        // Where the chooser starts; used only when that folder exists.
        QString directory;
    };
    using Completion = std::function<void(const QString& path)>;
    using Provider =
        std::function<void(QWidget* parent, const Options& options, Completion completion)>;

    // Opens the chooser as a sheet on parent's window; the completion runs
    // on the main thread once, after the chooser has closed.
    static void beginSheet(QWidget* parent, const Options& options, Completion completion);

    // Replaces the dialog; an empty provider restores it.
    static void setProvider(Provider provider);
    static bool hasProvider();

    // The folder the chooser starts in for a remembered path: the path when
    // it is an existing folder, else null (the dialog's own default).
    static QString startDirectory(const QString& remembered);
};
