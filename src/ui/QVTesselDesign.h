#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "ui/QVTextAttributes.h"

// The agent's look in one place: its fonts, text attributes and colours.
// Every call makes a new value. Sizes are in layout points, which are our
// logical pixels. Fonts are Helvetica where the machine has it (through
// fontconfig: a Helvetica or a family it is configured to stand in for it),
// else "LucidaGrande", which fontconfig maps to the machine's sans-serif.
class QVTesselDesign {
  public:
    // A font of the primary family at the size, or of the fallback family
    // when no font can be made from the primary one.
    static QFont fontDescriptorWithSize(double size);
    static QFont tesselFontWithSize(float size);
    static QFont tesselBoldFontWithSize(float size);

    static QVTextAttributes alertBoxTitleAttributes();
    static QVTextAttributes alertBoxMessageAttributes();
    static QVTextAttributes searchPlaceHolderAttributes();

    // Whether fontconfig resolves a family to a font of its own rather than
    // to its general fallback.
    static bool fontFamilyAvailable(const QString& family);
    // The family asked for first ("Helvetica"); tests set a missing one.
    static QString primaryFontFamily();
    static void setPrimaryFontFamily(const QString& family);
    static QString fallbackFontFamily() { return QStringLiteral("LucidaGrande"); }

    static QColor sheetBackgroundColor();
    static QColor defaultTextColor();
    static QColor indicatorColor();

    static QColor contentsViewBackgroundColor();
    static QColor contentsDeviceViewBackgroundColor();
    static QColor contentsPlayViewBackgroundColor();
    static QColor contentsMapViewBackgroundColor();
    static QColor basicViewBackColor();
    static QColor inspectorViewBackgroundColor();
    static QColor iosImageBrowserTitleColor();
    static QColor iosImageBrowserSubTitleColor();
    static QColor thumbnailImageBrowserTitleColor();
    static QColor thumbnailImageBrowserSubTitleColor();
    static QColor confirmImageBrowserTitleColor();
    static QColor confirmImageBrowserSubTitleColor();
    static QColor iosImageBrowserTitleHighlightColor();
    static QColor thumbnailImageBrowserTitleHighlightColor();
    static QColor confirmImageBrowserTitleHighlightColor();
    static QColor sidebarSelectTextColor();
    static QColor cellSubSelectTextColor();
    static QColor iosImageBrowserSelectColor();
    static QColor thumbnailImageBrowserSelectColor();
    static QColor confirmImageBrowserSelectColor();
    static QColor sidebarDeselectTextColor();
    static QColor cellSubDeselectTextColor();
    static QColor popOverBorderColor();
    static QColor popOverBackColor();
    static QColor diskUsageVideoColor();
    static QColor diskUsageAudioColor();
    static QColor diskUsageImageColor();
    static QColor diskUsageDocumentColor();
    static QColor diskUsageExtraColor();
    static QColor infoViewBackColor();
    static QColor buttonPanelBackColor();
    static QColor infoViewBorderColor();
    static QColor validTextColor();
    static QColor inValidTextColor();
    static QColor basicMetaGroupTitleColor();
    static QColor basicMetaWorkflowStatusColor();
    static QColor basicMetaGroupBackColor();

    // A grey of white level n/255, opaque.
    static QColor grey(double level255);
};
