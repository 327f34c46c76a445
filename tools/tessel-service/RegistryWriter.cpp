#include "RegistryWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

#include "PlistWriter.h"
#include "ProjectTreeWriter.h"
#include "Seed.h"

namespace {

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool writeFile(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        return fail(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

}  // namespace

RegistryWriter::RegistryWriter(const Seed& seed, QString defaultAddress, int port)
    : seed_(seed), defaultAddress_(std::move(defaultAddress)), port_(port) {}

QString RegistryWriter::addressOf(const SeedLibrary& library) const {
    return library.address.isEmpty() ? defaultAddress_ : library.address;
}

QVariantMap RegistryWriter::libraryDictionary(const SeedLibrary& library) const {
    return {
        {QStringLiteral("dbname"), library.dbName},
        {QStringLiteral("name"), library.name},
        {QStringLiteral("desc"), library.desc},
        {QStringLiteral("packagefolder"), library.packageFolder},
        {QStringLiteral("mountpath"), library.mountPath},
        {QStringLiteral("type"), library.type},
        {QStringLiteral("address"), addressOf(library)},
        {QStringLiteral("port"), static_cast<qint64>(port_)},
        {QStringLiteral("shared"), library.shared},
    };
}

QString RegistryWriter::preferenceFolder(const QString& groupContainer) {
    return groupContainer + QStringLiteral("/Tessel/Preference");
}

QString RegistryWriter::defaultGroupContainer() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/group.com.corvane.pro");
}

bool RegistryWriter::createPackages(QString* error) const {
    for (const auto& library : seed_.libraries)
        if (!createPackage(library, error)) return false;
    return true;
}

bool RegistryWriter::createPackage(const SeedLibrary& library, QString* error) const {
    const QDir package(library.packageFolder);
    const QStringList folders = {
        QStringLiteral("Project"),
        QStringLiteral("Media/Master"),
        QStringLiteral("Media/Thumbnail"),
        QStringLiteral("Media/Preview"),
        QStringLiteral("Workflow"),
        QStringLiteral("Extra"),
        QStringLiteral("Database/") + library.dbName,
    };
    for (const QString& folder : folders)
        if (!package.mkpath(folder))
            return fail(error, QStringLiteral("cannot create %1").arg(package.filePath(folder)));
    if (!writeFile(package.filePath(QStringLiteral("library.plist")),
                   PlistWriter::document(libraryDictionary(library)), error))
        return false;
    QByteArray projects = PlistWriter::header() + "<dict><key>projects</key>";
    ProjectTreeWriter::appendPlist(projects, library);
    projects += "</dict>" + PlistWriter::footer();
    if (!writeFile(package.filePath(QStringLiteral("Project/project.plist")), projects, error))
        return false;
    return writeFile(
        package.filePath(QStringLiteral("Workflow/workflows.plist")),
        PlistWriter::document(QVariantMap{{QStringLiteral("workflows"), QVariantList{}}}), error);
}

bool RegistryWriter::writeRegistry(const QString& groupContainer, QString* error) const {
    const QString folder = preferenceFolder(groupContainer);
    if (!QDir().mkpath(folder)) return fail(error, QStringLiteral("cannot create %1").arg(folder));
    QVariantList local;
    QVariantList network;
    QVariantMap users;
    for (const auto& library : seed_.libraries) {
        QVariantMap entry = libraryDictionary(library);
        for (auto it = library.registryOverride.cbegin(); it != library.registryOverride.cend();
             ++it)
            entry.insert(it.key(), it.value());
        for (const QString& key : library.registryRemove) entry.remove(key);
        if (library.registry == QLatin1String("local"))
            local.append(entry);
        else if (library.registry == QLatin1String("network"))
            network.append(entry);
        if (!library.isLocal() && library.rememberUser && !library.users.empty()) {
            const SeedUser& user = library.users.front();
            users.insert(
                library.dbName,
                QVariantMap{{QStringLiteral("userid"), user.userId},
                            {QStringLiteral("userpassword"),
                             QString::fromLatin1(QCryptographicHash::hash(user.password.toUtf8(),
                                                                          QCryptographicHash::Md5)
                                                     .toHex()
                                                     .toUpper())}});
        }
    }
    const QVariantMap preference{{QStringLiteral("PREF_SERVICE_PORT"), static_cast<qint64>(port_)}};
    return writeFile(folder + QStringLiteral("/preference.plist"),
                     PlistWriter::document(preference), error) &&
           writeFile(folder + QStringLiteral("/localLibrary.plist"),
                     PlistWriter::document(QVariantMap{{QStringLiteral("library"), local}}),
                     error) &&
           writeFile(folder + QStringLiteral("/networkLibrary.plist"),
                     PlistWriter::document(QVariantMap{{QStringLiteral("library"), network}}),
                     error) &&
           writeFile(folder + QStringLiteral("/networkUsers.plist"), PlistWriter::document(users),
                     error);
}
