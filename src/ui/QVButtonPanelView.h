#pragma once

#include <QWidget>

// The strip that holds a window's buttons, filled with grey 43/255.
class QVButtonPanelView : public QWidget {
    Q_OBJECT
  public:
    explicit QVButtonPanelView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
