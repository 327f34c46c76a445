#pragma once

#include <QAbstractButton>

#include "ui/kit/QVLumoImage.h"

// A button drawn only with images: one for the normal state, one while it is
// pressed and one while it is disabled (the normal image when none is given).
// The image is drawn at its natural size, centred, and scaled down to fit.
class QVLumoRokButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QString keyEquivalent READ keyEquivalent WRITE setKeyEquivalent)
  public:
    explicit QVLumoRokButton(QWidget* parent = nullptr);

    void setImageWithDefault(const QVLumoImage& normal, const QVLumoImage& clicked,
                             const QVLumoImage& disabled);
    const QVLumoImage& defaultImage() const { return normal_; }
    const QVLumoImage& clickedImage() const { return clicked_; }
    const QVLumoImage& disabledImage() const { return disabled_; }
    // The image the button shows in its present state.
    const QVLumoImage& currentImage() const;

    // The key (as typed text; "\r" for Return) that presses this button in a
    // kit window; empty for none.
    QString keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(const QString& key) { keyEquivalent_ = key; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    virtual void paintImage(QPainter* painter, const QVLumoImage& image);

  private:
    QVLumoImage normal_, clicked_, disabled_;
    QString keyEquivalent_;
};
