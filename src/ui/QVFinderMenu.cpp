#include "ui/QVFinderMenu.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>

#include "platform/ApplicationAssociations.h"
#include "platform/Localization.h"
#include "platform/QVLog.h"
#include "platform/Workspace.h"
#include "ui/kit/QVLumoMenu.h"

namespace {

QVFinderMenu::ApplicationChooser& chooserHook() {
    static QVFinderMenu::ApplicationChooser chooser;
    return chooser;
}

QVFinderMenu::Opener& openerHook() {
    static QVFinderMenu::Opener opener;
    return opener;
}

// Where applications live on this system: their desktop files.
QString applicationsFolder() {
    return QStringLiteral("/usr/share/applications");
}

void chooseApplication(QWidget* parent, const QString& title, const QString& prompt,
                       std::function<void(const QString&)> completion) {
    if (chooserHook()) {
        chooserHook()(parent, title, prompt, std::move(completion));
        return;
    }
    auto* dialog = new QFileDialog(parent, title, applicationsFolder());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, true);
    dialog->setLabelText(QFileDialog::Accept, prompt);
    // One answer only, whether the dialog is accepted, rejected or closed.
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog, answered, completion](int result) {
                         if (*answered) return;
                         *answered = true;
                         const QStringList files = dialog->selectedFiles();
                         completion(result == QDialog::Accepted && !files.isEmpty()
                                        ? QFileInfo(files.first()).canonicalFilePath()
                                        : QString());
                     });
    dialog->open();
}

}  // namespace

void QVFinderMenu::setApplicationChooser(ApplicationChooser chooser) {
    chooserHook() = std::move(chooser);
}

void QVFinderMenu::setOpener(Opener opener) {
    openerHook() = std::move(opener);
}

std::unique_ptr<QVFinderMenu> QVFinderMenu::finderMenuWithPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) return nullptr;
    return std::unique_ptr<QVFinderMenu>(new QVFinderMenu(path));
}

QVLumoMenu* QVFinderMenu::openWithMenu() {
    return openWithMenuItemForFile(path_);
}

QVLumoMenu* QVFinderMenu::openWithMenuItemForFile(const QString& path) {
    auto* menu = new QVLumoMenu();
    const QList<ApplicationInfo> applications = ApplicationAssociations::applicationsForFile(path);
    if (applications.isEmpty()) return menu;
    const int count = int(qMin<qsizetype>(applications.size(), kMaxApplications));

    const auto defaultApplication = ApplicationAssociations::defaultApplicationForFile(path);
    if (defaultApplication && !defaultApplication->desktopId.isEmpty()) {
        menuItemForOpenWithForApplication(
            menu, defaultApplication->displayName + QStringLiteral(" (default)"),
            defaultApplication->desktopId, defaultApplication->icon);
        menu->addSeparator();
        QSet<QString> titles;
        for (int i = 0; i < count; ++i) {
            const ApplicationInfo& app = applications.at(i);
            // Only applications that can be launched by id are offered.
            if (app.desktopId.isEmpty()) continue;
            QString title = app.displayName;
            if (titles.contains(title)) title += QStringLiteral(" (%1)").arg(app.desktopId);
            menuItemForOpenWithForApplication(menu, title, app.desktopId, app.icon);
            titles.insert(title);
        }
        if (count != 0) menu->addSeparator();
    } else {
        QAction* none = menu->addItem(QStringLiteral("<None>"));
        none->setEnabled(false);
        menu->addSeparator();
    }

    QAction* other = menu->addItem(QStringLiteral("Other\u2026"),
                                   QStringLiteral("openWithApplicationOtherSelected:"));
    connect(other, &QAction::triggered, this,
            [this, other] { openWithApplicationOtherSelected(other); });
    return menu;
}

QAction* QVFinderMenu::menuItemForOpenWithForApplication(QVLumoMenu* menu, const QString& title,
                                                         const QString& application,
                                                         const QIcon& icon) {
    QAction* item = menu->addItem(title, QStringLiteral("openWithApplicationSelected:"));
    QVLumoMenu::setRepresentedObject(item, application);
    if (!icon.isNull()) item->setIcon(QIcon(icon.pixmap(QSize(20, 20))));
    connect(item, &QAction::triggered, this, [this, item] { openWithApplicationSelected(item); });
    return item;
}

void QVFinderMenu::openWithApplicationSelected(QObject* sender) {
    auto* item = qobject_cast<QAction*>(sender);
    if (!item) {
        QVLog::log(QStringLiteral("Sender should be nsmenuitem"));
        return;
    }
    const QString application = QVLumoMenu::representedObject(item).toString();
    if (application.isEmpty()) {
        QVLog::log(QStringLiteral("Could get app path from nsmenuitem represented object"));
        return;
    }
    openSelectedFileWithApplication(application);
}

void QVFinderMenu::openWithApplicationOtherSelected(QObject* sender) {
    (void)sender;
    QPointer<QVFinderMenu> self(this);
    chooseApplication(
        openPanelParentWindow_,
        Localization::localizedString(QStringLiteral("import.openpanel.app.select.title")),
        Localization::localizedString(QStringLiteral("import.openpanel.app.open")),
        [self](const QString& application) {
            if (!self || application.isEmpty()) return;
            self->openSelectedFileWithApplication(application);
        });
}

bool QVFinderMenu::openSelectedFileWithApplication(const QString& application) {
    if (openerHook()) return openerHook()(path_, application);
    return Workspace::openFileWithApplication(path_, application);
}
