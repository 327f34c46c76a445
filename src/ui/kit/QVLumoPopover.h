#pragma once

#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

class QVLumoPopoverDelegate;

// A borderless window with an arrow that points at a view and holds a
// content view. It closes when told to, when the application becomes
// inactive and when it stops being the active window (each if asked), and
// tells its delegate every time it closes. The content view is only lent:
// it goes back to its previous parent when the pop-over closes or dies.
class QVLumoPopover : public QWidget {
    Q_OBJECT
  public:
    enum class Edge { Below, Above, Right, Left };

    explicit QVLumoPopover(QWidget* contentView);
    ~QVLumoPopover() override;

    QWidget* contentView() const { return content_; }
    qreal arrowWidth() const { return arrowWidth_; }
    void setArrowWidth(qreal width);
    QColor backgroundColor() const { return background_; }
    void setBackgroundColor(const QColor& color);
    QColor borderColor() const { return border_; }
    void setBorderColor(const QColor& color);
    bool closesWhenApplicationBecomesInactive() const { return closesOnInactive_; }
    void setClosesWhenApplicationBecomesInactive(bool on) { closesOnInactive_ = on; }
    bool closesWhenPopoverResignsKey() const { return closesOnResignKey_; }
    void setClosesWhenPopoverResignsKey(bool on) { closesOnResignKey_ = on; }
    QVLumoPopoverDelegate* delegate() const { return delegate_; }
    void setDelegate(QVLumoPopoverDelegate* delegate) { delegate_ = delegate; }

    // Shows the pop-over next to view: below it, or with chooseBestLocation
    // on the first side (below, above, right, left) where it fits the screen.
    void displayPopoverWithView(QWidget* view, bool chooseBestLocation);
    bool isVisible() const { return QWidget::isVisible(); }
    void closePopover(QObject* sender = nullptr);
    Edge edge() const { return edge_; }

    // The window geometry a display next to a rectangle (global coordinates)
    // takes on a screen area, and the side it is put on.
    static QRect frameForAnchor(const QRect& anchor, const QSize& contentSize, qreal arrowWidth,
                                const QRect& screen, bool chooseBest, Edge* edge);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void layoutContent();
    qreal arrowHeight() const { return arrowWidth_ / 2; }

    QPointer<QWidget> content_;
    QPointer<QWidget> contentParent_;
    QPointer<QWidget> anchorView_;
    QVLumoPopoverDelegate* delegate_ = nullptr;
    QMetaObject::Connection appState_;
    QColor background_ = QColor(35, 35, 35);
    QColor border_ = QColor(128, 128, 128);
    qreal arrowWidth_ = 20;
    qreal arrowPos_ = 0;
    bool closesOnInactive_ = false;
    bool closesOnResignKey_ = false;
    bool shown_ = false;
    Edge edge_ = Edge::Below;
};
