#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>

#include "platform/Localization.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAboutPanel.h"
#include "ui/QVBorderLessWindow.h"
#include "ui/QVButtonPanelView.h"
#include "ui/QVMetaGroupView.h"
#include "ui/QVSheetContentView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoRokButton.h"

TEST(QVTesselDesign, MissingPrimaryFamilyFallsBackAtTheSameSize) {
    const QString saved = QVTesselDesign::primaryFontFamily();
    QVTesselDesign::setPrimaryFontFamily("Relaydock Missing Family");
    EXPECT_EQ(QVTesselDesign::tesselFontWithSize(13).family(), "LucidaGrande");
    EXPECT_EQ(QVTesselDesign::tesselFontWithSize(13).pixelSize(), 13);
    EXPECT_EQ(QVTesselDesign::tesselBoldFontWithSize(14).family(), "LucidaGrande");
    EXPECT_EQ(QVTesselDesign::alertBoxTitleAttributes().font.family(), "LucidaGrande");
    QVTesselDesign::setPrimaryFontFamily(saved);
    // The machine's own sans-serif family is found as it is.
    const QString sans = QFontInfo(QFont("Sans Serif")).family();
    QVTesselDesign::setPrimaryFontFamily(sans);
    EXPECT_EQ(QVTesselDesign::fontDescriptorWithSize(11).family(), sans);
    QVTesselDesign::setPrimaryFontFamily(saved);
}

TEST(QVTesselDesign, AttributesAndColours) {
    const QVTextAttributes title = QVTesselDesign::alertBoxTitleAttributes();
    EXPECT_EQ(title.font.pixelSize(), 14);
    EXPECT_TRUE(title.font.bold());
    EXPECT_EQ(title.foregroundColor, QColor(Qt::white));
    const QVTextAttributes message = QVTesselDesign::alertBoxMessageAttributes();
    EXPECT_EQ(message.font.pixelSize(), 12);
    EXPECT_FALSE(message.font.bold());
    const QVTextAttributes search = QVTesselDesign::searchPlaceHolderAttributes();
    EXPECT_EQ(search.font.pixelSize(), 12);
    EXPECT_NEAR(search.foregroundColor.redF(), 0.25, 1e-4);

    EXPECT_EQ(QVTesselDesign::sheetBackgroundColor(), QColor(51, 51, 51));
    EXPECT_EQ(QVTesselDesign::defaultTextColor(), QColor(192, 192, 192));
    EXPECT_EQ(QVTesselDesign::indicatorColor(), QColor(200, 200, 200));
    EXPECT_EQ(QVTesselDesign::popOverBackColor(), QColor(35, 35, 35));
    EXPECT_EQ(QVTesselDesign::inValidTextColor(), QColor(218, 50, 49));
    EXPECT_EQ(QVTesselDesign::diskUsageAudioColor(), QColor(137, 86, 139));
    EXPECT_EQ(QVTesselDesign::validTextColor(), QColor(0, 255, 0));
    EXPECT_NEAR(QVTesselDesign::popOverBorderColor().redF(), 0.5, 1e-4);
    EXPECT_NEAR(QVTesselDesign::cellSubDeselectTextColor().greenF(), 0.663, 1e-4);
    EXPECT_EQ(QVTesselDesign::basicMetaGroupBackColor().alphaF(), 1.0f);
}

TEST(SmallViews, FillsAndFrames) {
    QVBorderLessWindow window(QRect(10, 10, 200, 100), 0xF);
    EXPECT_EQ(window.styleMask(), 0xEu);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window.canBecomeKeyWindow());

    QVSheetContentView sheet;
    sheet.resize(20, 20);
    EXPECT_EQ(QColor(sheet.grab().toImage().pixel(10, 10)), QColor(51, 51, 51));
    QVButtonPanelView panel;
    panel.resize(20, 20);
    EXPECT_EQ(QColor(panel.grab().toImage().pixel(10, 10)), QColor(43, 43, 43));

    QVMetaGroupView group;
    group.resize(60, 40);
    QImage img(60, 40, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    group.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_GT(qAlpha(img.pixel(30, 20)), 200);  // the stretched centre
    EXPECT_GT(qAlpha(img.pixel(30, 0)), 200);   // the top edge
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0);      // outside the rounded corner
}

TEST(QVAboutPanel, ShowsVersionAndReleasesItselfOnClose) {
    // The short version first, then the build number.
    EXPECT_EQ(QVAboutPanel::versionText(),
              QString("Version %1 (%2)").arg(RELAYDOCK_VERSION, RELAYDOCK_BUILD_NUMBER));
    QPointer<QVAboutPanel> panel = QVAboutPanel::showAboutPanel();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->versionField()->text(), QVAboutPanel::versionText());
    EXPECT_EQ(panel->borderLineView()->color(), QColor(56, 56, 56));
    EXPECT_EQ(panel->closeButton()->defaultImage().name(), "btn.close.nor");
    EXPECT_EQ(panel->closeButton()->clickedImage().name(), "btn.close.pre");
    EXPECT_EQ(panel->closeButton()->disabledImage().name(), "btn.close.nor");
    EXPECT_TRUE(panel->window()->isVisible());
    panel->closeButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());
}

// The About panel's button opens the acknowledgements the build made, with
// the desktop's viewer.
TEST(QVAboutPanel, AcknowledgementsButtonOpensThePdfThroughTheWorkspace) {
    QStringList opened;
    QVAboutPanel panel([&](const QString& command, const QString& path) {
        opened << command + " " + path;
        return true;
    });
    panel.ackButton()->click();
    ASSERT_EQ(opened.size(), 1);
    const QString pdf = opened.first().mid(5);
    EXPECT_TRUE(opened.first().startsWith("open "));
    EXPECT_EQ(QFileInfo(pdf).fileName(), "Acknowledgements_Relaydock.pdf");
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(pdf);
    EXPECT_TRUE(file.read(5) == "%PDF-");
}

// Every key the windows look up has a text a person can read, and formats
// keep the placeholders their callers fill.
TEST(StringTable, EveryKeyHasATextWithItsPlaceholders) {
    const QMap<QString, int> keys = {{"about.version", 2},
                                     {"button.ok", 0},
                                     {"button.cancel", 0},
                                     {"button.delete", 0},
                                     {"button.clear", 0},
                                     {"defaultlibrary.no.library", 0},
                                     {"defaultlibrary.no.project", 0},
                                     {"defaultlibrary.not.exist.folder", 0},
                                     {"defaultlibrary.not.select.external.location", 0},
                                     {"defaultlibrary.not.select.external.location.not.exist", 0},
                                     {"defaultlibrary.not.selected", 0},
                                     {"defaultlibrary.storeto.external.location", 0},
                                     {"defaultlibrary.storeto.inside.library", 0},
                                     {"defaultlibrary.storeto.openpanel.select", 0},
                                     {"defaultlibrary.storeto.openpanel.title", 0},
                                     {"defaultlibrary.storeto.other", 0},
                                     {"exportitem.file.not.exist", 2},
                                     {"exportitem.unknown.project", 0},
                                     {"exportitems.cant.load", 0},
                                     {"exportitems.want.clear", 0},
                                     {"exportitems.want.delete", 0},
                                     {"exportstatus.canceled", 0},
                                     {"exportstatus.error.creating", 0},
                                     {"exportstatus.error.updating", 0},
                                     {"exportstatus.exporting", 0},
                                     {"exportstatus.info.inside", 0},
                                     {"exportstatus.info.storeto", 1},
                                     {"exportstatus.waiting", 0},
                                     {"import.openpanel.app.open", 0},
                                     {"import.openpanel.app.select.title", 0},
                                     {"import.remote.upload.server.need.permission", 0},
                                     {"import.remote.upload.server.not.access.storetopath", 1},
                                     {"library.enter.name", 0},
                                     {"library.message.not.exist", 0},
                                     {"library.no.library", 0},
                                     {"library.select.library", 0},
                                     {"library.select.project", 0},
                                     {"librarybar.offline", 0},
                                     {"menuitem.delete.multi", 0},
                                     {"menuitem.delete.one", 1},
                                     {"menuitem.reveal", 1},
                                     {"menuitem.reveal.normal", 0},
                                     {"request.error.param.nil", 0},
                                     {"uploadlocation.cant.get", 1},
                                     {"version.need.update", 0}};
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        const QString text = Localization::localizedString(it.key());
        EXPECT_NE(text, it.key()) << "no text for " << it.key().toStdString();
        EXPECT_EQ(text.count("%@"), it.value()) << it.key().toStdString();
    }
}

TEST(ImageResources, EveryNamedImageIsThere) {
    const QStringList names = {"btn.close.nor",
                               "btn.close.pre",
                               "btn.left.nor",
                               "btn.center.nor",
                               "btn.right.nor",
                               "btn.left.pre",
                               "btn.center.pre",
                               "btn.right.pre",
                               "btn.server.select.nor",
                               "btn.server.select.pre",
                               "btn.server.select.dim",
                               "layout.refresh.nor",
                               "layout.refresh.pre",
                               "layout.refresh.dim",
                               "librarybar.local",
                               "librarybar.network",
                               "menu.icon.library",
                               "menu.icon.group",
                               "menu.icon.project",
                               "workflow.icon.ready",
                               "workflow.icon.work",
                               "workflow.icon.success",
                               "workflow.icon.fail",
                               "icon.close.nor",
                               "icon.close.pre",
                               "list.reveal.nor",
                               "list.reveal.pre",
                               "librarybar.select",
                               "librarybar.select.clicked",
                               "librarybar.select.disabled",
                               "icon.reveal.nor",
                               "icon.reveal.pre",
                               "icon.reveal.dim",
                               "icon.confirm.check",
                               "librarybar.connected",
                               "librarybar.disconnected",
                               "divide.line",
                               "relaydock"};
    QStringList all = names + QVMetaGroupView::partNames();
    for (const QString& name : all) {
        EXPECT_TRUE(QVImages::exists(name)) << name.toStdString();
        EXPECT_FALSE(QVImages::naturalSize(name).isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(QVImages::allNames().size(), all.size());
}
