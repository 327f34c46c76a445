#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/NotificationCenter.h"
#include "ui/kit/QVLumoMenuDelegate.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QVLibraryListCellView;
class QVLibraryListPopover;
class QVLumoButton;
class QVLumoColorView;
class QVLumoITIndicator;
class QVLumoLabel;
class QVLumoOutlineView;
class QVLumoPopUpButton;
class QVLumoPopover;
class QVLumoRokButton;
class QVLumoTableView;
class QVLumoWindow;
class QVPanelImageView;
class QVProjectOutlineModel;
class QVUploadLocation;
class QWidget;

// The sheet in which the user decides, for one share, the clip's name, the
// library and project or group it goes into, where its media is stored and
// whether only an FCPXML file is exported. It checks the choices and fetches
// the library's upload location before it ends with return code 1; Cancel
// ends it with 0. Library, project and storage choices persist through the
// preferences, so the next panel opens with them.
class QVTesselImportPanel : public QObject, public QVLumoMenuDelegate {
    Q_OBJECT
  public:
    using SheetCompletion = std::function<void(qint64 returnCode)>;

    explicit QVTesselImportPanel(QObject* parent = nullptr);
    ~QVTesselImportPanel() override;

    // The panel's window; the first call builds it and runs the one-time
    // set-up, so set the name before.
    QVLumoWindow* window();
    // Shows the window as a sheet on parent's window; the completion gets
    // 1 (confirmed) or 0 (cancelled) after the sheet has closed.
    bool beginSheet(QWidget* parent, SheetCompletion completion);
    void endSheet(qint64 returnCode);

    QString name() const { return name_; }
    void setName(const QString& name);
    std::shared_ptr<QVUploadLocation> folderLocation() const { return folderLocation_; }
    void setFolderLocation(const std::shared_ptr<QVUploadLocation>& location) {
        folderLocation_ = location;
    }
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
    bool shouldSelectProject() const { return shouldSelectProject_; }
    QAction* selectedStoreToMenuItem() const { return selectedStoreToMenuItem_; }
    // Whether the FCPXML-only box is on.
    bool exportFCPXMLOnly() const;

    // Outlets (null until the window is built).
    QLineEdit* titleField() const { return titleField_; }
    QVPanelImageView* libraryIconView() const { return libraryIconView_; }
    QVLumoLabel* libraryTitleField() const { return libraryTitleField_; }
    QVLumoColorView* contentBackView() const { return contentBackView_; }
    QVLumoRokButton* libraryListButton() const { return libraryListButton_; }
    QVLumoRokButton* libraryRevealButton() const { return libraryRevealButton_; }
    QCheckBox* fcpXMLOnlyCheckButton() const { return fcpXMLOnlyCheckButton_; }
    QVLumoITIndicator* indicator() const { return indicator_; }
    QVLumoPopUpButton* storeToPopupButton() const { return storeToPopupButton_; }
    QVLumoOutlineView* projectOutlineView() const { return projectOutlineView_; }
    QVLumoButton* OKButton() const { return OKButton_; }
    QVLumoButton* cancelButton() const { return cancelButton_; }
    QVLumoPopover* popOverLibraryList() const;
    QWidget* librarySelectView() const;
    QVLumoTableView* libraryTableView() const;
    QVLibraryListPopover* libraryList() const { return libraryList_; }
    // The cell the library table shows for a row, or nullptr.
    QVLibraryListCellView* libraryCellViewAtRow(int row) const;

    // Actions.
    void selectLibraryAction();
    void okAction();
    void cancelAction();
    void popupInsideLibraryAction(QAction* sender);
    void popupStoreToPathAction(QAction* sender);
    void popupStoreToOtherAction(QAction* sender);
    void externalLocationAction(QAction* sender) { (void)sender; }

    void loadLibraryWithID(const QString& libraryID);
    void reloadLibraryInfo();
    void updateLibrary(const std::shared_ptr<QVLibrary>& library);
    void updateLibraryStatus(const std::shared_ptr<QVLibrary>& library,
                             QVLibraryListCellView* cellView);
    void setupStoreToPopupButton();
    void checkUploadLocationWithProject(const std::shared_ptr<QVProject>& project);
    // The storage menu's inside-the-library item and folder item, or nullptr.
    QAction* selectedLibraryMenuItem() const;
    QAction* storeToPathMenuItem() const;

    void reloadLibraryCompletedNotification(const Notification& notification);
    void libraryProjectsLoadedNotification(const Notification& notification);

    bool validateMenuItem(QAction* item) override;

    // Whether the application has finished loading its libraries (the
    // indicator spins until then). The application wires it at start;
    // without a provider the libraries count as loaded.
    static void setLibraryLoadedProvider(std::function<bool()> provider);

  private:
    void loadWindow();
    void awakeFromNib();
    void refreshSyncTessel();
    // Rebuilds the outline from the selected library's tree, keeping the
    // selected node (by id) selected when it is still there.
    void reloadProjectOutline();
    void outlineSelectionChanged();
    void titleTextChanged(const QString& text);
    void libraryRowSelected(const std::shared_ptr<QVLibrary>& library);
    void showMessage(const char* key);
    void checkNetworkAccess(const std::shared_ptr<QVProject>& node, const QString& folder);

    QString name_;
    std::shared_ptr<QVUploadLocation> folderLocation_;
    std::shared_ptr<QVLibrary> selectedLibrary_;
    std::shared_ptr<QVProject> selectedProject_;
    bool loaded_ = false;
    bool syncTessel_ = false;
    bool shouldSelectProject_ = true;
    bool checkingUploadLocation_ = false;
    QPointer<QAction> selectedStoreToMenuItem_;

    QPointer<QVLumoWindow> window_;
    QLineEdit* titleField_ = nullptr;
    QVPanelImageView* libraryIconView_ = nullptr;
    QVLumoLabel* libraryTitleField_ = nullptr;
    QVLumoColorView* contentBackView_ = nullptr;
    QVLumoRokButton* libraryListButton_ = nullptr;
    QVLumoRokButton* libraryRevealButton_ = nullptr;
    QCheckBox* fcpXMLOnlyCheckButton_ = nullptr;
    QVLumoITIndicator* indicator_ = nullptr;
    QVLumoPopUpButton* storeToPopupButton_ = nullptr;
    QVLumoOutlineView* projectOutlineView_ = nullptr;
    QVLumoButton* OKButton_ = nullptr;
    QVLumoButton* cancelButton_ = nullptr;
    QVProjectOutlineModel* outlineModel_ = nullptr;
    QVLibraryListPopover* libraryList_ = nullptr;

    NotificationCenter::Token reloadCompletedToken_ = 0;
    NotificationCenter::Token projectsLoadedToken_ = 0;
};
