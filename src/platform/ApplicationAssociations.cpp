#include "platform/GioSupport.h"  // first: glib before Qt
//
#include "platform/ApplicationAssociations.h"

#include <gio/gdesktopappinfo.h>

#include <QFile>
#include <QFileInfo>
#include <QSet>

using namespace GioSupport;

namespace {

ApplicationInfo describe(GAppInfo* app) {
    ApplicationInfo info;
    info.desktopId = QString::fromUtf8(g_app_info_get_id(app));
    info.displayName = QString::fromUtf8(g_app_info_get_display_name(app));
    info.icon = iconFromGIcon(g_app_info_get_icon(app));
    if (G_IS_DESKTOP_APP_INFO(app)) {
        const char* file = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app));
        if (file) info.filePath = QFile::decodeName(file);
    }
    if (info.displayName.isEmpty()) info.displayName = info.desktopId;
    return info;
}

// Takes a GList of GAppInfo, drops those hidden from menus and repeats.
QList<ApplicationInfo> takeList(GList* list) {
    QList<ApplicationInfo> result;
    QSet<QString> seen;
    for (GList* item = list; item; item = item->next) {
        GAppInfo* app = G_APP_INFO(item->data);
        if (!g_app_info_should_show(app)) continue;
        ApplicationInfo info = describe(app);
        if (seen.contains(info.desktopId)) continue;
        seen.insert(info.desktopId);
        result.append(std::move(info));
    }
    g_list_free_full(list, g_object_unref);
    return result;
}

}  // namespace

QString ApplicationAssociations::contentTypeForFile(const QString& path) {
    const QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    Ref<GFile> file(g_file_new_for_path(name.constData()));
    Ref<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                          G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    if (info) {
        const char* type = g_file_info_get_content_type(info.get());
        if (type && *type) return QString::fromUtf8(type);
    }
    return takeString(g_content_type_guess(name.constData(), nullptr, 0, nullptr));
}

// Whether an application declares a type that the content type is (a
// "video/quicktime" file is also an "application/octet-stream" one).
bool supportsType(GAppInfo* app, const char* type) {
    const char** supported = g_app_info_get_supported_types(app);
    for (int i = 0; supported && supported[i]; ++i)
        if (g_content_type_equals(type, supported[i]) || g_content_type_is_a(type, supported[i]))
            return true;
    return false;
}

// GIO answers from the mimeinfo.cache files that update-desktop-database
// writes; where that cache is missing or stale (hand-installed applications,
// systems without desktop-file-utils) the desktop files themselves still
// declare their types, so those are added after GIO's own list.
QList<ApplicationInfo> ApplicationAssociations::applicationsForFile(const QString& path) {
    const QByteArray type = contentTypeForFile(path).toUtf8();
    if (type.isEmpty()) return {};
    QList<ApplicationInfo> result = takeList(g_app_info_get_all_for_type(type.constData()));
    QSet<QString> listed;
    for (const auto& app : result) listed.insert(app.desktopId);
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next) {
        GAppInfo* app = G_APP_INFO(item->data);
        if (!g_app_info_should_show(app) || !supportsType(app, type.constData())) continue;
        ApplicationInfo info = describe(app);
        if (listed.contains(info.desktopId)) continue;
        listed.insert(info.desktopId);
        result.append(std::move(info));
    }
    g_list_free_full(all, g_object_unref);
    return result;
}

std::optional<ApplicationInfo> ApplicationAssociations::defaultApplicationForFile(
    const QString& path) {
    const QByteArray type = contentTypeForFile(path).toUtf8();
    if (type.isEmpty()) return std::nullopt;
    Ref<GAppInfo> app(g_app_info_get_default_for_type(type.constData(), FALSE));
    if (!app) return std::nullopt;
    return describe(app.get());
}

QList<ApplicationInfo> ApplicationAssociations::allApplications() {
    return takeList(g_app_info_get_all());
}
