#include "library/KeyedUnarchiver.h"

#include <map>
#include <mutex>

#include "library/KeyedArchiver.h"
#include "platform/PropertyList.h"

namespace {

struct ClassRegistry {
    std::mutex mutex;
    std::map<QString, KeyedUnarchiver::Factory> factories;
};

ClassRegistry& classRegistry() {
    static ClassRegistry registry;
    return registry;
}

void setError(QString* error, const QString& text) {
    if (error) *error = text;
}

}  // namespace

void KeyedUnarchiver::registerClass(const QString& className, Factory factory) {
    auto& registry = classRegistry();
    std::lock_guard lock(registry.mutex);
    registry.factories[className] = std::move(factory);
}

std::shared_ptr<KeyedCoding> KeyedUnarchiver::unarchiveRootObject(const QVariantMap& archive,
                                                                  QString* error) {
    const QVariant objectsValue = archive.value("$objects");
    const QVariant top = archive.value("$top");
    if (objectsValue.typeId() != QMetaType::QVariantList) {
        setError(error, QStringLiteral("archive has no object table"));
        return nullptr;
    }
    const QVariantList entries = objectsValue.toList();
    if (!top.isValid()) {
        if (entries.isEmpty()) return nullptr;  // an archived null root
        setError(error, QStringLiteral("archive has no root object"));
        return nullptr;
    }
    bool ok = false;
    const qint64 topUID = top.toLongLong(&ok);
    if (!ok || topUID < 0 || topUID >= entries.size()) {
        setError(error, QStringLiteral("archive root is out of range"));
        return nullptr;
    }

    KeyedUnarchiver unarchiver;
    std::vector<QVariantMap> maps;
    maps.reserve(size_t(entries.size()));
    {
        auto& registry = classRegistry();
        std::lock_guard lock(registry.mutex);
        for (const QVariant& entry : entries) {
            if (entry.typeId() != QMetaType::QVariantMap) {
                setError(error, QStringLiteral("archive entry is not a dictionary"));
                return nullptr;
            }
            QVariantMap map = entry.toMap();
            const QString className = map.value("$class").toString();
            auto it = registry.factories.find(className);
            if (it == registry.factories.end()) {
                setError(error, QStringLiteral("unknown archived class \"%1\"").arg(className));
                return nullptr;
            }
            unarchiver.objects_.push_back(it->second());
            maps.push_back(std::move(map));
        }
    }
    for (size_t i = 0; i < maps.size(); ++i) {
        unarchiver.current_ = &maps[i];
        unarchiver.objects_[i]->initWithCoder(unarchiver);
    }
    unarchiver.current_ = nullptr;
    return unarchiver.objects_[size_t(topUID)];
}

std::shared_ptr<KeyedCoding> KeyedUnarchiver::unarchiveObjectWithData(const QByteArray& data,
                                                                      QString* error) {
    QString readError;
    const std::optional<QVariant> value = PropertyList::read(data, &readError);
    if (!value || value->typeId() != QMetaType::QVariantMap) {
        setError(error,
                 readError.isEmpty() ? QStringLiteral("archive is not a dictionary") : readError);
        return nullptr;
    }
    return unarchiveRootObject(value->toMap(), error);
}

bool KeyedUnarchiver::containsValueForKey(const QString& key) const {
    return current_->contains(key);
}

qint64 KeyedUnarchiver::decodeInt64(const QString& key) const {
    return current_->value(key).toLongLong();
}

bool KeyedUnarchiver::decodeBool(const QString& key) const {
    const QVariant value = current_->value(key);
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    return value.toLongLong() != 0;
}

QString KeyedUnarchiver::decodeString(const QString& key) const {
    const QVariant value = current_->value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QVariant KeyedUnarchiver::decodeValue(const QString& key) const {
    return current_->value(key);
}

std::shared_ptr<KeyedCoding> KeyedUnarchiver::decodeObject(const QString& key) const {
    return resolve(current_->value(key));
}

std::shared_ptr<KeyedCoding> KeyedUnarchiver::resolve(const QVariant& reference) const {
    if (reference.typeId() != QMetaType::QVariantMap) return nullptr;
    bool ok = false;
    const qint64 uid = reference.toMap().value(KeyedArchiver::kUIDKey).toLongLong(&ok);
    if (!ok || uid < 0 || uid >= qint64(objects_.size())) return nullptr;
    return objects_[size_t(uid)];
}
