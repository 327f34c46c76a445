#pragma once

#include <QPointer>
#include <QWidget>

class QToolButton;

// The kit's window: a dark top-level window with a tool button in its top
// right corner (which toggles the window's tool area; windows that have none
// hide it) and key equivalents: a key typed in the window presses the
// visible, enabled button whose "keyEquivalent" property is that key's text
// ("\r" for Return and Enter, "\x1b" for Escape).
class QVLumoWindow : public QWidget {
    Q_OBJECT
  public:
    explicit QVLumoWindow(QWidget* parent = nullptr);

    bool isToolButtonHidden() const;
    void setHiddenToolButton(bool hidden);
    QToolButton* toolButton() const { return toolButton_; }

    // Presses the button answering a key; false when none does.
    bool performKeyEquivalent(const QString& key);
    static QString keyEquivalentForEvent(const QKeyEvent* event);

    // Centres the window on its screen.
    void center();

    // The application's main window, which dialogs give the focus back to.
    static QWidget* mainWindow();
    static void setMainWindow(QWidget* window);

  signals:
    void toolButtonClicked();
    // The user asked the window system to close the window.
    void closeRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QToolButton* toolButton_;
};
