#include "ui/QVExportCellView.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QStyle>

#include "export/QVExportItem.h"
#include "library/QVLibrary.h"
#include "library/QVProject.h"
#include "platform/Localization.h"
#include "platform/Workspace.h"

namespace {

void showStatus(QVExportCellView& cell, const char* key, const char* icon) {
    const QString text = Localization::localized(key);
    cell.statusField.stringValue = text;
    cell.statusField.toolTip = text;
    cell.statusField.hidden = false;
    cell.imageView.imageName = icon ? QString::fromLatin1(icon) : QString();
}

}  // namespace

QVExportCellView::QVExportCellView() {
    statusField.hidden = true;
    setExportAction(0);
    actionButton.hidden = true;
}

void QVExportCellView::setExportAction(qint64 action) {
    exportAction_ = action;
    if (action == 0) {
        actionButton.defaultImage = QStringLiteral("icon.close.nor");
        actionButton.clickedImage = QStringLiteral("icon.close.pre");
        actionButton.disabledImage = QStringLiteral("icon.close.nor");
    } else if (action == 1) {
        actionButton.defaultImage = QStringLiteral("list.reveal.nor");
        actionButton.clickedImage = QStringLiteral("list.reveal.pre");
        actionButton.disabledImage = QStringLiteral("list.reveal.nor");
    }
}

QColor QVExportCellView::separatorColor() {
    QColor color;
    color.setRgbF(53.0f / 255.0f, 53.0f / 255.0f, 53.0f / 255.0f, 1.0f);
    return color;
}

QIcon QVExportCellView::fileTypeIcon() {
    // Looked up once: the icon theme does not change under a running list,
    // and every row without thumbnail shows it.
    static const QIcon icon = [] {
        QIcon found = Workspace::iconForFileType(QStringLiteral("fcpbundle"));
        if (found.isNull() && qApp)
            found = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        return found;
    }();
    return icon;
}

QString QVExportCellView::subTitleForItem(const QVExportItem& item) {
    QString project;
    if (const auto node = item.project()) project = node->pathString();
    if (project.isNull()) project = item.projectName();
    if (project.isNull()) project = Localization::localized("exportitem.unknown.project");
    const auto library = item.library();
    // An item whose library is no longer known still names its project.
    if (!library) return project;
    return Localization::format(QStringLiteral("%@ (%@)"), {library->name(), project});
}

QString QVExportCellView::exportedSizeText(const QVExportItem& item) {
    // Only the movie is polled while it is written; an FCPXML file is small.
    const qint64 bytes = item.fcpXMLOnly() ? -1 : item.exportedBytes();
    if (bytes < 0) return QString();
    const QString size = QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
    return Localization::localized("exportstatus.exporting.size", {size});
}

QString QVExportCellView::storeToForItem(const QVExportItem& item) {
    if (item.importType() == QVImportTypeStoreToPath)
        return Localization::localized("exportstatus.info.storeto", {item.storeToPath()});
    return Localization::localized("exportstatus.info.inside");
}

void QVExportCellView::fillWithItem(QVExportCellView& cell,
                                    const std::shared_ptr<QVExportItem>& item) {
    if (!item) return;
    const QString name = item->name();
    cell.textField.stringValue = name;
    cell.textField.toolTip = name;
    cell.lineColor = separatorColor();
    cell.subTitleField.stringValue = subTitleForItem(*item);
    cell.storeToField.stringValue = storeToForItem(*item);
    updateCellViewWithItem(cell, item);
}

void QVExportCellView::updateCellViewWithItem(QVExportCellView& cell,
                                              const std::shared_ptr<QVExportItem>& item) {
    if (!item) return;
    switch (item->status()) {
        case QVExportStatusWaiting:
            showStatus(cell, "exportstatus.waiting", "workflow.icon.ready");
            break;
        case QVExportStatusExporting:
            showStatus(cell, "exportstatus.exporting", "workflow.icon.work");
            if (const QString written = exportedSizeText(*item); !written.isEmpty()) {
                cell.statusField.stringValue = written;
                cell.statusField.toolTip = written;
            }
            break;
        case QVExportStatusCompleted:
            cell.statusField.hidden = true;
            cell.imageView.imageName = QStringLiteral("workflow.icon.success");
            break;
        case QVExportStatusCanceled:
            showStatus(cell, "exportstatus.canceled", nullptr);
            break;
        case QVExportStatusCreateFailed:
            showStatus(cell, "exportstatus.error.creating", "workflow.icon.fail");
            break;
        case QVExportStatusUpdateFailed:
            showStatus(cell, "exportstatus.error.updating", "workflow.icon.fail");
            break;
        default:
            // Creating and uploading pass quickly; the row keeps what it
            // showed rather than flicker.
            break;
    }

    QImage image = item->thumbnailImage();
    if (image.isNull()) {
        // A thumbnail made after the item was (the finish step sets only the
        // path) is read here once and kept in the item.
        const QString path = item->thumbnailPath();
        if (!path.isEmpty() && QFileInfo(path).isFile() && image.load(path))
            item->setThumbnailImage(image);
    }
    if (!image.isNull()) {
        cell.thumbnailView.image = image;
        cell.thumbnailView.icon = QIcon();
        cell.thumbnailView.drawBorder = true;
    } else {
        cell.thumbnailView.image = QImage();
        cell.thumbnailView.icon = fileTypeIcon();
        cell.thumbnailView.drawBorder = false;
    }
}
