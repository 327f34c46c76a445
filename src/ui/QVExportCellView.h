#pragma once

#include <memory>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

class QVExportItem;

// What one row of the export list shows. It is a value, not a widget: the
// list paints rows from these, so a list of any length costs one value per
// row on screen. Its parts are named after the row's outlets (the name in
// textField, the status icon in imageView, ...). A cell is made when its row
// first comes on screen and kept while the row is shown, so a status that
// does not change the status part (4 and 5) keeps what the row showed.
class QVExportCellView {
  public:
    struct TextField {
        QString stringValue;
        QString toolTip;
        bool hidden = false;
        bool operator==(const TextField&) const = default;
    };
    // The status icon: a named image, none when the name is empty.
    struct ImageView {
        QString imageName;
        bool operator==(const ImageView&) const = default;
    };
    // The thumbnail: a picture (with or without border) or, when there is
    // none, the generic icon of the file type.
    struct ThumbnailView {
        QImage image;
        QIcon icon;
        bool drawBorder = false;
    };
    struct ActionButton {
        QString defaultImage;
        QString clickedImage;
        QString disabledImage;
        bool hidden = true;
    };

    // A fresh cell: action button hidden, exportAction 0 (close), status
    // field hidden and no status icon.
    QVExportCellView();

    qint64 exportAction() const { return exportAction_; }
    // 0 gives the button the close images, 1 the reveal images; other values
    // are only stored.
    void setExportAction(qint64 action);

    // The pointer entered or left the row.
    void mouseEntered() { actionButton.hidden = false; }
    void mouseExited() { actionButton.hidden = true; }

    // Fills a cell made for a row: name, subtitle, destination, separator,
    // then the status part and thumbnail (updateCellViewWithItem).
    static void fillWithItem(QVExportCellView& cell, const std::shared_ptr<QVExportItem>& item);
    // The part that follows the item's status: status text and icon (left
    // as they were for statuses -1, 4 and 5) and the thumbnail, whose first
    // load from disk is kept in the item.
    static void updateCellViewWithItem(QVExportCellView& cell,
                                       const std::shared_ptr<QVExportItem>& item);

    // "library (project)" with the unknown-project text as the fallback.
    static QString subTitleForItem(const QVExportItem& item);
    static QString storeToForItem(const QVExportItem& item);
    // "Exporting… 12.3 MB": the bytes written so far, while the movie is
    // being written and its size has been seen; else empty.
    static QString exportedSizeText(const QVExportItem& item);
    // The generic icon shown for an item without thumbnail.
    static QIcon fileTypeIcon();
    static QColor separatorColor();

    TextField textField;
    ImageView imageView;
    ThumbnailView thumbnailView;
    QColor lineColor;
    TextField subTitleField;
    TextField storeToField;
    TextField statusField;
    ActionButton actionButton;

  private:
    qint64 exportAction_ = 0;
};
