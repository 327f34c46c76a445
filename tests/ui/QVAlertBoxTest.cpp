#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QTest>

#include "platform/Localization.h"
#include "ui/QVAlertBox.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

// What a box looked like when it came up, recorded by the hook.
struct Seen {
    int calls = 0;
    int width = 0, height = 0, titleX = 0;
    int messageTop = 0, messageWidth = 0, messageHeight = 0;
    bool ok = false, cancel = false, other = false, check = false;
    int okX = 0, cancelX = 0, buttonTop = 0;
    QString okTitle, cancelTitle, otherTitle;
    bool toolButtonHidden = false;
    bool modal = false;
};

// Installs a hook that records the box and then answers it with `answer`.
class Driver {
  public:
    explicit Driver(std::function<void(QVAlertBox*)> answer)
        : family_(QVTesselDesign::primaryFontFamily()) {
        // Heights follow the font's line height, and which family stands in
        // for the design's depends on the fonts a machine has (an image tool
        // brings Nimbus Sans for Helvetica); pin one every machine has.
        QVTesselDesign::setPrimaryFontFamily(QStringLiteral("DejaVu Sans"));
        QVAlertBox::setPresentationHook([this, answer](QVAlertBox* box) {
            ++seen.calls;
            QWidget* w = box->window();
            seen.width = w->width();
            seen.height = w->height();
            seen.titleX = box->titleField()->x();
            seen.messageTop = box->messageField()->y();
            seen.messageWidth = box->messageField()->width();
            seen.messageHeight = box->messageField()->height();
            seen.ok = box->OKButton()->isVisible();
            seen.cancel = box->cancelButton()->isVisible();
            seen.other = box->otherButton()->isVisible();
            seen.check = box->checkMessageButton()->isVisible();
            seen.okX = box->OKButton()->x();
            seen.cancelX = box->cancelButton()->x();
            seen.buttonTop = box->OKButton()->y();
            seen.okTitle = box->OKButton()->text();
            seen.cancelTitle = box->cancelButton()->text();
            seen.otherTitle = box->otherButton()->text();
            seen.toolButtonHidden = box->window()->isToolButtonHidden();
            seen.modal = w->isModal() && w->windowModality() == Qt::ApplicationModal;
            answer(box);
        });
    }
    ~Driver() {
        QVAlertBox::setPresentationHook(nullptr);
        QVTesselDesign::setPrimaryFontFamily(family_);
    }
    Seen seen;

  private:
    QString family_;
};

void pressOK(QVAlertBox* box) {
    box->OKButton()->click();
}

}  // namespace

TEST(QVAlertBox, ShortMessageBoxIsTitleColumnPlus325WideWithOnlyOK) {
    Driver driver(pressOK);
    QVAlertBox::showOKAlertBoxWithMessage("Choose a library.");
    ASSERT_EQ(driver.seen.calls, 1);
    EXPECT_EQ(driver.seen.width, driver.seen.titleX + 325);
    EXPECT_TRUE(driver.seen.ok);
    EXPECT_FALSE(driver.seen.cancel);
    EXPECT_FALSE(driver.seen.other);
    EXPECT_FALSE(driver.seen.check);
    EXPECT_TRUE(driver.seen.toolButtonHidden);
    EXPECT_TRUE(driver.seen.modal);
    EXPECT_EQ(driver.seen.okTitle, Localization::localizedString("button.ok"));
    // OK sits 20 points from the right and from the bottom edge.
    EXPECT_EQ(driver.seen.okX, driver.seen.width - 100 - 20);
    EXPECT_EQ(driver.seen.buttonTop, driver.seen.height - 20 - 25);
}

TEST(QVAlertBox, OneLineMessageStillReserves33Points) {
    Driver driver(pressOK);
    QVAlertBox::showOKAlertBoxWithMessage("Short.");
    EXPECT_EQ(driver.seen.messageHeight, 33);
    EXPECT_EQ(driver.seen.height, 75 + 33 + 60);
    EXPECT_EQ(driver.seen.messageTop, 75);

    const QFont font = QVTesselDesign::alertBoxMessageAttributes().font;
    EXPECT_EQ(QVAlertBox::messageHeight("Short.\r\r", font, 300), 33);
    // A long message wraps and grows the box by what it needs.
    const QString longText =
        QString("A message long enough to wrap over several lines. ").repeated(8);
    const qreal h = QVAlertBox::messageHeight(longText + "\r\r", font, 300);
    EXPECT_GT(h, 60);
    Driver driver2(pressOK);
    QVAlertBox::showOKAlertBoxWithMessage(longText);
    EXPECT_EQ(driver2.seen.height, int(std::ceil(75 + h + 60)));
}

TEST(QVAlertBox, WideTitleWidensTheBoxAndTheMessageColumn) {
    const QString title =
        QString("A title that is much wider than three hundred points ").repeated(2);
    Driver driver(pressOK);
    const qreal T =
        QFontMetricsF(QVTesselDesign::alertBoxTitleAttributes().font).horizontalAdvance(title);
    ASSERT_GT(T, 300);
    qint64 answer = -1;
    QVAlertBox::showOKAlertBoxWithTitle(title, "Message", [&](qint64 code) { answer = code; });
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(driver.seen.width, int(std::ceil(driver.seen.titleX + T + 25)));
    EXPECT_EQ(driver.seen.messageWidth, int(std::ceil(T)));
}

TEST(QVAlertBox, AnswersAndCompletionRunBeforeReturn) {
    qint64 answer = -1;
    {
        Driver driver([](QVAlertBox* box) { box->cancelButton()->click(); });
        QVAlertBox::showOKCancelAlertBoxWithTitle("Relaydock for Corvane Pro", "Remove?", "Delete",
                                                  3, [&](qint64 code) { answer = code; });
        EXPECT_EQ(answer, 0);  // set before the call returned
        EXPECT_EQ(driver.seen.okTitle, "Delete");
        EXPECT_EQ(driver.seen.cancelTitle, Localization::localizedString("button.cancel"));
        EXPECT_EQ(driver.seen.cancelX, driver.seen.okX - 115);
    }
    {
        Driver driver([](QVAlertBox* box) { box->otherButton()->click(); });
        QVAlertBox::showOKCancelOtherAlertBoxWithTitle("T", "M", "Later", 0,
                                                       [&](qint64 code) { answer = code; });
        EXPECT_EQ(answer, 2);
        EXPECT_TRUE(driver.seen.other);
        EXPECT_EQ(driver.seen.otherTitle, "Later");
    }
    {
        // Closing the window through the window system answers Cancel.
        Driver driver([](QVAlertBox* box) { box->window()->close(); });
        QVAlertBox::showOKAlertBoxWithTitle("T", "M", [&](qint64 code) { answer = code; });
        EXPECT_EQ(answer, 0);
    }
    auto box = QVAlertBox::alertBox();
    EXPECT_EQ(box->title(), "Relaydock for Corvane Pro");
    EXPECT_FALSE(box->isWindowLoaded());
    Driver driver(pressOK);
    EXPECT_EQ(box->runModal(), 1);
}

TEST(QVAlertBox, ReturnFollowsTheDefaultButtonCode) {
    struct Case {
        qint64 code;
        qint64 expected;
    };
    // 3 and 0: Return presses nothing (the test then cancels); 1: OK; 2: Other.
    for (const Case& c : {Case{3, 0}, Case{0, 0}, Case{1, 1}, Case{2, 2}}) {
        bool returnEnded = false;
        Driver driver([&](QVAlertBox* box) {
            bool pressed = false;
            QObject::connect(box->OKButton(), &QAbstractButton::clicked, [&] { pressed = true; });
            QObject::connect(box->otherButton(), &QAbstractButton::clicked,
                             [&] { pressed = true; });
            QTest::keyClick(box->window(), Qt::Key_Return);
            returnEnded = pressed;
            if (!pressed) box->cancelButton()->click();
        });
        qint64 answer = -1;
        QVAlertBox::showOKCancelOtherAlertBoxWithTitle("T", "M", "Other", c.code,
                                                       [&](qint64 code) { answer = code; });
        EXPECT_EQ(answer, c.expected) << "default code " << c.code;
        EXPECT_EQ(returnEnded, c.expected != 0) << "default code " << c.code;
    }
}

TEST(QVAlertBox, CheckBoxVariantReportsTheTickWithCancel) {
    qint64 answer = -1;
    bool checked = false;
    Driver driver([](QVAlertBox* box) {
        box->checkMessageButton()->setChecked(true);
        box->cancelButton()->click();
    });
    QVAlertBox::showOKAlertCheckBoxWithTitle("Relaydock for Corvane Pro", "Remove the item?",
                                             "Do not ask again", 3, [&](qint64 code, bool on) {
                                                 answer = code;
                                                 checked = on;
                                             });
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(driver.seen.check);
    EXPECT_TRUE(driver.seen.ok);
    EXPECT_TRUE(driver.seen.cancel);
    // The check box adds 30 points to a one-line box.
    EXPECT_EQ(driver.seen.height, 75 + 33 + 30 + 60);
}

TEST(QVAlertBox, NilOtherLabelShowsOnlyOKAndCancel) {
    Driver driver(pressOK);
    QVAlertBox::showOKCancelOtherAlertBoxWithTitle("T", "M", QString(), 3, nullptr);
    EXPECT_EQ(driver.seen.calls, 1);
    EXPECT_TRUE(driver.seen.ok);
    EXPECT_TRUE(driver.seen.cancel);
    EXPECT_FALSE(driver.seen.other);
}

TEST(QVAlertBox, WithoutAnyLabelOKStillEndsTheBox) {
    Driver driver(pressOK);
    auto box = QVAlertBox::alertBox();
    EXPECT_EQ(box->runModal(), 1);
    EXPECT_TRUE(driver.seen.ok);
    EXPECT_EQ(driver.seen.okTitle, Localization::localizedString("button.ok"));
}
