#include <gtest/gtest.h>

#include <atomic>

#include <QFile>
#include <QTemporaryDir>

#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "export/QVFileDetector.h"
#include "platform/Localization.h"
#include "support/Wait.h"
#include "ui/QVExportActivity.h"
#include "ui/QVExportCellView.h"
#include "ui/QVExportListModel.h"

namespace {

void grow(const QString& path, qint64 bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Append));
    file.write(QByteArray(bytes - file.size(), 'x'));
}

}  // namespace

TEST(ExportProgressTest, AnExportingRowShowsTheBytesTheDetectorSawAndRefreshesWhileItExports) {
    QTemporaryDir dir;
    const QString movie = dir.filePath("Clip.mov");
    grow(movie, 1500000);
    auto item = std::make_shared<QVExportItem>();
    item->setName("Clip");
    item->setOriginalPath(movie);
    item->setExportStatus(QVExportStatusExporting);

    QVExportItemManager manager(dir.filePath("list"));
    manager.setExportItems({item});
    QVExportListModel model(&manager);
    QVExportActivity activity(&model);
    int refreshes = 0;
    activity.setProgressRefresh([&](const auto& refreshed) { refreshes += refreshed == item; }, 20);

    const int interval = QVFileDetector::pollInterval();
    QVFileDetector::setPollInterval(20);
    std::atomic<bool> watchEnded{false};
    QVFileDetector::watchExportingWithExportItem(item, [&](bool) { watchEnded = true; });

    QVExportCellView cell;
    ASSERT_TRUE(waitUntil([&] { return item->exportedBytes() == 1500000; }));
    QVExportCellView::fillWithItem(cell, item);
    const QString exporting = Localization::localizedString("exportstatus.exporting.size");
    EXPECT_EQ(cell.statusField.stringValue, QString(exporting).replace("%@", "1.5 MB"));

    grow(movie, 2600000);
    ASSERT_TRUE(waitUntil([&] { return item->exportedBytes() == 2600000 && refreshes >= 2; }));
    QVExportCellView::updateCellViewWithItem(cell, item);
    EXPECT_TRUE(cell.statusField.stringValue.contains("2.6 MB"));

    // Handed over: the watch ends.
    item->setExportStatus(QVExportStatusCreating);
    model.rowChanged(0);
    EXPECT_TRUE(waitUntil([&] { return watchEnded.load(); }));
    QVFileDetector::setPollInterval(interval);
}
