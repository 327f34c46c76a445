#include "ui/QVExportListDelegate.h"

#include <QPainter>

#include "ui/QVExportCellView.h"
#include "ui/QVExportListView.h"
#include "ui/QVImageView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoTableRowView.h"

namespace {

constexpr int kTextLeft = 118;
constexpr int kButtonSize = 20;
constexpr int kIconSize = 16;
constexpr int kStatusWidth = 220;

void drawText(QPainter* painter, const QRect& rect, const QString& text, const QFont& font,
              const QColor& color, Qt::Alignment align) {
    if (rect.width() <= 0 || text.isEmpty()) return;
    painter->setFont(font);
    painter->setPen(color);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideMiddle, rect.width());
    painter->drawText(rect, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
}

}  // namespace

QRect QVExportListDelegate::partRect(Part part, const QRect& row) {
    const int x = row.x(), y = row.y(), w = row.width();
    const int buttonX = x + w - 12 - kButtonSize;
    const int iconX = buttonX - 10 - kIconSize;
    const int statusRight = iconX - 6;
    const int statusLeft = qMax(x + kTextLeft + 80, statusRight - kStatusWidth);
    const int textRight = qMax(x + kTextLeft, statusLeft - 12);
    switch (part) {
        case Part::Thumbnail:
            return QRect(x + 12, y + 6, 94, 53);
        case Part::Name:
            return QRect(x + kTextLeft, y + 7, textRight - x - kTextLeft, 18);
        case Part::SubTitle:
            return QRect(x + kTextLeft, y + 26, textRight - x - kTextLeft, 15);
        case Part::StoreTo:
            return QRect(x + kTextLeft, y + 42, textRight - x - kTextLeft, 15);
        case Part::StatusIcon:
            return QRect(iconX, y + (kRowHeight - kIconSize) / 2, kIconSize, kIconSize);
        case Part::Status:
            return QRect(statusLeft, y + (kRowHeight - 18) / 2, statusRight - statusLeft, 18);
        case Part::ActionButton:
            return QRect(buttonX, y + (kRowHeight - kButtonSize) / 2, kButtonSize, kButtonSize);
        case Part::None:
            break;
    }
    return {};
}

QVExportListDelegate::Part QVExportListDelegate::partAt(const QPoint& point, const QRect& row) {
    for (Part part : {Part::ActionButton, Part::StatusIcon, Part::Status, Part::Thumbnail,
                      Part::Name, Part::SubTitle, Part::StoreTo})
        if (partRect(part, row).contains(point)) return part;
    return Part::None;
}

QVExportListDelegate::QVExportListDelegate(QVExportListView* view)
    : QStyledItemDelegate(view), view_(view), thumbnailPainter_(new QVImageView()) {
    thumbnailPainter_->setAttribute(Qt::WA_DontShowOnScreen);
    thumbnailPainter_->setInterpolation(QVImageView::High);
}

QVExportListDelegate::~QVExportListDelegate() {
    delete thumbnailPainter_;
}

QPixmap QVExportListDelegate::framedThumbnail(const QImage& image, bool border, const QSize& size,
                                              qreal ratio) const {
    // Framing (shadow, border) is drawn once per picture and size, not on
    // every paint of its row.
    const QString key = QStringLiteral("%1/%2/%3x%4@%5")
                            .arg(image.cacheKey())
                            .arg(border)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(ratio);
    if (const QPixmap* cached = framed_.object(key)) return *cached;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    thumbnailPainter_->setImage(image);
    thumbnailPainter_->setDrawBorder(border);
    thumbnailPainter_->resize(size);
    thumbnailPainter_->render(&pixmap, QPoint(), QRegion(), QWidget::RenderFlags());
    thumbnailPainter_->setImage(QImage());
    framed_.insert(key, new QPixmap(pixmap));
    return pixmap;
}

QSize QVExportListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    (void)index;
    return QSize(option.rect.width(), kRowHeight);
}

void QVExportListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    if (!view_) return;
    const QVExportCellView* cell = view_->cellViewForRow(index.row());
    if (!cell) return;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    paintCell(painter, option.rect, *cell, index.row(), selected,
              view_->pressedButtonRow() == index.row());
}

void QVExportListDelegate::paintCell(QPainter* painter, const QRect& row,
                                     const QVExportCellView& cell, int rowIndex, bool selected,
                                     bool buttonPressed) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->fillRect(row, QVLumoTableRowView::backgroundColorForRow(rowIndex, true, selected));

    const QRect thumb = partRect(Part::Thumbnail, row);
    if (!cell.thumbnailView.image.isNull()) {
        painter->drawPixmap(thumb.topLeft(),
                            framedThumbnail(cell.thumbnailView.image, cell.thumbnailView.drawBorder,
                                            thumb.size(), painter->device()->devicePixelRatioF()));
    } else if (!cell.thumbnailView.icon.isNull()) {
        const int side = qMin(thumb.width(), thumb.height()) - 8;
        const QRect iconRect(thumb.center().x() - side / 2, thumb.center().y() - side / 2, side,
                             side);
        cell.thumbnailView.icon.paint(painter, iconRect);
    }

    const QColor white(Qt::white);
    const QColor light = QVTesselDesign::grey(170);
    const QColor dim = QVTesselDesign::grey(140);
    if (!cell.textField.hidden)
        drawText(painter, partRect(Part::Name, row), cell.textField.stringValue,
                 QVTesselDesign::tesselBoldFontWithSize(13), white, Qt::AlignLeft);
    if (!cell.subTitleField.hidden)
        drawText(painter, partRect(Part::SubTitle, row), cell.subTitleField.stringValue,
                 QVTesselDesign::tesselFontWithSize(11), light, Qt::AlignLeft);
    if (!cell.storeToField.hidden)
        drawText(painter, partRect(Part::StoreTo, row), cell.storeToField.stringValue,
                 QVTesselDesign::tesselFontWithSize(11), dim, Qt::AlignLeft);
    if (!cell.statusField.hidden)
        drawText(painter, partRect(Part::Status, row), cell.statusField.stringValue,
                 QVTesselDesign::tesselFontWithSize(11), QVTesselDesign::grey(200), Qt::AlignRight);
    if (!cell.imageView.imageName.isEmpty())
        QVImages::paint(painter, cell.imageView.imageName, partRect(Part::StatusIcon, row));
    if (!cell.actionButton.hidden) {
        const QString image =
            buttonPressed ? cell.actionButton.clickedImage : cell.actionButton.defaultImage;
        QVImages::paint(painter, image, partRect(Part::ActionButton, row));
    }
    if (cell.lineColor.isValid())
        painter->fillRect(QRect(row.x(), row.bottom(), row.width(), 1), cell.lineColor);
    painter->restore();
}
