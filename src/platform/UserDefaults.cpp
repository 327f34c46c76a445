#include "platform/UserDefaults.h"

#include <QDir>

// The file is named from the environment at first use rather than through
// QSettings' own user-scope lookup, which is resolved once per process and
// would ignore a later change of $XDG_CONFIG_HOME. The format is the native
// one of this platform (INI), so the file is the one QSettings("Corvane",
// "Relaydock") would use.
namespace {

QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) home = QDir::homePath();
    return home + QStringLiteral("/.config");
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
    static UserDefaults defaults;
    return defaults;
}

QSettings& UserDefaults::settings() {
    if (!settings_) {
        const QString path = configHome() + QStringLiteral("/Corvane/Relaydock.conf");
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return *settings_;
}

QVariant UserDefaults::objectForKey(const QString& key) {
    std::lock_guard lock(mutex_);
    return settings().value(key);
}

QString UserDefaults::stringForKey(const QString& key) {
    const QVariant value = objectForKey(key);
    switch (value.typeId()) {
        case QMetaType::QString:
            return value.toString();
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Bool:
        case QMetaType::QByteArray:
            return value.toString();
        default:
            return QString();
    }
}

bool UserDefaults::boolForKey(const QString& key) {
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        return text == QLatin1String("true") || text == QLatin1String("yes") ||
               text.toLongLong() != 0;
    }
    return value.isValid() && value.toBool();
}

qint64 UserDefaults::integerForKey(const QString& key) {
    const QVariant value = objectForKey(key);
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text == QLatin1String("true")) return 1;
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        if (ok) return n;
        return qint64(text.toDouble());
    }
    return value.toLongLong();
}

void UserDefaults::setObject(const QVariant& value, const QString& key) {
    std::lock_guard lock(mutex_);
    if (!value.isValid())
        settings().remove(key);
    else
        settings().setValue(key, value);
}

void UserDefaults::setBool(bool value, const QString& key) {
    setObject(QVariant(value), key);
}

void UserDefaults::removeObjectForKey(const QString& key) {
    std::lock_guard lock(mutex_);
    settings().remove(key);
}

bool UserDefaults::synchronize() {
    std::lock_guard lock(mutex_);
    settings().sync();
    return settings().status() == QSettings::NoError;
}

void UserDefaults::reset() {
    std::lock_guard lock(mutex_);
    if (settings_) settings_->sync();
    settings_.reset();
}
