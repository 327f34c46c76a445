#include "ui/QVMainWindowLayout.h"

#include <QAbstractAnimation>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>

#include "platform/Localization.h"
#include "ui/QVExportListModel.h"
#include "ui/QVExportListView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoLabel.h"
#include "ui/kit/QVLumoPopUpButton.h"
#include "ui/kit/QVLumoRokButton.h"
#include "ui/kit/QVLumoRokImageButton.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

constexpr int kBottomBarHeight = 44;
constexpr int kAnimationMs = 250;

QCheckBox* makeCheckBox(const QString& title, QWidget* parent) {
    auto* box = new QCheckBox(title, parent);
    QPalette pal = box->palette();
    pal.setColor(QPalette::WindowText, QVTesselDesign::defaultTextColor());
    box->setPalette(pal);
    box->setFont(QVTesselDesign::tesselFontWithSize(12));
    return box;
}

void fillBar(QWidget* bar) {
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QVTesselDesign::grey(38));
    bar->setPalette(palette);
}

}  // namespace

QString QVMainWindowLayout::windowTitle() {
    return QStringLiteral("Relaydock for Corvane Pro");
}

QVMainWindowLayout::QVMainWindowLayout(QObject* parent) : QObject(parent) {
    auto* window = new QMainWindow();
    window_ = window;
    // Alert boxes bring this window back to the front when they close.
    QVLumoWindow::setMainWindow(window);
    window->resize(720, 560);
    window->setMinimumSize(520, 320);
    window->installEventFilter(this);

    auto* central = new QWidget(window);
    central->installEventFilter(this);
    centralView_ = central;
    window->setCentralWidget(central);
    buildTopBar(central);
    exportListModel_ = new QVExportListModel(this);
    contentView_ = new QWidget(central);
    contentView_->installEventFilter(this);
    exportListView_ = new QVExportListView(contentView_);
    exportListView_->setExportModel(exportListModel_);
    buildBottomBar(central);

    window->setAutoFillBackground(true);
    QPalette windowPalette = window->palette();
    windowPalette.setColor(QPalette::Window, QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f));
    window->setPalette(windowPalette);
    window->setWindowTitle(windowTitle());
    if (auto* screen = QApplication::primaryScreen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    selectLibraryButton_->setImageWithDefault(QStringLiteral("btn.server.select.nor"),
                                              QStringLiteral("btn.server.select.pre"),
                                              QStringLiteral("btn.server.select.dim"));
    reloadButton_->setImageWithDefault(QStringLiteral("layout.refresh.nor"),
                                       QStringLiteral("layout.refresh.pre"),
                                       QStringLiteral("layout.refresh.dim"));
}

QVMainWindowLayout::~QVMainWindowLayout() {
    if (window_) delete window_.data();
}

void QVMainWindowLayout::buildTopBar(QWidget* central) {
    topBarView_ = new QWidget(central);
    fillBar(topBarView_);
    auto* heading = new QVLumoLabel(windowTitle(), topBarView_);
    heading->setFont(QVTesselDesign::tesselBoldFontWithSize(13));
    heading->setTextColor(QVTesselDesign::grey(210));
    heading->setGeometry(16, 10, 400, 20);

    defaultLibraryBackView_ = new QVLumoColorView(topBarView_);
    defaultLibraryBackView_->setColor(QVTesselDesign::grey(46));
    defaultLibraryBackView_->setDrawBroder(true);
    defaultLibraryBackView_->setBorderColor(QVTesselDesign::grey(60));
    defaultLibraryOpacity_ = new QGraphicsOpacityEffect(defaultLibraryBackView_);
    defaultLibraryBackView_->setGraphicsEffect(defaultLibraryOpacity_);
    libraryIconView_ = new QLabel(defaultLibraryBackView_);
    libraryIconView_->setGeometry(20, 22, 32, 32);
    libraryTitleField_ = new QVLumoLabel(defaultLibraryBackView_);
    libraryTitleField_->setFont(QVTesselDesign::tesselBoldFontWithSize(15));
    libraryTitleField_->setTextColor(Qt::white);
    projectTitleField_ = new QVLumoLabel(defaultLibraryBackView_);
    projectTitleField_->setFont(QVTesselDesign::tesselFontWithSize(12));
    projectTitleField_->setTextColor(QVTesselDesign::grey(170));
    selectLibraryButton_ = new QVLumoRokImageButton(defaultLibraryBackView_);
    selectLibraryButton_->setToolTip(Localization::localized("library.select.library"));
}

void QVMainWindowLayout::buildBottomBar(QWidget* central) {
    bottomBarView_ = new QWidget(central);
    fillBar(bottomBarView_);
    checkUseDefaultLibraryButton_ =
        makeCheckBox(Localization::localizedOr("defaultlibrary.use.default", "Use default library"),
                     bottomBarView_);
    // Unattended runs find the controls of the window by these names.
    checkUseDefaultLibraryButton_->setObjectName(QStringLiteral("checkUseDefaultLibraryButton"));
    fcpXMLOnlyCheckButton_ = makeCheckBox(
        Localization::localizedOr("export.fcpxml.only", "FCPXML only"), bottomBarView_);
    fcpXMLOnlyCheckButton_->setObjectName(QStringLiteral("fcpXMLOnlyCheckButton"));
    storeToPopupButton_ = new QVLumoPopUpButton(bottomBarView_);
    reloadButton_ = new QVLumoRokButton(bottomBarView_);
}

QMainWindow* QVMainWindowLayout::window() const {
    return window_.data();
}

void QVMainWindowLayout::showWindow() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

bool QVMainWindowLayout::windowShouldClose() {
    // Closing the window only hides the program; the list stays.
    if (window_) window_->hide();
    return false;
}

bool QVMainWindowLayout::eventFilter(QObject* watched, QEvent* event) {
    // The event type first: while the window is being destroyed it still
    // sends events here (children removed), and reading the window pointer
    // then would treat a half-destroyed object as a main window.
    if (event->type() == QEvent::Close && watched == window_.data()) {
        if (!windowShouldClose()) {
            event->ignore();
            return true;
        }
    }
    if (event->type() == QEvent::Resize) {
        if (watched == centralView_) layoutBars(topBarHeight_);
        // The list follows its holder, also while the holder is animated.
        if (watched == contentView_) exportListView_->setGeometry(contentView_->rect());
    }
    return QObject::eventFilter(watched, event);
}

void QVMainWindowLayout::layoutBars(int topBarHeight) {
    if (!centralView_) return;
    const int w = centralView_->width();
    const int h = centralView_->height();
    const int b = kBottomBarHeight;
    topBarView_->setGeometry(0, 0, w, topBarHeight);
    contentView_->setGeometry(0, topBarHeight, w, qMax(0, h - b - topBarHeight));
    bottomBarView_->setGeometry(0, h - b, w, b);
    layoutBarContents();
}

void QVMainWindowLayout::layoutBarContents() {
    const int w = centralView_->width();
    defaultLibraryBackView_->setGeometry(12, 40, qMax(0, w - 24), kTopBarHeight - 52);
    const int detailsWidth = defaultLibraryBackView_->width();
    libraryTitleField_->setGeometry(64, 20, qMax(0, detailsWidth - 130), 22);
    projectTitleField_->setGeometry(64, 46, qMax(0, detailsWidth - 130), 18);
    selectLibraryButton_->setGeometry(detailsWidth - 52, 29, 32, 22);
    exportListView_->setGeometry(contentView_->rect());

    const int y = (kBottomBarHeight - 24) / 2;
    checkUseDefaultLibraryButton_->adjustSize();
    fcpXMLOnlyCheckButton_->adjustSize();
    checkUseDefaultLibraryButton_->move(
        14, (kBottomBarHeight - checkUseDefaultLibraryButton_->height()) / 2);
    fcpXMLOnlyCheckButton_->move(checkUseDefaultLibraryButton_->geometry().right() + 18,
                                 (kBottomBarHeight - fcpXMLOnlyCheckButton_->height()) / 2);
    reloadButton_->setGeometry(w - 36, y, 24, 24);
    const int popupWidth = 200;
    storeToPopupButton_->setGeometry(w - 44 - popupWidth, y, popupWidth, 24);
}

void QVMainWindowLayout::showUseDefaultLibraryView(bool show, bool animate) {
    const int t = show ? kTopBarHeight : kTopBarHiddenHeight;
    topBarHeight_ = t;
    if (layoutAnimation_) {
        layoutAnimation_->stop();
        delete layoutAnimation_.data();
    }
    const int w = centralView_->width();
    const int h = centralView_->height();
    const QRect content(0, t, w, qMax(0, h - kBottomBarHeight - t));
    const QRect top(0, 0, w, t);
    const qreal alpha = show ? 1.0 : 0.0;
    if (!animate) {
        layoutBars(t);
        defaultLibraryOpacity_->setOpacity(alpha);
        return;
    }
    layoutBarContents();
    auto* group = new QParallelAnimationGroup(this);
    auto add = [group](QObject* target, const QByteArray& property, const QVariant& end) {
        auto* animation = new QPropertyAnimation(target, property, group);
        animation->setDuration(kAnimationMs);
        animation->setEndValue(end);
        group->addAnimation(animation);
    };
    add(contentView_, "geometry", content);
    add(topBarView_, "geometry", top);
    add(defaultLibraryOpacity_, "opacity", alpha);
    layoutAnimation_ = group;
    connect(group, &QAbstractAnimation::finished, this, [this] { layoutBarContents(); });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

qreal QVMainWindowLayout::defaultLibraryBackAlpha() const {
    return defaultLibraryOpacity_ ? defaultLibraryOpacity_->opacity() : 1.0;
}

bool QVMainWindowLayout::isLayoutAnimating() const {
    return layoutAnimation_ && layoutAnimation_->state() == QAbstractAnimation::Running;
}

void QVMainWindowLayout::setLibraryIcon(const QString& name, qreal alpha) {
    libraryIconName_ = name;
    libraryIconAlpha_ = alpha;
    const QPixmap image =
        QVImages::pixmap(name, QSizeF(32, 32), libraryIconView_->devicePixelRatioF());
    QPixmap shown(image.size());
    shown.setDevicePixelRatio(image.devicePixelRatio());
    shown.fill(Qt::transparent);
    {
        QPainter painter(&shown);
        painter.setOpacity(alpha);
        painter.drawPixmap(0, 0, image);
    }
    libraryIconView_->setPixmap(shown);
}
