#pragma once

#include <functional>
#include <memory>

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>

class QCheckBox;
class QEventLoop;
class QLabel;
class QVLumoButton;
class QVLumoColorView;
class QVLumoWindow;

// The agent's own message and confirmation box: a dark application-modal
// window with icon, bold title, message, up to three buttons and an optional
// check box, grown to fit its title and message. Answer codes: 1 OK,
// 0 Cancel, 2 Other. Default-button codes: 0 and 3 let Return press nothing,
// 1 makes Return press OK, 2 makes it press Other.
class QVAlertBox : public QObject {
    Q_OBJECT
  public:
    using CompletionHandler = std::function<void(qint64 answer)>;
    using CheckCompletionHandler = std::function<void(qint64 answer, bool checked)>;

    enum Answer : qint64 { Cancel = 0, OK = 1, Other = 2 };

    ~QVAlertBox() override;

    // A new box, not shown, with the application's icon and title.
    static std::unique_ptr<QVAlertBox> alertBox();

    static void showWithCompletionHandler(const CompletionHandler& handler);
    static void showOKAlertBoxWithMessage(const QString& message);
    static void showOKAlertBoxWithTitle(const QString& title, const QString& message,
                                        const CompletionHandler& handler);
    static void showOKCancelAlertBoxWithTitle(const QString& title, const QString& message,
                                              qint64 defaultButton,
                                              const CompletionHandler& handler);
    static void showOKCancelAlertBoxWithTitle(const QString& title, const QString& message,
                                              const QString& OKButtonTitle, qint64 defaultButton,
                                              const CompletionHandler& handler);
    static void showOKCancelOtherAlertBoxWithTitle(const QString& title, const QString& message,
                                                   const QString& otherButton, qint64 defaultButton,
                                                   const CompletionHandler& handler);
    static void showOKAlertCheckBoxWithTitle(const QString& title, const QString& message,
                                             const QString& checkMessage, qint64 defaultButton,
                                             const CheckCompletionHandler& handler);

    static void alertBoxSetDefaultButton(QVAlertBox* box, qint64 defaultButton);

    // Runs the window application-modally until a button ends the run;
    // answers the code it ended with.
    qint64 runModal();
    void okAction();
    void cancelAction();
    void otherAction();

    // The window; the first call loads the layout and lays it out, so every
    // property must be set before.
    QVLumoWindow* window();
    bool isWindowLoaded() const { return window_ != nullptr; }

    QVLumoColorView* backView() const { return backView_; }
    QLabel* iconView() const { return iconView_; }
    QLabel* titleField() const { return titleField_; }
    QLabel* messageField() const { return messageField_; }
    QCheckBox* checkMessageButton() const { return checkMessageButton_; }
    QVLumoButton* OKButton() const { return OKButton_; }
    QVLumoButton* cancelButton() const { return cancelButton_; }
    QVLumoButton* otherButton() const { return otherButton_; }

    QIcon iconImage() const { return iconImage_; }
    void setIconImage(const QIcon& icon) { iconImage_ = icon; }
    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    QString message() const { return message_; }
    void setMessage(const QString& message) { message_ = message; }
    QString checkMessage() const { return checkMessage_; }
    void setCheckMessage(const QString& text) { checkMessage_ = text; }
    QString OKButtonString() const { return OKButtonString_; }
    void setOKButtonString(const QString& text) { OKButtonString_ = text; }
    QString cancelButtonString() const { return cancelButtonString_; }
    void setCancelButtonString(const QString& text) { cancelButtonString_ = text; }
    QString otherButtonString() const { return otherButtonString_; }
    void setOtherButtonString(const QString& text) { otherButtonString_ = text; }
    qint64 defaultButton() const { return defaultButton_; }
    void setDefaultButton(qint64 code) { defaultButton_ = code; }

    // The height the message takes in a column of the given width, as the
    // layout measures it (at least 33 points).
    static qreal messageHeight(const QString& message, const QFont& font, qreal width);

    // Called with every box once its window is on screen and its modal run
    // has begun; lets tests and the screenshot tool answer it. Empty: none.
    static void setPresentationHook(std::function<void(QVAlertBox*)> hook);

    static QString applicationTitle() { return QStringLiteral("Relaydock for Corvane Pro"); }

  private:
    QVAlertBox();
    void loadWindow();
    void layoutWindow();
    static void run(QVAlertBox* box, const CompletionHandler& handler);

    QVLumoWindow* window_ = nullptr;
    QVLumoColorView* backView_ = nullptr;
    QLabel* iconView_ = nullptr;
    QLabel* titleField_ = nullptr;
    QLabel* messageField_ = nullptr;
    QCheckBox* checkMessageButton_ = nullptr;
    QVLumoButton* OKButton_ = nullptr;
    QVLumoButton* cancelButton_ = nullptr;
    QVLumoButton* otherButton_ = nullptr;

    QIcon iconImage_;
    QString title_;
    QString message_;
    QString checkMessage_;
    QString OKButtonString_;
    QString cancelButtonString_;
    QString otherButtonString_;
    qint64 defaultButton_ = 0;

    QEventLoop* modalLoop_ = nullptr;
    QWidget* firstResponder_ = nullptr;
};
