#include "app/AgentAutomation.h"

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <optional>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QWidget>

#include "app/AppDelegate.h"
#include "appleevents/AECodes.h"
#include "appleevents/ScriptingRuntime.h"
#include "export/QVExportItem.h"
#include "export/QVExportItemManager.h"
#include "platform/QVLog.h"
#include "ui/FCPXWindowController.h"
#include "ui/QVAlertBox.h"
#include "ui/kit/QVLumoMenu.h"
#include "ui/kit/QVLumoWindow.h"

namespace {

// Written by the signal handler, read by the notifier on the main thread.
int signalFds[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalFds[0], &byte, 1);
}

std::shared_ptr<QVExportItem> itemWithPath(const QString& path) {
    auto& manager = QVExportItemManager::sharedManager();
    for (const auto& item : manager.exportItems())
        if (item->originalPath() == path || item->fcpXMLPath() == path) return item;
    return nullptr;
}

// A row's text: views whose cells draw themselves answer it as a tool tip or
// for accessibility only.
bool rowHasText(const QModelIndex& index, const QString& text) {
    for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole)})
        if (index.data(role).toString() == text) return true;
    return false;
}

QModelIndex findRow(const QAbstractItemModel* model, const QModelIndex& parent,
                    const QString& text) {
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (rowHasText(index, text)) return index;
        const QModelIndex inner = findRow(model, index, text);
        if (inner.isValid()) return inner;
    }
    return {};
}

std::optional<QRect> actionRect(QWidget* widget, const QString& text) {
    const auto matches = [&text](const QAction* action) {
        return QString(action->text()).remove(QLatin1Char('&')) == text ||
               QVLumoMenu::actionName(action) == text;
    };
    for (QAction* action : widget->actions()) {
        if (!action->isVisible() || !matches(action)) continue;
        QRect local;
        if (auto* menu = qobject_cast<QMenu*>(widget)) local = menu->actionGeometry(action);
        if (auto* bar = qobject_cast<QMenuBar*>(widget)) local = bar->actionGeometry(action);
        if (!local.isEmpty()) return QRect(widget->mapToGlobal(local.topLeft()), local.size());
    }
    return std::nullopt;
}

// The part of widget the suffix names, in screen coordinates.
std::optional<QRect> partRect(QWidget* widget, QChar kind, const QString& text) {
    if (kind == QLatin1Char('@')) return actionRect(widget, text);
    auto* view = qobject_cast<QAbstractItemView*>(widget);
    if (kind != QLatin1Char('#')) return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    if (!view || !view->model()) return std::nullopt;
    const QModelIndex index = findRow(view->model(), {}, text);
    if (!index.isValid()) return std::nullopt;
    view->scrollTo(index);
    const QRect local = view->visualRect(index);
    if (local.isEmpty()) return std::nullopt;
    return QRect(view->viewport()->mapToGlobal(local.topLeft()), local.size());
}

}  // namespace

bool AgentAutomation::locate(const QString& locator, QRect* rect, quint64* windowId) {
    QString name = locator;
    QString windowName;
    QChar kind;
    QString part;
    const int mark = int(name.indexOf(QRegularExpression(QStringLiteral("[#@]"))));
    if (mark >= 0) {
        kind = name.at(mark);
        part = name.mid(mark + 1);
        name.truncate(mark);
    }
    const int slash = int(name.indexOf(QLatin1Char('/')));
    if (slash >= 0) {
        windowName = name.left(slash);
        name = name.mid(slash + 1);
    }
    QWidget* main = QVLumoWindow::mainWindow();
    const auto isNamed = [&](QWidget* widget) -> bool {
        if (name == QLatin1String("mainWindow")) return widget == main;
        if (!name.isEmpty()) return widget->objectName() == name;
        if (kind == QLatin1Char('@'))
            return qobject_cast<QMenu*>(widget) || qobject_cast<QMenuBar*>(widget);
        return qobject_cast<QAbstractItemView*>(widget) != nullptr;
    };
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        if (!windowName.isEmpty() && top->objectName() != windowName) continue;
        QList<QWidget*> candidates{top};
        candidates += top->findChildren<QWidget*>();
        for (QWidget* widget : candidates) {
            if (!widget->isVisible() || widget->window() != top) continue;
            if (!isNamed(widget)) continue;
            if (const auto found = partRect(widget, kind, part)) {
                *rect = *found;
                *windowId = quint64(top->winId());
                return true;
            }
        }
    }
    return false;
}

AgentAutomation::AgentAutomation(QObject* parent) : QObject(parent) {}

AgentAutomation::~AgentAutomation() = default;

void AgentAutomation::answerAlertsAutomatically() {
    QVAlertBox::setPresentationHook([](QVAlertBox* box) {
        std::fprintf(stderr, "Alert: %s\n", qPrintable(box->message()));
        std::fflush(stderr);
        switch (box->defaultButton()) {
            case QVAlertBox::OK:
                box->okAction();
                break;
            case QVAlertBox::Other:
                box->otherAction();
                break;
            default:
                // No default: the safe answer when there is a choice.
                if (box->cancelButtonString().isEmpty())
                    box->okAction();
                else
                    box->cancelAction();
        }
    });
}

bool AgentAutomation::installSignalHandlers() {
    if (signalFds[0] >= 0) return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) != 0) return false;
    notifier_ = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGUSR1}) ::sigaction(number, &action, nullptr);
    return true;
}

void AgentAutomation::readSignal() {
    char byte = 0;
    if (::read(signalFds[1], &byte, 1) != 1) return;
    if (byte == SIGUSR1) {
        if (screenshotPath_.isEmpty()) return;
        if (saveScreenshot(screenshotPath_))
            QVLog::log(QStringLiteral("Screenshot saved: %1").arg(screenshotPath_));
        else
            QVLog::log(QStringLiteral("Screenshot failed: %1").arg(screenshotPath_));
        return;
    }
    QCoreApplication::quit();
}

bool AgentAutomation::saveScreenshot(const QString& path) {
    const auto controller = AppDelegate::currentWindowController();
    QWidget* window = controller ? controller->window() : nullptr;
    if (!window) return false;
    if (!window->isVisible()) window->show();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return window->grab().save(path, "PNG");
}

void AgentAutomation::handleEvent(const AEDesc& event,
                                  const AppleEventServer::ReplyFunction& reply) {
    using namespace AECodes;
    if (!eventsEnabled_) return reply(ScriptingRuntime::errorReply(errAEEventNotHandled));
    const auto direct = event.paramDescriptorForKeyword(keyDirectObject);
    const QString path = direct ? direct->stringValue() : QString();
    if (path.isEmpty()) return reply(ScriptingRuntime::errorReply(errAEParamMissed));
    const AEDesc answer = AEDesc::appleEvent(kCoreEventClass, kAEAnswer);
    if (event.eventID() == kWhere) {
        QRect rect;
        quint64 windowId = 0;
        if (!locate(path, &rect, &windowId))
            return reply(ScriptingRuntime::errorReply(errAENoSuchObject));
        AEDesc found = answer;
        found.setParamDescriptor(AEDesc::unicodeText(QStringLiteral("%1 %2 %3 %4 %5")
                                                         .arg(rect.x())
                                                         .arg(rect.y())
                                                         .arg(rect.width())
                                                         .arg(rect.height())
                                                         .arg(windowId)),
                                 keyDirectObject);
        return reply(found);
    }
    if (event.eventID() == kSnap) {
        if (!saveScreenshot(path)) return reply(ScriptingRuntime::errorReply(errAEEventFailed));
        return reply(answer);
    }
    const auto controller = AppDelegate::currentWindowController();
    if (event.eventID() == kClick) {
        // The direct object names a button of the main window.
        QWidget* window = controller ? controller->window() : nullptr;
        auto* button = window ? window->findChild<QAbstractButton*>(path) : nullptr;
        if (!button) return reply(ScriptingRuntime::errorReply(errAENoSuchObject));
        button->click();
        return reply(answer);
    }
    if (event.eventID() != kRetry) return reply(ScriptingRuntime::errorReply(errAEEventNotHandled));
    const auto item = itemWithPath(path);
    if (!item || !controller) return reply(ScriptingRuntime::errorReply(errAENoSuchObject));
    // The same choice the list's retry command makes.
    if (!controller->retryExportItem(item))
        return reply(ScriptingRuntime::errorReply(errAEEventFailed));
    reply(answer);
}
