#include "ui/QVLibraryListCellView.h"

#include "ui/QVPanelImageView.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVLumoLabel.h"

QVLibraryListCellView::QVLibraryListCellView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("librarycell"));
    // Clicks belong to the table, which decides whether the row may be selected.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    checkIcon_ = new QVPanelImageView(this);
    libraryIcon_ = new QVPanelImageView(this);
    libraryNameField_ = new QVLumoLabel(this);
    libraryNameField_->setFont(QVTesselDesign::tesselFontWithSize(13));
    libraryInfoField_ = new QVLumoLabel(this);
    libraryInfoField_->setFont(QVTesselDesign::tesselFontWithSize(11));
    writableIcon_ = new QVPanelImageView(this);
    setBackgroundStyle(1);
    resize(350, 40);
}

void QVLibraryListCellView::setBackgroundStyle(int style) {
    backgroundStyle_ = style;
    // On a dark row the name is light and the information a dimmer grey.
    const bool dark = style == 1;
    libraryNameField_->setTextColor(dark ? QVTesselDesign::grey(230) : QColor(30, 30, 30));
    libraryInfoField_->setTextColor(dark ? QVTesselDesign::grey(150) : QColor(90, 90, 90));
}

void QVLibraryListCellView::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    checkIcon_->setGeometry(6, (h - 16) / 2, 16, 16);
    libraryIcon_->setGeometry(26, (h - 24) / 2, 24, 24);
    const int textX = 58, textW = qMax(0, w - textX - 34);
    libraryNameField_->setGeometry(textX, h / 2 - 17, textW, 18);
    libraryInfoField_->setGeometry(textX, h / 2 + 1, textW, 16);
    writableIcon_->setGeometry(w - 28, (h - 18) / 2, 18, 18);
}
