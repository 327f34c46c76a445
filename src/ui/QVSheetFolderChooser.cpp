#include "ui/QVSheetFolderChooser.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

namespace {
QVSheetFolderChooser::Provider& provider() {
    static QVSheetFolderChooser::Provider instance;
    return instance;
}
}  // namespace

void QVSheetFolderChooser::setProvider(Provider p) {
    provider() = std::move(p);
}

bool QVSheetFolderChooser::hasProvider() {
    return static_cast<bool>(provider());
}

QString QVSheetFolderChooser::startDirectory(const QString& remembered) {
    if (remembered.isEmpty()) return QString();
    const QFileInfo info(remembered);
    return info.exists() && info.isDir() ? info.absoluteFilePath() : QString();
}

void QVSheetFolderChooser::beginSheet(QWidget* parent, const Options& options,
                                      Completion completion) {
    if (provider()) {
        provider()(parent, options, std::move(completion));
        return;
    }
    auto* dialog = new QFileDialog(parent ? parent->window() : nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    // Links are followed to the folder they name, as aliases are resolved.
    dialog->setOption(QFileDialog::DontResolveSymlinks, false);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (!options.title.isEmpty()) dialog->setWindowTitle(options.title);
    if (!options.prompt.isEmpty()) dialog->setLabelText(QFileDialog::Accept, options.prompt);
    const QString start = startDirectory(options.directory);
    if (!start.isNull()) dialog->setDirectory(start);
    auto done = std::make_shared<Completion>(std::move(completion));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done](int result) {
        QString path;
        if (result == QDialog::Accepted) {
            const QStringList files = dialog->selectedFiles();
            if (!files.isEmpty()) path = QFileInfo(files.first()).canonicalFilePath();
            if (path.isEmpty() && !files.isEmpty()) path = files.first();
        }
        if (*done) {
            Completion call = std::move(*done);
            *done = nullptr;
            call(result == QDialog::Accepted && !path.isEmpty() ? path : QString());
        }
    });
    dialog->open();
}
