#include "ui/QVTesselDesign.h"

#include <mutex>

#include <QFontDatabase>
#include <QFontInfo>

namespace {

std::mutex& familyMutex() {
    static std::mutex m;
    return m;
}

QString& primaryFamilySlot() {
    static QString family = QStringLiteral("Helvetica");
    return family;
}

// The family the primary one resolved to, looked up once per primary
// family: every cell of the export list asks for its fonts at every paint,
// and each look-up is a fontconfig substitution that costs more than the
// painting itself. Under familyMutex.
struct Chosen {
    QString primary;
    QString family;
};

Chosen& chosenSlot() {
    static Chosen chosen;
    return chosen;
}

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b), 1.0f);
}

// "LucidaGrande" names no family on Linux; give fontconfig the families that
// stand in for it, before its general sans-serif.
void registerFallbackSubstitutes() {
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitutions(
            QStringLiteral("LucidaGrande"),
            {QStringLiteral("Lucida Grande"), QStringLiteral("Lucida Sans"),
             QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans")});
    });
}

}  // namespace

QString QVTesselDesign::primaryFontFamily() {
    std::lock_guard<std::mutex> lock(familyMutex());
    return primaryFamilySlot();
}

void QVTesselDesign::setPrimaryFontFamily(const QString& family) {
    std::lock_guard<std::mutex> lock(familyMutex());
    primaryFamilySlot() = family;
}

bool QVTesselDesign::fontFamilyAvailable(const QString& family) {
    if (family.isEmpty()) return false;
    if (QFontDatabase::hasFamily(family)) return true;
    // An alias that fontconfig resolves (Helvetica to Nimbus Sans, Liberation
    // Sans, ...) resolves differently from a name nothing stands in for.
    const QString resolved = QFontInfo(QFont(family)).family();
    const QString nothing = QFontInfo(QFont(QStringLiteral("Relaydock No Such Family"))).family();
    return resolved.compare(nothing, Qt::CaseInsensitive) != 0;
}

QFont QVTesselDesign::fontDescriptorWithSize(double size) {
    registerFallbackSubstitutes();
    const QString primary = primaryFontFamily();
    QString family;
    {
        std::lock_guard<std::mutex> lock(familyMutex());
        if (chosenSlot().primary == primary && !chosenSlot().family.isEmpty())
            family = chosenSlot().family;
    }
    if (family.isEmpty()) {
        family = fontFamilyAvailable(primary) ? primary : fallbackFontFamily();
        std::lock_guard<std::mutex> lock(familyMutex());
        chosenSlot() = {primary, family};
    }
    QFont font(family);
    // Layout points are logical pixels here, as on the platform the sizes come from.
    if (size > 0) font.setPixelSize(qMax(1, qRound(size)));
    return font;
}

QFont QVTesselDesign::tesselFontWithSize(float size) {
    return fontDescriptorWithSize(size);
}

QFont QVTesselDesign::tesselBoldFontWithSize(float size) {
    QFont font = fontDescriptorWithSize(size);
    // The expanded-width trait is requested as the design asks; the families
    // have no such cut, so the bold weight the name promises does the work.
    font.setStretch(QFont::Expanded);
    font.setWeight(QFont::Bold);
    return font;
}

QVTextAttributes QVTesselDesign::alertBoxTitleAttributes() {
    return {tesselBoldFontWithSize(14), QColor(Qt::white)};
}

QVTextAttributes QVTesselDesign::alertBoxMessageAttributes() {
    return {tesselFontWithSize(12), QColor(Qt::white)};
}

QVTextAttributes QVTesselDesign::searchPlaceHolderAttributes() {
    return {tesselBoldFontWithSize(12), rgb(0.25, 0.25, 0.25)};
}

QColor QVTesselDesign::grey(double level255) {
    const double v = level255 / 255.0;
    return rgb(v, v, v);
}

QColor QVTesselDesign::sheetBackgroundColor() {
    return grey(51);
}
QColor QVTesselDesign::defaultTextColor() {
    return grey(192);
}
QColor QVTesselDesign::indicatorColor() {
    return grey(200);
}

QColor QVTesselDesign::contentsViewBackgroundColor() {
    return grey(31);
}
QColor QVTesselDesign::contentsDeviceViewBackgroundColor() {
    return grey(31);
}
QColor QVTesselDesign::contentsPlayViewBackgroundColor() {
    return grey(31);
}
QColor QVTesselDesign::contentsMapViewBackgroundColor() {
    return grey(31);
}
QColor QVTesselDesign::basicViewBackColor() {
    return grey(46);
}
QColor QVTesselDesign::inspectorViewBackgroundColor() {
    return grey(57);
}
QColor QVTesselDesign::iosImageBrowserTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::iosImageBrowserSubTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::thumbnailImageBrowserTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::thumbnailImageBrowserSubTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::confirmImageBrowserTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::confirmImageBrowserSubTitleColor() {
    return grey(210);
}
QColor QVTesselDesign::iosImageBrowserTitleHighlightColor() {
    return grey(255);
}
QColor QVTesselDesign::thumbnailImageBrowserTitleHighlightColor() {
    return grey(255);
}
QColor QVTesselDesign::confirmImageBrowserTitleHighlightColor() {
    return grey(255);
}
QColor QVTesselDesign::sidebarSelectTextColor() {
    return grey(255);
}
QColor QVTesselDesign::cellSubSelectTextColor() {
    return grey(255);
}
QColor QVTesselDesign::iosImageBrowserSelectColor() {
    return rgb(0.859, 0.869, 0.869);
}
QColor QVTesselDesign::thumbnailImageBrowserSelectColor() {
    return rgb(0.859, 0.869, 0.869);
}
QColor QVTesselDesign::confirmImageBrowserSelectColor() {
    return rgb(0.859, 0.869, 0.869);
}
QColor QVTesselDesign::sidebarDeselectTextColor() {
    return grey(192);
}
QColor QVTesselDesign::cellSubDeselectTextColor() {
    return rgb(0.612, 0.663, 0.702);
}
QColor QVTesselDesign::popOverBorderColor() {
    return rgb(0.5, 0.5, 0.5);
}
QColor QVTesselDesign::popOverBackColor() {
    return grey(35);
}
QColor QVTesselDesign::diskUsageVideoColor() {
    return rgb(98 / 255.0, 135 / 255.0, 176 / 255.0);
}
QColor QVTesselDesign::diskUsageAudioColor() {
    return rgb(137 / 255.0, 86 / 255.0, 139 / 255.0);
}
QColor QVTesselDesign::diskUsageImageColor() {
    return rgb(203 / 255.0, 123 / 255.0, 91 / 255.0);
}
QColor QVTesselDesign::diskUsageDocumentColor() {
    return rgb(119 / 255.0, 174 / 255.0, 92 / 255.0);
}
QColor QVTesselDesign::diskUsageExtraColor() {
    return rgb(192 / 255.0, 179 / 255.0, 71 / 255.0);
}
QColor QVTesselDesign::infoViewBackColor() {
    return grey(43);
}
QColor QVTesselDesign::buttonPanelBackColor() {
    return grey(43);
}
QColor QVTesselDesign::infoViewBorderColor() {
    return rgb(0, 0, 0);
}
QColor QVTesselDesign::validTextColor() {
    return rgb(0, 1, 0);
}
QColor QVTesselDesign::inValidTextColor() {
    return rgb(218 / 255.0, 50 / 255.0, 49 / 255.0);
}
QColor QVTesselDesign::basicMetaGroupTitleColor() {
    return grey(230);
}
QColor QVTesselDesign::basicMetaWorkflowStatusColor() {
    return rgb(156 / 255.0, 169 / 255.0, 180 / 255.0);
}
QColor QVTesselDesign::basicMetaGroupBackColor() {
    return grey(30);
}
