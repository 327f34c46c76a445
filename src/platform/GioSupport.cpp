#include "platform/GioSupport.h"

namespace GioSupport {

QString takeString(gchar* text) {
    if (!text) return QString();
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString takeError(GError* error) {
    if (!error) return QString();
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message;
}

QIcon iconFromGIcon(GIcon* icon) {
    if (!icon) return QIcon();
    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        for (int i = 0; names && names[i]; ++i) {
            const QString name = QString::fromUtf8(names[i]);
            if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
        }
        if (names && names[0]) return QIcon::fromTheme(QString::fromUtf8(names[0]));
        return QIcon();
    }
    if (G_IS_FILE_ICON(icon)) {
        GFile* file = g_file_icon_get_file(G_FILE_ICON(icon));
        const QString path = takeString(g_file_get_path(file));
        if (!path.isEmpty()) return QIcon(path);
    }
    return QIcon();
}

}  // namespace GioSupport
