// The About panel and a sheet of every image resource.
#include <cmath>

#include <QApplication>
#include <QPainter>
#include <QWidget>

#include "ScreenshotScene.h"
#include "ui/QVAboutPanel.h"
#include "ui/QVBorderLessWindow.h"
#include "ui/kit/QVImages.h"

namespace {

// Every image at its natural size (1x) and rendered at twice the pixels,
// shown at twice the size so the 2x detail is visible, on the dark
// background the images are drawn for.
class ImageSheet : public QWidget {
  public:
    ImageSheet() {
        names_ = QVImages::allNames();
        const int rows = int(std::ceil(names_.size() / double(kColumns)));
        resize(kColumns * kCellW, rows * kCellH + 10);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(51, 51, 51));
        QFont small = font();
        small.setPixelSize(10);
        p.setFont(small);
        for (int i = 0; i < names_.size(); ++i) {
            const QString& name = names_[i];
            const QPoint cell((i % kColumns) * kCellW, (i / kColumns) * kCellH + 5);
            QSizeF size = QVImages::naturalSize(name);
            // The application icon is shown at 64 and 128.
            if (size.width() > 64) size.scale(64, 64, Qt::KeepAspectRatio);
            const QPixmap one = QVImages::pixmap(name, size, 1.0);
            const QPixmap two = QVImages::pixmap(name, size, 2.0);
            QPixmap twoShown = two;
            twoShown.setDevicePixelRatio(1.0);
            p.fillRect(QRect(cell + QPoint(6, 6), QSize(kCellW - 12, kCellH - 26)),
                       QColor(40, 40, 40));
            p.drawPixmap(cell + QPoint(12, 12), one);
            p.drawPixmap(cell + QPoint(24 + int(size.width()), 12), twoShown);
            p.setPen(QColor(200, 200, 200));
            p.drawText(QRect(cell.x() + 4, cell.y() + kCellH - 20, kCellW - 8, 16), Qt::AlignCenter,
                       name + (size != QVImages::naturalSize(name) ? " (scaled)" : ""));
        }
    }

  private:
    static constexpr int kColumns = 6;
    static constexpr int kCellW = 230;
    static constexpr int kCellH = 176;
    QStringList names_;
};

const bool registered = [] {
    ScreenshotScene::add("about", "The About panel", [](const QString& folder) {
        QVAboutPanel panel;
        panel.showWindow();
        QApplication::processEvents();
        return ScreenshotScene::saveWidget(panel.window(), folder, "about");
    });
    ScreenshotScene::add("images", "Every image resource at 1x and 2x", [](const QString& folder) {
        ImageSheet sheet;
        return ScreenshotScene::saveWidget(&sheet, folder, "images");
    });
    return true;
}();

}  // namespace
