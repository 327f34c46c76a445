#pragma once

#include <QColor>
#include <QWidget>

// The background of one table row: with alternate drawing on, odd rows are
// a shade lighter than even ones; a selected row is highlighted. It can hold
// the row's cell view, which then fills it.
class QVLumoTableRowView : public QWidget {
    Q_OBJECT
  public:
    explicit QVLumoTableRowView(QWidget* parent = nullptr);

    int row() const { return row_; }
    void setRow(int row);
    bool drawAlternate() const { return drawAlternate_; }
    void setDrawAlternate(bool on);
    bool isSelected() const { return selected_; }
    void setSelected(bool on);

    QWidget* cellView() const { return cell_; }
    void setCellView(QWidget* cell);

    // The colour a row is filled with; invalid when it is left clear.
    static QColor backgroundColorForRow(int row, bool drawAlternate, bool selected);
    static QColor selectionColor() { return QColor(45, 79, 124); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int row_ = 0;
    bool drawAlternate_ = false;
    bool selected_ = false;
    QWidget* cell_ = nullptr;
};
