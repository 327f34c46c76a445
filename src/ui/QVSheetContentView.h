#pragma once

#include <QWidget>

// The background of sheets and dialogs: the design's sheet colour.
class QVSheetContentView : public QWidget {
    Q_OBJECT
  public:
    explicit QVSheetContentView(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
