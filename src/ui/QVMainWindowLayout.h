#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractAnimation;
class QCheckBox;
class QGraphicsOpacityEffect;
class QLabel;
class QMainWindow;
class QVExportListModel;
class QVExportListView;
class QVLumoColorView;
class QVLumoLabel;
class QVLumoPopUpButton;
class QVLumoRokButton;
class QVLumoRokImageButton;
class QWidget;

// The main window's widgets and where they go: the top bar with the default
// destination (shown or folded away, animated), the export list between the
// bars, and the bottom bar with the switches, the store-to pop-up and the
// reload button. Holds the window and deletes it when it goes; what the
// controls do is the window controller's.
class QVMainWindowLayout : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTopBarHeight = 160;
    static constexpr int kTopBarHiddenHeight = 40;
    static QString windowTitle();

    // Builds the window (hidden), titled and centred on the screen.
    explicit QVMainWindowLayout(QObject* parent = nullptr);
    ~QVMainWindowLayout() override;

    QMainWindow* window() const;
    void showWindow();
    // Closing the window hides it; answers NO (the window stays).
    bool windowShouldClose();

    // The top bar at full height with the destination, or folded.
    void showUseDefaultLibraryView(bool show, bool animate);
    bool isLayoutAnimating() const;
    qreal defaultLibraryBackAlpha() const;
    void setLibraryIcon(const QString& name, qreal alpha);
    QString libraryIconName() const { return libraryIconName_; }
    qreal libraryIconAlpha() const { return libraryIconAlpha_; }

    QWidget* topBarView() const { return topBarView_; }
    QVLumoColorView* defaultLibraryBackView() const { return defaultLibraryBackView_; }
    QLabel* libraryIconView() const { return libraryIconView_; }
    QVLumoLabel* libraryTitleField() const { return libraryTitleField_; }
    QVLumoLabel* projectTitleField() const { return projectTitleField_; }
    QVLumoRokImageButton* selectLibraryButton() const { return selectLibraryButton_; }
    QWidget* contentView() const { return contentView_; }
    QVExportListView* exportListView() const { return exportListView_; }
    QVExportListModel* exportListModel() const { return exportListModel_; }
    QWidget* bottomBarView() const { return bottomBarView_; }
    QCheckBox* checkUseDefaultLibraryButton() const { return checkUseDefaultLibraryButton_; }
    QCheckBox* fcpXMLOnlyCheckButton() const { return fcpXMLOnlyCheckButton_; }
    QVLumoPopUpButton* storeToPopupButton() const { return storeToPopupButton_; }
    QVLumoRokButton* reloadButton() const { return reloadButton_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildTopBar(QWidget* central);
    void buildBottomBar(QWidget* central);
    void layoutBars(int topBarHeight);
    void layoutBarContents();

    QPointer<QMainWindow> window_;
    QWidget* centralView_ = nullptr;
    QGraphicsOpacityEffect* defaultLibraryOpacity_ = nullptr;
    QPointer<QAbstractAnimation> layoutAnimation_;
    int topBarHeight_ = kTopBarHeight;
    QString libraryIconName_;
    qreal libraryIconAlpha_ = 1.0;

    QWidget* topBarView_ = nullptr;
    QVLumoColorView* defaultLibraryBackView_ = nullptr;
    QLabel* libraryIconView_ = nullptr;
    QVLumoLabel* libraryTitleField_ = nullptr;
    QVLumoLabel* projectTitleField_ = nullptr;
    QVLumoRokImageButton* selectLibraryButton_ = nullptr;
    QWidget* contentView_ = nullptr;
    QVExportListView* exportListView_ = nullptr;
    QVExportListModel* exportListModel_ = nullptr;
    QWidget* bottomBarView_ = nullptr;
    QCheckBox* checkUseDefaultLibraryButton_ = nullptr;
    QCheckBox* fcpXMLOnlyCheckButton_ = nullptr;
    QVLumoPopUpButton* storeToPopupButton_ = nullptr;
    QVLumoRokButton* reloadButton_ = nullptr;
};
