#include "ui/QVSheetPresenter.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
const char* const kPresenterName = "QVSheetPresenter";
}  // namespace

QVSheetPresenter::QVSheetPresenter(QWidget* sheet, QWidget* parent, Completion completion)
    : QObject(sheet), sheet_(sheet), parent_(parent), completion_(std::move(completion)) {
    setObjectName(QString::fromLatin1(kPresenterName));
}

QVSheetPresenter* QVSheetPresenter::presenterOf(const QWidget* sheet) {
    if (!sheet) return nullptr;
    return sheet->findChild<QVSheetPresenter*>(QString::fromLatin1(kPresenterName),
                                               Qt::FindDirectChildrenOnly);
}

QPoint QVSheetPresenter::sheetPosition(const QPoint& parentOrigin, const QSize& parentSize,
                                       const QSize& sheetSize) {
    return QPoint(parentOrigin.x() + (parentSize.width() - sheetSize.width()) / 2,
                  parentOrigin.y() + kSheetOffset);
}

bool QVSheetPresenter::beginSheet(QWidget* sheet, QWidget* parent, Completion completion) {
    if (!sheet || presenterOf(sheet)) return false;
    QWidget* parentWindow = parent ? parent->window() : nullptr;
    auto* presenter = new QVSheetPresenter(sheet, parentWindow, std::move(completion));
    const Qt::WindowFlags flags = Qt::Dialog | Qt::FramelessWindowHint;
    if (parentWindow && parentWindow != sheet) {
        // A transient child of the parent: the window system keeps it above
        // the parent, and window modality blocks only that parent.
        sheet->setParent(parentWindow, flags);
        sheet->setWindowModality(Qt::WindowModal);
        parentWindow->installEventFilter(presenter);
    } else {
        sheet->setParent(nullptr, flags);
        sheet->setWindowModality(Qt::ApplicationModal);
    }
    if (sheet->size().isEmpty()) sheet->adjustSize();
    presenter->place();
    sheet->show();
    sheet->raise();
    sheet->activateWindow();
    return true;
}

bool QVSheetPresenter::endSheet(QWidget* sheet, qint64 returnCode) {
    QVSheetPresenter* presenter = presenterOf(sheet);
    if (!presenter) return false;
    Completion completion = std::move(presenter->completion_);
    QWidget* parent = presenter->parent_;
    if (parent) parent->removeEventFilter(presenter);
    delete presenter;
    sheet->hide();
    // The parent no longer owns the sheet: its owner decides its lifetime.
    if (sheet->parentWidget()) sheet->setParent(nullptr, sheet->windowFlags());
    if (parent) {
        parent->raise();
        parent->activateWindow();
    }
    // Last: the caller typically releases the panel that owns the sheet.
    if (completion) completion(returnCode);
    return true;
}

bool QVSheetPresenter::isSheetShown(const QWidget* sheet) {
    return presenterOf(sheet) != nullptr;
}

QWidget* QVSheetPresenter::sheetParent(const QWidget* sheet) {
    QVSheetPresenter* presenter = presenterOf(sheet);
    return presenter ? presenter->parent_.data() : nullptr;
}

void QVSheetPresenter::place() {
    if (!sheet_) return;
    const QSize size = sheet_->size();
    if (parent_) {
        sheet_->move(sheetPosition(parent_->mapToGlobal(QPoint(0, 0)), parent_->size(), size));
        return;
    }
    QScreen* screen = sheet_->screen() ? sheet_->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(screen->availableGeometry().center());
    sheet_->move(frame.topLeft());
}

bool QVSheetPresenter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        place();
    return QObject::eventFilter(watched, event);
}
