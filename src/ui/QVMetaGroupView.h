#pragma once

#include <QWidget>

// A framed group of metadata fields: the nine "meta_" images drawn over the
// bounds (corners at their size, edges and centre stretched).
class QVMetaGroupView : public QWidget {
    Q_OBJECT
  public:
    explicit QVMetaGroupView(QWidget* parent = nullptr);

    // The nine image names, row by row from the top left.
    static QStringList partNames();
    // Draws a nine-part image of those names over rect.
    static void drawNinePart(QPainter* painter, const QRectF& rect, const QStringList& names);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
