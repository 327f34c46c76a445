#pragma once

#include <QCache>
#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>

class QVExportCellView;
class QVExportListView;
class QVImageView;

// Paints the rows of the export list from their QVExportCellView values:
// the row background (alternating, highlighted when selected), thumbnail,
// name, subtitle, destination line, status icon and text, the action button
// and the separator line. Rows have no widgets of their own.
class QVExportListDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    static constexpr int kRowHeight = 65;

    // Where the parts of a row lie, for a row rectangle.
    enum class Part { None, Thumbnail, Name, SubTitle, StoreTo, StatusIcon, Status, ActionButton };
    static QRect partRect(Part part, const QRect& row);
    static Part partAt(const QPoint& point, const QRect& row);

    explicit QVExportListDelegate(QVExportListView* view);
    ~QVExportListDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Paints one row as the list does (also used by the screenshot tool).
    void paintCell(QPainter* painter, const QRect& row, const QVExportCellView& cell, int rowIndex,
                   bool selected, bool buttonPressed) const;

  private:
    QPixmap framedThumbnail(const QImage& image, bool border, const QSize& size, qreal ratio) const;

    QPointer<QVExportListView> view_;
    // Draws framed thumbnails exactly as the image view does on screen.
    QVImageView* thumbnailPainter_;
    // Framed thumbnails of rows recently painted (about a hundred).
    mutable QCache<QString, QPixmap> framed_{128};
};
