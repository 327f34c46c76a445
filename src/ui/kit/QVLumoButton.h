#pragma once

#include <QAbstractButton>

#include "ui/kit/QVLumoImage.h"

// A push button whose background is three images: a left cap and a right
// cap at their natural width and a centre stretched between them, with a
// second set while the button is pressed. The title is drawn centred in
// white; a disabled button is drawn at half opacity.
class QVLumoButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QString keyEquivalent READ keyEquivalent WRITE setKeyEquivalent)
  public:
    explicit QVLumoButton(QWidget* parent = nullptr);

    void setImageWithStart(const QVLumoImage& start, const QVLumoImage& center,
                           const QVLumoImage& end, const QVLumoImage& startClick,
                           const QVLumoImage& centerClick, const QVLumoImage& endClick);

    // The title (the text-field style name of the kit).
    QString stringValue() const { return text(); }
    void setStringValue(const QString& value) { setText(value); }

    // The key (as typed text; "\r" for Return, "\x1b" for Escape) that
    // presses this button in a kit window; empty for none.
    QString keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(const QString& key) { keyEquivalent_ = key; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QVLumoImage parts_[3];
    QVLumoImage pressedParts_[3];
    QString keyEquivalent_;
};
