#pragma once

#include <QWidget>

class QVLumoLabel;
class QVPanelImageView;

// One row of the panels' library list: a check mark for the chosen library,
// the library's icon, its name, a line of information (its description, or
// that it is offline) and an icon telling whether it can be written to. The
// panels fill the outlets; the cell has no behaviour of its own.
class QVLibraryListCellView : public QWidget {
    Q_OBJECT
  public:
    explicit QVLibraryListCellView(QWidget* parent = nullptr);

    QVPanelImageView* checkIcon() const { return checkIcon_; }
    QVPanelImageView* libraryIcon() const { return libraryIcon_; }
    QVLumoLabel* libraryNameField() const { return libraryNameField_; }
    QVLumoLabel* libraryInfoField() const { return libraryInfoField_; }
    QVPanelImageView* writableIcon() const { return writableIcon_; }

    // The platform's background styles: 0 light, 1 dark.
    int backgroundStyle() const { return backgroundStyle_; }
    void setBackgroundStyle(int style);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QVPanelImageView* checkIcon_;
    QVPanelImageView* libraryIcon_;
    QVLumoLabel* libraryNameField_;
    QVLumoLabel* libraryInfoField_;
    QVPanelImageView* writableIcon_;
    int backgroundStyle_ = 0;
};
