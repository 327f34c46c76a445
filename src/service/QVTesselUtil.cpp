#include "service/QVTesselUtil.h"

#include "platform/AppGroup.h"
#include "platform/PropertyList.h"

namespace {

// Joins a path component the way path APIs do: exactly one slash between
// the two, whatever trailing or leading slashes they carry.
QString appendingPathComponent(const QString& base, const QString& component) {
    if (base.isNull()) return {};
    QString head = base;
    while (head.size() > 1 && head.endsWith(QLatin1Char('/'))) head.chop(1);
    QString tail = component;
    while (tail.startsWith(QLatin1Char('/'))) tail.remove(0, 1);
    if (head.isEmpty()) return tail;
    if (head == QLatin1String("/")) return head + tail;
    return head + QLatin1Char('/') + tail;
}

// Appends as plain text: the caller's text already holds its slash.
QString appendingText(const QString& base, const char* text) {
    if (base.isNull()) return {};
    return base + QLatin1String(text);
}

QString containerPath() {
    QString identifier = QVTesselUtil::groupIdentifier();
    if (identifier.isEmpty()) identifier = AppGroup::fallbackIdentifier();
    return AppGroup::containerPath(identifier);
}

}  // namespace

QVTesselUtil& QVTesselUtil::sharedInstance() {
    static QVTesselUtil instance;
    return instance;
}

QString QVTesselUtil::groupIdentifier() {
    return AppGroup::entitlementIdentifier();
}

QString QVTesselUtil::corvaneSupportTesselFolder() {
    return appendingPathComponent(containerPath(), QStringLiteral("Tessel"));
}

QString QVTesselUtil::corvaneSupportPreferenceFolder() {
    return appendingText(corvaneSupportTesselFolder(), "/Preference");
}

QString QVTesselUtil::localLibraryPlist() {
    return appendingText(corvaneSupportPreferenceFolder(), "/localLibrary.plist");
}

QString QVTesselUtil::networkLibraryPlist() {
    return appendingText(corvaneSupportPreferenceFolder(), "/networkLibrary.plist");
}

QString QVTesselUtil::networkUserPlist() {
    return appendingText(corvaneSupportPreferenceFolder(), "/networkUsers.plist");
}

QString QVTesselUtil::preferencePlist() {
    return appendingText(corvaneSupportPreferenceFolder(), "/preference.plist");
}

QString QVTesselUtil::userPlist() {
    return appendingText(corvaneSupportPreferenceFolder(), "/users.plist");
}

QString QVTesselUtil::relaydockFolder() {
    return appendingPathComponent(containerPath(), QStringLiteral("Relaydock"));
}

QString QVTesselUtil::relaydockThumbnailFolder() {
    return appendingPathComponent(relaydockFolder(), QStringLiteral("Caches"));
}

QString QVTesselUtil::libraryPlistWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("library.plist"));
}

QString QVTesselUtil::projectFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("Project"));
}

QString QVTesselUtil::projectPlistWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(projectFolderWithPackageFolder(packageFolder),
                                  QStringLiteral("project.plist"));
}

QString QVTesselUtil::mediaFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("Media"));
}

QString QVTesselUtil::assetMasterFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(mediaFolderWithPackageFolder(packageFolder),
                                  QStringLiteral("Master"));
}

QString QVTesselUtil::assetThumbnailFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(mediaFolderWithPackageFolder(packageFolder),
                                  QStringLiteral("Thumbnail"));
}

QString QVTesselUtil::assetPreviewFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(mediaFolderWithPackageFolder(packageFolder),
                                  QStringLiteral("Preview"));
}

QString QVTesselUtil::workflowFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("Workflow"));
}

QString QVTesselUtil::workflowPlistWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(workflowFolderWithPackageFolder(packageFolder),
                                  QStringLiteral("workflows.plist"));
}

QString QVTesselUtil::extraFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("Extra"));
}

QString QVTesselUtil::dbFolderWithPackageFolder(const QString& packageFolder) {
    return appendingPathComponent(packageFolder, QStringLiteral("Database"));
}

QString QVTesselUtil::relativeMasterPath() {
    return QStringLiteral("/Media/Master/");
}

QString QVTesselUtil::relativeThumbnailPath() {
    return QStringLiteral("/Media/Thumbnail/");
}

qint64 QVTesselUtil::servicePort() {
    const QString path = preferencePlist();
    if (path.isNull()) return kDefaultServicePort;
    const auto plist = PropertyList::readFile(path);
    if (!plist || plist->typeId() != QMetaType::QVariantMap) return kDefaultServicePort;
    const QVariantMap preferences = plist->toMap();
    const auto it = preferences.constFind(QStringLiteral("PREF_SERVICE_PORT"));
    if (it == preferences.constEnd()) return kDefaultServicePort;
    // A value that cannot be a TCP port (a date, text without digits, 0)
    // would only make every local request fail; the default is the port the
    // service listens on when it has none configured.
    const auto port = integerReading(*it);
    if (!port || *port < 1 || *port > 65535) return kDefaultServicePort;
    return *port;
}

QString QVTesselUtil::sanitizeFileNameString(const QString& name) {
    if (name.isNull()) return {};
    static const QString forbidden = QStringLiteral("/\\?%*|\"<>:");
    QString safe = name;
    for (QChar& c : safe) {
        // Control characters too: the export list cannot carry most of them
        // (XML), so a path holding one would no longer match its file after
        // a restart, and a line break in a file name misleads every log.
        if (forbidden.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('_');
    }
    return safe;
}
