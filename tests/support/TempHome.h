#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG folders (config, data, cache, runtime) at a fresh
// temporary folder for the lifetime of the object, and restores the previous
// values afterwards. Also resets the cached user defaults.
class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return dir_.path(); }
    QString configHome() const { return path() + "/config"; }
    QString dataHome() const { return path() + "/data"; }
    QString cacheHome() const { return path() + "/cache"; }
    QString runtimeDir() const { return path() + "/runtime"; }
    // The shared application-group container under the data home.
    QString groupContainer() const;

  private:
    QTemporaryDir dir_;
    QMap<QByteArray, QByteArray> saved_;
    QList<QByteArray> unset_;
};
