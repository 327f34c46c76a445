#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>

#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/NotificationCenter.h"

class QVLibraryListCellView;
class QVLibraryListPopover;
class QVLumoButton;
class QVLumoColorView;
class QVLumoLabel;
class QVLumoOutlineView;
class QVLumoPopover;
class QVLumoRokButton;
class QVLumoTableView;
class QVLumoWindow;
class QVPanelImageView;
class QVProjectOutlineModel;
class QWidget;

// The sheet in which the user picks the main window's default destination:
// one library (from the pop-over list of all libraries) and one project or
// group in it (from the outline). It ends with 1 when OK is pressed, which
// is possible only with both chosen, and with 0 on Cancel; the caller then
// reads the two selections. It stores only the last picked library.
class QVSelectLibraryPanel : public QObject {
    Q_OBJECT
  public:
    using SheetCompletion = std::function<void(qint64 returnCode)>;

    explicit QVSelectLibraryPanel(QObject* parent = nullptr);
    ~QVSelectLibraryPanel() override;

    // The window; the first call builds it and runs the one-time set-up, so
    // preset the selections before.
    QVLumoWindow* window();
    bool beginSheet(QWidget* parent, SheetCompletion completion);
    void endSheet(qint64 returnCode);

    std::shared_ptr<QVLibrary> selectedLibrary() const { return selectedLibrary_; }
    void setSelectedLibrary(const std::shared_ptr<QVLibrary>& library) {
        selectedLibrary_ = library;
    }
    std::shared_ptr<QVProject> selectedProject() const { return selectedProject_; }
    void setSelectedProject(const std::shared_ptr<QVProject>& project) {
        selectedProject_ = project;
    }
    bool loaded() const { return loaded_; }
    bool syncTessel() const { return syncTessel_; }

    QVPanelImageView* libraryIconView() const { return libraryIconView_; }
    QVLumoLabel* libraryTitleField() const { return libraryTitleField_; }
    QVLumoColorView* contentBackView() const { return contentBackView_; }
    QVLumoRokButton* libraryListButton() const { return libraryListButton_; }
    QVLumoRokButton* libraryRevealButton() const { return libraryRevealButton_; }
    QVLumoOutlineView* projectOutlineView() const { return projectOutlineView_; }
    QVLumoButton* OKButton() const { return OKButton_; }
    QVLumoButton* cancelButton() const { return cancelButton_; }
    QVLumoPopover* popOverLibraryList() const;
    QWidget* librarySelectView() const;
    QVLumoTableView* libraryTableView() const;
    QVLibraryListPopover* libraryList() const { return libraryList_; }
    QVLibraryListCellView* libraryCellViewAtRow(int row) const;

    void reloadLibraryInfo();
    void selectLibraryAction();
    void updateLibrary(const std::shared_ptr<QVLibrary>& library);
    void updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                             QVLibraryListCellView* cellView);
    void loadLibraryWithID(const QString& libraryID);
    void libraryProjectsLoadedNotification(const Notification& notification);
    void okAction();
    void cancelAction();

  private:
    void loadWindow();
    void awakeFromNib();
    void refreshSyncTessel();
    void updateOKButton();
    void outlineSelectionChanged();
    void libraryRowSelected(const std::shared_ptr<QVLibrary>& library);

    std::shared_ptr<QVLibrary> selectedLibrary_;
    std::shared_ptr<QVProject> selectedProject_;
    bool loaded_ = false;
    bool syncTessel_ = false;
    // Set while the outline is rebuilt, when its selection changes by itself.
    bool reloadingOutline_ = false;

    QPointer<QVLumoWindow> window_;
    QVPanelImageView* libraryIconView_ = nullptr;
    QVLumoLabel* libraryTitleField_ = nullptr;
    QVLumoColorView* contentBackView_ = nullptr;
    QVLumoRokButton* libraryListButton_ = nullptr;
    QVLumoRokButton* libraryRevealButton_ = nullptr;
    QVLumoOutlineView* projectOutlineView_ = nullptr;
    QVLumoButton* OKButton_ = nullptr;
    QVLumoButton* cancelButton_ = nullptr;
    QVProjectOutlineModel* outlineModel_ = nullptr;
    QVLibraryListPopover* libraryList_ = nullptr;

    NotificationCenter::Token projectsLoadedToken_ = 0;
};
