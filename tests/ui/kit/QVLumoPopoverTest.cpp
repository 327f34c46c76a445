#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>

#include "ui/kit/QVLumoPopover.h"
#include "ui/kit/QVLumoPopoverDelegate.h"

namespace {

class Recorder : public QVLumoPopoverDelegate {
  public:
    void popOverClosed(QVLumoPopover* popover) override { closed << popover; }
    QList<QVLumoPopover*> closed;
};

struct Fixture {
    Fixture() {
        panel.resize(400, 300);
        button = new QWidget(&panel);
        button->setGeometry(20, 20, 22, 22);
        content = new QWidget(&panel);
        content->resize(350, 126);
        content->hide();
        panel.show();
    }
    QWidget panel;
    QWidget* button;
    QWidget* content;
};

}  // namespace

TEST(QVLumoPopover, PicksTheFirstSideWithRoom) {
    const QRect screen(0, 0, 1000, 800);
    QVLumoPopover::Edge edge;
    QRect frame = QVLumoPopover::frameForAnchor(QRect(100, 100, 20, 20), QSize(350, 126), 30,
                                                screen, true, &edge);
    EXPECT_EQ(edge, QVLumoPopover::Edge::Below);
    EXPECT_EQ(frame.top(), 120);
    EXPECT_TRUE(screen.contains(frame));
    // No room below: above.
    frame = QVLumoPopover::frameForAnchor(QRect(500, 700, 20, 20), QSize(350, 126), 30, screen,
                                          true, &edge);
    EXPECT_EQ(edge, QVLumoPopover::Edge::Above);
    EXPECT_EQ(frame.bottom(), 699);
    // A list taller than the screen above and below goes to the side, slid onto the screen.
    frame = QVLumoPopover::frameForAnchor(QRect(100, 400, 20, 20), QSize(350, 840), 30, screen,
                                          true, &edge);
    EXPECT_EQ(edge, QVLumoPopover::Edge::Right);
    EXPECT_EQ(frame.left(), 120);
    // Without choosing it always opens below.
    QVLumoPopover::frameForAnchor(QRect(500, 700, 20, 20), QSize(350, 126), 30, screen, false,
                                  &edge);
    EXPECT_EQ(edge, QVLumoPopover::Edge::Below);
}

TEST(QVLumoPopover, ClosesOnceAndLendsItsContentBack) {
    Fixture f;
    Recorder delegate;
    auto* popover = new QVLumoPopover(f.content);
    popover->setArrowWidth(30);
    popover->setBackgroundColor(QColor(35, 35, 35));
    popover->setBorderColor(QColor(128, 128, 128));
    popover->setDelegate(&delegate);
    popover->displayPopoverWithView(f.button, true);
    EXPECT_TRUE(popover->isVisible());
    EXPECT_EQ(f.content->parentWidget(), popover);
    EXPECT_TRUE(f.content->isVisible());
    // The window is the content plus the arrow and the frame.
    EXPECT_EQ(popover->width(), 350 + 8);
    EXPECT_EQ(popover->height(), 126 + 8 + 15);

    popover->closePopover(nullptr);
    popover->closePopover(nullptr);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_EQ(delegate.closed.size(), 1);
    EXPECT_EQ(f.content->parentWidget(), &f.panel);
    EXPECT_FALSE(f.content->isVisible());
    delete popover;
    // The content view outlives the pop-over.
    EXPECT_EQ(f.content->parentWidget(), &f.panel);
}

TEST(QVLumoPopover, ClosesWhenItResignsKeyOnlyIfAsked) {
    Fixture f;
    Recorder delegate;
    QVLumoPopover popover(f.content);
    popover.setDelegate(&delegate);
    popover.displayPopoverWithView(f.button, true);
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&popover, &deactivate);
    EXPECT_TRUE(popover.isVisible());
    EXPECT_TRUE(delegate.closed.isEmpty());

    popover.setClosesWhenPopoverResignsKey(true);
    QApplication::sendEvent(&popover, &deactivate);
    EXPECT_FALSE(popover.isVisible());
    ASSERT_EQ(delegate.closed.size(), 1);
    EXPECT_EQ(delegate.closed.first(), &popover);
}

TEST(QVLumoPopover, ClosesWhenTheApplicationBecomesInactive) {
    Fixture f;
    Recorder delegate;
    QVLumoPopover popover(f.content);
    popover.setDelegate(&delegate);
    popover.setClosesWhenApplicationBecomesInactive(true);
    popover.displayPopoverWithView(f.button, true);
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(popover.isVisible());
    EXPECT_EQ(delegate.closed.size(), 1);
    // Shown again and closed by the application again: told again.
    popover.displayPopoverWithView(f.button, true);
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(popover.isVisible());
    emit qApp->applicationStateChanged(Qt::ApplicationHidden);
    EXPECT_EQ(delegate.closed.size(), 2);
}
