#pragma once

#include <QColor>
#include <QFont>

// The attributes a text is drawn with: font and foreground colour.
struct QVTextAttributes {
    QFont font;
    QColor foregroundColor;
};
