#pragma once

#include <atomic>

#include <QString>

class UserDefaults;

// The agent's own settings, typed, over the user-defaults store. Nothing is
// cached here: every getter reads the store afresh.
class QVPreferenceManager {
  public:
    static QVPreferenceManager& sharedManager();

    // The store behind the settings (the standard user defaults unless set).
    UserDefaults* userDefaults() const { return userDefaults_.load(); }
    void setUserDefaults(UserDefaults* userDefaults);

    // Identifiers: a null value removes the key without writing to disk.
    QString lastSelectedLibraryID() const;
    void setLastSelectedLibraryID(const QString& libraryID);
    QString lastSelectedProjectID() const;
    void setLastSelectedProjectID(const QString& projectID);
    QString defaultLibraryID() const;
    void setDefaultLibraryID(const QString& libraryID);
    QString defaultProjectID() const;
    void setDefaultProjectID(const QString& projectID);

    bool useDefaultLibrary() const;
    void setUseDefaultLibrary(bool useDefault);
    bool exportFCPXMLOnly() const;
    void setExportFCPXMLOnly(bool fcpxmlOnly);
    // false: media inside the library; true: media at storeToPath().
    bool storeTo() const;
    void setStoreTo(bool storeTo);
    // A null path removes the key; the store is written either way.
    QString storeToPath() const;
    void setStoreToPath(const QString& path);

    // Desktop notifications of finished and failed exports; on unless the
    // user turned them off.
    bool notificationsEnabled() const;
    void setNotificationsEnabled(bool enabled);

    QVPreferenceManager();

  private:
    QString identifier(const char* key) const;
    void setIdentifier(const QString& value, const char* key);
    bool flag(const char* key) const;
    void setFlag(bool value, const char* key);

    std::atomic<UserDefaults*> userDefaults_;
};
