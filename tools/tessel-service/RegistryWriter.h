#pragma once

#include <QString>
#include <QVariantMap>

class Seed;
struct SeedLibrary;

// Lays out what the service owns on disk: every library's package folder and
// the registry property lists in <group container>/Tessel/Preference.
class RegistryWriter {
  public:
    RegistryWriter(const Seed& seed, QString defaultAddress, int port);

    // The library's dictionary form, as registry entries and "items" carry it.
    QVariantMap libraryDictionary(const SeedLibrary& library) const;
    QString addressOf(const SeedLibrary& library) const;

    bool createPackages(QString* error) const;
    bool writeRegistry(const QString& groupContainer, QString* error) const;

    static QString preferenceFolder(const QString& groupContainer);
    // $XDG_DATA_HOME/group.com.corvane.pro, as the agent derives it.
    static QString defaultGroupContainer();

  private:
    bool createPackage(const SeedLibrary& library, QString* error) const;

    const Seed& seed_;
    QString defaultAddress_;
    int port_;
};
