#pragma once

#include <QLabel>

// A text label in the kit's look (light grey text on a transparent
// background) with the text-field operations the windows use: string value,
// text colour, alpha value, and truncation at the tail for one-line text.
class QVLumoLabel : public QLabel {
    Q_OBJECT
  public:
    explicit QVLumoLabel(QWidget* parent = nullptr);
    explicit QVLumoLabel(const QString& text, QWidget* parent = nullptr);

    QString stringValue() const { return text(); }
    void setStringValue(const QString& value) { setText(value); }
    QColor textColor() const;
    void setTextColor(const QColor& color);
    qreal alphaValue() const { return alpha_; }
    void setAlphaValue(qreal alpha);
    // Qt::ElideNone wraps (when word wrap is on) or clips; any other mode
    // truncates a line that does not fit.
    Qt::TextElideMode lineBreakMode() const { return elide_; }
    void setLineBreakMode(Qt::TextElideMode mode);

    // The text as drawn in the present width (truncated when it must be).
    QString displayedText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    qreal alpha_ = 1.0;
    Qt::TextElideMode elide_ = Qt::ElideRight;
};
