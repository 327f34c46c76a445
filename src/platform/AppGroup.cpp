#include "platform/AppGroup.h"

#include <QDir>

#include "platform/PropertyList.h"
#include "platform/Resources.h"

namespace {
const char* const kApplicationGroupsKey = "com.apple.security.application-groups";
}

QString AppGroup::entitlementIdentifier() {
    Resources::ensureLoaded();
    const auto entitlements = PropertyList::readFile(QStringLiteral(":/entitlements.plist"));
    if (!entitlements || entitlements->typeId() != QMetaType::QVariantMap) return QString();
    const QVariantList groups = entitlements->toMap().value(kApplicationGroupsKey).toList();
    if (groups.isEmpty() || groups.first().typeId() != QMetaType::QString) return QString();
    const QString identifier = groups.first().toString();
    return identifier.isEmpty() ? QString() : identifier;
}

QString AppGroup::fallbackIdentifier() {
    return QStringLiteral("group.com.corvane.pro");
}

QString AppGroup::containerPath(const QString& identifier) {
    // The identifier names one folder; anything that would climb out of the
    // data home is refused.
    if (identifier.isEmpty() || identifier.contains(QLatin1Char('/')) ||
        identifier == QLatin1String(".") || identifier == QLatin1String(".."))
        return QString();
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome)) {
        QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty()) home = QDir::homePath();
        if (home.isEmpty() || home == QLatin1String("/")) return QString();
        dataHome = home + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(dataHome + QLatin1Char('/') + identifier);
}
