#include "ui/QVAlertBox.h"

#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QLabel>
#include <QTextLayout>
#include <QTimer>

#include "platform/Localization.h"
#include "ui/QVTesselDesign.h"
#include "ui/kit/QVImages.h"
#include "ui/kit/QVLumoButton.h"
#include "ui/kit/QVLumoColorView.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

// The "AlertBox" layout: a 448 x 168 window; frames as (x, top, width,
// height). Buttons and the check box sit at fixed distances from the bottom,
// the title and message at fixed distances from the top.
constexpr int kLayoutWidth = 448;
constexpr int kLayoutHeight = 168;
const QRect kIconFrame(32, 28, 64, 64);
const QRect kTitleFrame(123, 30, 300, 22);
const QRect kMessageFrame(123, 75, 300, 33);
constexpr int kButtonWidth = 100;  // the OK button's width in the layout
constexpr int kButtonHeight = 25;
constexpr int kOtherButtonX = 20;

std::function<void(QVAlertBox*)>& presentationHook() {
    static std::function<void(QVAlertBox*)> hook;
    return hook;
}

QIcon applicationIcon() {
    const QIcon windowIcon = QApplication::windowIcon();
    if (!windowIcon.isNull() && !windowIcon.availableSizes().isEmpty()) return windowIcon;
    return QVImages::icon(QStringLiteral("relaydock"));
}

}  // namespace

QVAlertBox::QVAlertBox() = default;

QVAlertBox::~QVAlertBox() {
    delete window_;
    window_ = nullptr;
    // The question is over: the main window takes the focus back.
    if (QWidget* main = QVLumoWindow::mainWindow(); main && main->isVisible()) {
        main->raise();
        main->activateWindow();
    }
}

std::unique_ptr<QVAlertBox> QVAlertBox::alertBox() {
    std::unique_ptr<QVAlertBox> box(new QVAlertBox());
    box->iconImage_ = applicationIcon();
    box->title_ = applicationTitle();
    return box;
}

void QVAlertBox::setPresentationHook(std::function<void(QVAlertBox*)> hook) {
    presentationHook() = std::move(hook);
}

void QVAlertBox::run(QVAlertBox* box, const CompletionHandler& handler) {
    const qint64 answer = box->runModal();
    if (handler) handler(answer);
}

void QVAlertBox::showWithCompletionHandler(const CompletionHandler& handler) {
    auto box = alertBox();
    box->setOKButtonString(Localization::localized("button.ok"));
    run(box.get(), handler);
}

void QVAlertBox::showOKAlertBoxWithMessage(const QString& message) {
    auto box = alertBox();
    box->setMessage(message);
    box->setOKButtonString(Localization::localized("button.ok"));
    run(box.get(), nullptr);
}

void QVAlertBox::showOKAlertBoxWithTitle(const QString& title, const QString& message,
                                         const CompletionHandler& handler) {
    auto box = alertBox();
    box->setTitle(title);
    box->setMessage(message);
    box->setOKButtonString(Localization::localized("button.ok"));
    run(box.get(), handler);
}

void QVAlertBox::showOKCancelAlertBoxWithTitle(const QString& title, const QString& message,
                                               qint64 defaultButton,
                                               const CompletionHandler& handler) {
    showOKCancelAlertBoxWithTitle(title, message, Localization::localized("button.ok"),
                                  defaultButton, handler);
}

void QVAlertBox::showOKCancelAlertBoxWithTitle(const QString& title, const QString& message,
                                               const QString& OKButtonTitle, qint64 defaultButton,
                                               const CompletionHandler& handler) {
    auto box = alertBox();
    box->setTitle(title);
    box->setMessage(message);
    box->setOKButtonString(OKButtonTitle);
    box->setCancelButtonString(Localization::localized("button.cancel"));
    box->setDefaultButton(defaultButton);
    run(box.get(), handler);
}

void QVAlertBox::showOKCancelOtherAlertBoxWithTitle(const QString& title, const QString& message,
                                                    const QString& otherButton,
                                                    qint64 defaultButton,
                                                    const CompletionHandler& handler) {
    auto box = alertBox();
    box->setTitle(title);
    box->setMessage(message);
    box->setOKButtonString(Localization::localized("button.ok"));
    box->setCancelButtonString(Localization::localized("button.cancel"));
    box->setOtherButtonString(otherButton);
    box->setDefaultButton(defaultButton);
    run(box.get(), handler);
}

void QVAlertBox::showOKAlertCheckBoxWithTitle(const QString& title, const QString& message,
                                              const QString& checkMessage, qint64 defaultButton,
                                              const CheckCompletionHandler& handler) {
    auto box = alertBox();
    box->setTitle(title);
    box->setMessage(message);
    box->setCheckMessage(checkMessage);
    box->setOKButtonString(Localization::localized("button.ok"));
    box->setCancelButtonString(Localization::localized("button.cancel"));
    box->setDefaultButton(defaultButton);
    const qint64 answer = box->runModal();
    const bool checked = box->checkMessageButton() && box->checkMessageButton()->isChecked();
    if (handler) handler(answer, checked);
}

void QVAlertBox::alertBoxSetDefaultButton(QVAlertBox* box, qint64 defaultButton) {
    if (!box || !box->OKButton_ || !box->otherButton_) return;
    switch (defaultButton) {
        case 0:
        case 3:
            box->OKButton_->setKeyEquivalent(QString());
            box->otherButton_->setKeyEquivalent(QString());
            box->firstResponder_ = nullptr;
            break;
        case 1:
            box->OKButton_->setKeyEquivalent(QStringLiteral("\r"));
            box->otherButton_->setKeyEquivalent(QString());
            box->firstResponder_ = box->OKButton_;
            break;
        case 2:
            box->otherButton_->setKeyEquivalent(QStringLiteral("\r"));
            box->OKButton_->setKeyEquivalent(QString());
            box->firstResponder_ = box->otherButton_;
            break;
        default:
            break;
    }
}

QVLumoWindow* QVAlertBox::window() {
    if (!window_) {
        loadWindow();
        layoutWindow();
        window_->center();
    }
    return window_;
}

void QVAlertBox::loadWindow() {
    window_ = new QVLumoWindow();
    window_->setObjectName(QStringLiteral("AlertBox"));
    window_->resize(kLayoutWidth, kLayoutHeight);
    backView_ = new QVLumoColorView(window_);
    backView_->setGeometry(0, 0, kLayoutWidth, kLayoutHeight);
    iconView_ = new QLabel(window_);
    iconView_->setGeometry(kIconFrame);
    titleField_ = new QLabel(window_);
    titleField_->setGeometry(kTitleFrame);
    titleField_->setTextFormat(Qt::PlainText);
    messageField_ = new QLabel(window_);
    messageField_->setGeometry(kMessageFrame);
    messageField_->setTextFormat(Qt::PlainText);
    messageField_->setWordWrap(true);
    messageField_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    messageField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    checkMessageButton_ = new QCheckBox(window_);
    checkMessageButton_->setFocusPolicy(Qt::TabFocus);
    checkMessageButton_->setStyleSheet(QStringLiteral("QCheckBox { color: white; }"));
    checkMessageButton_->hide();

    auto makeButton = [this](const char* name) {
        auto* button = new QVLumoButton(window_);
        button->setObjectName(QString::fromUtf8(name));
        button->setImageWithStart(QStringLiteral("btn.left.nor"), QStringLiteral("btn.center.nor"),
                                  QStringLiteral("btn.right.nor"), QStringLiteral("btn.left.pre"),
                                  QStringLiteral("btn.center.pre"),
                                  QStringLiteral("btn.right.pre"));
        return button;
    };
    OKButton_ = makeButton("OKButton");
    OKButton_->setGeometry(kLayoutWidth - kButtonWidth - 20, kLayoutHeight - 45, kButtonWidth,
                           kButtonHeight);
    OKButton_->setKeyEquivalent(QStringLiteral("\r"));
    connect(OKButton_, &QAbstractButton::clicked, this, &QVAlertBox::okAction);
    cancelButton_ = makeButton("cancelButton");
    cancelButton_->setGeometry(kLayoutWidth - 2 * kButtonWidth - 35, kLayoutHeight - 45,
                               kButtonWidth, kButtonHeight);
    cancelButton_->setKeyEquivalent(QStringLiteral("\x1b"));
    otherButton_ = makeButton("otherButton");
    otherButton_->setGeometry(kOtherButtonX, kLayoutHeight - 45, kButtonWidth, kButtonHeight);

    // Closing the window through the window system answers like Cancel, so
    // the modal run always ends.
    connect(window_, &QVLumoWindow::closeRequested, this, &QVAlertBox::cancelAction);
}

qreal QVAlertBox::messageHeight(const QString& message, const QFont& font, qreal width) {
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QStringList paragraphs = text.split(u'\n');
    // The empty line after a final line break is not part of the used height.
    if (paragraphs.size() > 1 && paragraphs.last().isEmpty()) paragraphs.removeLast();
    qreal height = 0;
    for (const QString& paragraph : paragraphs) {
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        while (true) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLeadingIncluded(true);
            line.setLineWidth(width);
            height += line.height();
        }
        layout.endLayout();
    }
    return qMax<qreal>(33, std::ceil(height));
}

void QVAlertBox::layoutWindow() {
    // 1-2
    window_->setHiddenToolButton(true);
    window_->setWindowTitle(applicationTitle());
    backView_->setColor(QVTesselDesign::sheetBackgroundColor());
    const qreal ratio = window_->devicePixelRatioF();
    iconView_->setPixmap(iconImage_.pixmap(kIconFrame.size(), ratio));

    // 3-4
    const QVTextAttributes titleAttributes = QVTesselDesign::alertBoxTitleAttributes();
    titleField_->setFont(titleAttributes.font);
    titleField_->setStyleSheet(
        QStringLiteral("color: %1;").arg(titleAttributes.foregroundColor.name()));
    titleField_->setText(title_);
    const qreal T = QFontMetricsF(titleAttributes.font).horizontalAdvance(title_);
    const qreal W = qMax<qreal>(300, T);
    const int columnWidth = int(std::ceil(W));
    const int windowWidth = int(std::ceil(titleField_->x() + W + 25));

    // 5-7
    qreal H = 75;
    qreal h = 33;
    if (!message_.isNull()) {
        const QString text = message_ + QStringLiteral("\r\r");
        const QVTextAttributes attributes = QVTesselDesign::alertBoxMessageAttributes();
        messageField_->setFont(attributes.font);
        messageField_->setStyleSheet(
            QStringLiteral("color: %1;").arg(attributes.foregroundColor.name()));
        QString shown = text;
        messageField_->setText(shown.replace(u'\r', u'\n'));
        h = messageHeight(text, attributes.font, double(float(W)));
    }
    H += h;
    if (!checkMessage_.isNull()) {
        H += 30;
        checkMessageButton_->setText(checkMessage_);
        checkMessageButton_->show();
    } else {
        checkMessageButton_->hide();
    }

    // 8-11: the frame keeps its bottom-left corner; title and message keep
    // their distance from the top, the rest from the bottom.
    H += 60;
    const int windowHeight = int(std::ceil(H));
    const QPoint bottomLeft = window_->geometry().bottomLeft();
    window_->setGeometry(bottomLeft.x(), bottomLeft.y() - windowHeight + 1, windowWidth,
                         windowHeight);
    backView_->setGeometry(0, 0, windowWidth, windowHeight);
    titleField_->setGeometry(titleField_->x(), titleField_->y(), columnWidth,
                             titleField_->height());
    const int messageWidth = message_.isNull() ? kMessageFrame.width() : columnWidth;
    messageField_->setGeometry(messageField_->x(),
                               windowHeight - int(std::ceil(H - 75 - h)) - int(std::ceil(h)),
                               messageWidth, int(std::ceil(h)));
    checkMessageButton_->setGeometry(123, windowHeight - 60 - 27, columnWidth, 27);

    // 12-15
    if (OKButtonString_.isNull() && cancelButtonString_.isNull() && otherButtonString_.isNull())
        OKButtonString_ = Localization::localized("button.ok");
    const int buttonTop = windowHeight - 20 - kButtonHeight;
    if (!OKButtonString_.isNull()) {
        OKButton_->setText(OKButtonString_);
        OKButton_->show();
        OKButton_->setGeometry(windowWidth - kButtonWidth - 20, buttonTop, kButtonWidth,
                               kButtonHeight);
    } else {
        OKButton_->hide();
    }
    if (!cancelButtonString_.isNull()) {
        cancelButton_->setText(cancelButtonString_);
        disconnect(cancelButton_, nullptr, this, nullptr);
        connect(cancelButton_, &QAbstractButton::clicked, this, &QVAlertBox::cancelAction);
        cancelButton_->show();
        const float x = !OKButtonString_.isNull() ? float(OKButton_->x() - 115)
                                                  : float(windowWidth - kButtonWidth - 15);
        cancelButton_->setGeometry(int(x), buttonTop, kButtonWidth, kButtonHeight);
    } else {
        cancelButton_->hide();
    }
    if (!otherButtonString_.isNull()) {
        otherButton_->setStringValue(otherButtonString_);
        disconnect(otherButton_, nullptr, this, nullptr);
        connect(otherButton_, &QAbstractButton::clicked, this, &QVAlertBox::otherAction);
        otherButton_->show();
        otherButton_->move(otherButton_->x(), buttonTop);
    } else {
        otherButton_->hide();
    }

    // 16
    alertBoxSetDefaultButton(this, defaultButton_);
}

qint64 QVAlertBox::runModal() {
    QVLumoWindow* w = window();
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
    w->raise();
    w->activateWindow();
    if (firstResponder_) {
        firstResponder_->setFocus(Qt::OtherFocusReason);
    } else {
        w->setFocus(Qt::OtherFocusReason);
    }
    QEventLoop loop;
    modalLoop_ = &loop;
    if (presentationHook()) {
        QPointer<QVAlertBox> self(this);
        QTimer::singleShot(0, &loop, [self] {
            if (self && presentationHook()) presentationHook()(self);
        });
    }
    const int answer = loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    if (window_) window_->hide();
    return answer;
}

void QVAlertBox::okAction() {
    if (modalLoop_) modalLoop_->exit(OK);
}

void QVAlertBox::cancelAction() {
    if (modalLoop_) modalLoop_->exit(Cancel);
}

void QVAlertBox::otherAction() {
    if (modalLoop_) modalLoop_->exit(Other);
}
