#pragma once

#include <functional>

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>

class QWidget;

// Shows a window as a sheet of another window, the way the desktop agent's
// panels are presented: a window-modal dialog attached to its parent,
// centred horizontally and hanging 22 points below the parent's top edge
// (under the parent's top bar), following the parent when it moves. Ending
// the sheet hides it and hands its return code to the completion given when
// it began.
class QVSheetPresenter : public QObject {
    Q_OBJECT
  public:
    using Completion = std::function<void(qint64 returnCode)>;

    // How far below the parent's top edge a sheet hangs.
    static constexpr int kSheetOffset = 22;

    // Shows sheet attached to parent (application-modal and centred on the
    // screen without a parent). A sheet that is already shown is left alone
    // and false is answered; the completion is then dropped.
    static bool beginSheet(QWidget* sheet, QWidget* parent, Completion completion);
    // Hides sheet and calls its completion with the code. The completion
    // runs last, so it may destroy the sheet and its owner. False when sheet
    // is not shown as a sheet.
    static bool endSheet(QWidget* sheet, qint64 returnCode);
    static bool isSheetShown(const QWidget* sheet);
    // The window a shown sheet is attached to, or nullptr.
    static QWidget* sheetParent(const QWidget* sheet);

    // The top-left corner of a sheet of sheetSize on a parent whose content
    // starts at parentOrigin (global) and has parentSize.
    static QPoint sheetPosition(const QPoint& parentOrigin, const QSize& parentSize,
                                const QSize& sheetSize);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QVSheetPresenter(QWidget* sheet, QWidget* parent, Completion completion);
    static QVSheetPresenter* presenterOf(const QWidget* sheet);
    void place();

    QPointer<QWidget> sheet_;
    QPointer<QWidget> parent_;
    Completion completion_;
};
