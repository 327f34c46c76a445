#include "library/QVPreferenceManager.h"

#include "platform/UserDefaults.h"

namespace {
constexpr const char* kLastSelectedLibrary = "PREF_LIBRARY_LAST_SELECTED";
constexpr const char* kLastSelectedProject = "PREF_PROJECT_LAST_SELECTED";
constexpr const char* kDefaultLibrary = "PREF_LIBRARY_DEFAULT_LIBRARY";
constexpr const char* kDefaultProject = "PREF_LIBRARY_DEFAULT_PROJECT";
constexpr const char* kUseDefault = "PREF_LIBRARY_USE_DEFAULT";
constexpr const char* kFCPXMLOnly = "PREF_EXPORT_FCPXML_ONLY";
constexpr const char* kStoreTo = "PREF_EXPORT_STORE_TO";
constexpr const char* kStoreToPath = "PREF_STORE_TO_PATH";
constexpr const char* kNotifications = "PREF_NOTIFICATIONS_ENABLED";
}  // namespace

QVPreferenceManager& QVPreferenceManager::sharedManager() {
    static QVPreferenceManager* instance = new QVPreferenceManager();  // never destroyed
    return *instance;
}

QVPreferenceManager::QVPreferenceManager() : userDefaults_(&UserDefaults::standardUserDefaults()) {}

void QVPreferenceManager::setUserDefaults(UserDefaults* userDefaults) {
    userDefaults_.store(userDefaults ? userDefaults : &UserDefaults::standardUserDefaults());
}

QString QVPreferenceManager::identifier(const char* key) const {
    const QVariant value = userDefaults()->objectForKey(QString::fromLatin1(key));
    if (!value.isValid() || value.isNull()) return QString();
    return value.toString();
}

void QVPreferenceManager::setIdentifier(const QString& value, const char* key) {
    UserDefaults* store = userDefaults();
    if (value.isNull()) {
        // Removal is written out with the next synchronize of the store.
        store->removeObjectForKey(QString::fromLatin1(key));
        return;
    }
    store->setObject(value, QString::fromLatin1(key));
    store->synchronize();
}

bool QVPreferenceManager::flag(const char* key) const {
    return userDefaults()->boolForKey(QString::fromLatin1(key));
}

void QVPreferenceManager::setFlag(bool value, const char* key) {
    UserDefaults* store = userDefaults();
    store->setBool(value, QString::fromLatin1(key));
    store->synchronize();
}

QString QVPreferenceManager::lastSelectedLibraryID() const {
    return identifier(kLastSelectedLibrary);
}
void QVPreferenceManager::setLastSelectedLibraryID(const QString& libraryID) {
    setIdentifier(libraryID, kLastSelectedLibrary);
}
QString QVPreferenceManager::lastSelectedProjectID() const {
    return identifier(kLastSelectedProject);
}
void QVPreferenceManager::setLastSelectedProjectID(const QString& projectID) {
    setIdentifier(projectID, kLastSelectedProject);
}
QString QVPreferenceManager::defaultLibraryID() const {
    return identifier(kDefaultLibrary);
}
void QVPreferenceManager::setDefaultLibraryID(const QString& libraryID) {
    setIdentifier(libraryID, kDefaultLibrary);
}
QString QVPreferenceManager::defaultProjectID() const {
    return identifier(kDefaultProject);
}
void QVPreferenceManager::setDefaultProjectID(const QString& projectID) {
    setIdentifier(projectID, kDefaultProject);
}

bool QVPreferenceManager::useDefaultLibrary() const {
    return flag(kUseDefault);
}
void QVPreferenceManager::setUseDefaultLibrary(bool useDefault) {
    setFlag(useDefault, kUseDefault);
}
bool QVPreferenceManager::exportFCPXMLOnly() const {
    return flag(kFCPXMLOnly);
}
void QVPreferenceManager::setExportFCPXMLOnly(bool fcpxmlOnly) {
    setFlag(fcpxmlOnly, kFCPXMLOnly);
}
bool QVPreferenceManager::storeTo() const {
    return flag(kStoreTo);
}
void QVPreferenceManager::setStoreTo(bool storeTo) {
    setFlag(storeTo, kStoreTo);
}

QString QVPreferenceManager::storeToPath() const {
    return identifier(kStoreToPath);
}

void QVPreferenceManager::setStoreToPath(const QString& path) {
    UserDefaults* store = userDefaults();
    if (path.isNull())
        store->removeObjectForKey(QString::fromLatin1(kStoreToPath));
    else
        store->setObject(path, QString::fromLatin1(kStoreToPath));
    store->synchronize();
}

bool QVPreferenceManager::notificationsEnabled() const {
    const QVariant value = userDefaults()->objectForKey(QString::fromLatin1(kNotifications));
    if (!value.isValid() || value.isNull()) return true;
    return flag(kNotifications);
}

void QVPreferenceManager::setNotificationsEnabled(bool enabled) {
    setFlag(enabled, kNotifications);
}
