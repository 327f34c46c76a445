#pragma once

#include <memory>
#include <mutex>

#include <QSettings>
#include <QString>
#include <QVariant>

// The agent's own settings, in $XDG_CONFIG_HOME/Corvane/Relaydock.conf.
class UserDefaults {
  public:
    static UserDefaults& standardUserDefaults();

    QVariant objectForKey(const QString& key);
    QString stringForKey(const QString& key);  // null when absent or not text
    bool boolForKey(const QString& key);       // false when absent
    qint64 integerForKey(const QString& key);  // 0 when absent
    void setObject(const QVariant& value, const QString& key);
    void setBool(bool value, const QString& key);
    void removeObjectForKey(const QString& key);
    bool synchronize();
    // Drops the cached settings object so the next access reads the file at
    // the current $XDG_CONFIG_HOME (tests switch homes).
    void reset();

  private:
    QSettings& settings();

    std::recursive_mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};
