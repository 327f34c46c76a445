#include "platform/GioSupport.h"  // first: glib before Qt
//
#include "platform/Workspace.h"

#include <gio/gdesktopappinfo.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>
#include <QUrl>

#include "platform/QVLog.h"

using namespace GioSupport;

namespace {

// The file manager answers at once or not at all; the main thread does not
// wait longer than this for it.
constexpr int kRevealTimeoutMs = 1500;

QByteArray fileUri(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

bool launchDefault(const QByteArray& uri) {
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.constData(), nullptr, &error)) return true;
    QVLog::log(QStringLiteral("Cannot open %1: %2").arg(QString::fromUtf8(uri), takeError(error)));
    return false;
}

// A program chosen by path. GIO reads the command line as a desktop file's
// Exec value: field codes first ("%%" is one "%"), then shell words. So the
// path is shell-quoted as one word and its "%" doubled, or a path with
// spaces or quotes would run another program with stray arguments.
GAppInfo* commandLineApplication(const QByteArray& program) {
    gchar* quoted = g_shell_quote(program.constData());
    const QByteArray commandLine = QByteArray(quoted).replace("%", "%%");
    g_free(quoted);
    const QByteArray name = QFileInfo(QFile::decodeName(program)).fileName().toUtf8();
    GError* error = nullptr;
    GAppInfo* app = g_app_info_create_from_commandline(commandLine.constData(), name.constData(),
                                                       G_APP_INFO_CREATE_NONE, &error);
    if (!app)
        QVLog::log(
            QStringLiteral("Cannot use %1: %2").arg(QFile::decodeName(program), takeError(error)));
    return app;
}

GAppInfo* applicationFor(const QString& desktopIdOrPath) {
    const QByteArray name = desktopIdOrPath.toUtf8();
    if (!desktopIdOrPath.startsWith(QLatin1Char('/')))
        return G_APP_INFO(g_desktop_app_info_new(name.constData()));
    const QByteArray file = QFile::encodeName(desktopIdOrPath);
    if (desktopIdOrPath.endsWith(QLatin1String(".desktop")))
        return G_APP_INFO(g_desktop_app_info_new_from_filename(file.constData()));
    if (!QFileInfo(desktopIdOrPath).isExecutable()) return nullptr;
    return commandLineApplication(file);
}

QIcon genericFileIcon(bool folder) {
    const QIcon themed =
        QIcon::fromTheme(folder ? QStringLiteral("folder") : QStringLiteral("text-x-generic"));
    if (!themed.isNull()) return themed;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return app->style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
    return QIcon();
}

QIcon iconForMimeType(const QMimeType& type) {
    if (type.isValid()) {
        for (const QString& name : {type.iconName(), type.genericIconName()}) {
            if (!name.isEmpty() && QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
        }
        if (type.name() == QLatin1String("inode/directory")) return genericFileIcon(true);
    }
    return genericFileIcon(false);
}

}  // namespace

bool Workspace::openFile(const QString& path) {
    if (!QFileInfo::exists(path)) return false;
    return launchDefault(fileUri(path));
}

bool Workspace::openFileWithApplication(const QString& path, const QString& desktopId) {
    if (!QFileInfo::exists(path) || desktopId.isEmpty()) return false;
    Ref<GAppInfo> app(applicationFor(desktopId));
    if (!app) {
        QVLog::log(QStringLiteral("No application %1").arg(desktopId));
        return false;
    }
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    Ref<GFile> target(g_file_new_for_path(file.constData()));
    GList files{target.get(), nullptr, nullptr};
    GError* error = nullptr;
    if (g_app_info_launch(app.get(), &files, nullptr, &error)) return true;
    QVLog::log(QStringLiteral("Cannot open %1 with %2: %3").arg(path, desktopId, takeError(error)));
    return false;
}

bool Workspace::revealInFileManager(const QStringList& paths) {
    QStringList uris;
    for (const QString& path : paths)
        if (QFileInfo::exists(path)) uris.append(QString::fromUtf8(fileUri(path)));
    if (uris.isEmpty()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << uris << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, kRevealTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage) return true;
    }
    // No file manager service: open the folder that holds the first item.
    return launchDefault(fileUri(QFileInfo(paths.first()).absolutePath()));
}

bool Workspace::openUrl(const QString& url) {
    const QUrl parsed(url);
    if (!parsed.isValid() || parsed.scheme().isEmpty()) return false;
    return launchDefault(parsed.toEncoded());
}

QIcon Workspace::iconForFileType(const QString& extension) {
    QMimeDatabase mime;
    const QString name = QStringLiteral("file.") + extension;
    return iconForMimeType(mime.mimeTypeForFile(name, QMimeDatabase::MatchExtension));
}

QIcon Workspace::iconForFile(const QString& path) {
    QMimeDatabase mime;
    return iconForMimeType(mime.mimeTypeForFile(path));
}
