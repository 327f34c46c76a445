#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include "library/KeyedCoding.h"

// Writes a graph of KeyedCoding objects into a flat, property-list-safe
// QVariantMap:
//   {"$archiver": "RelaydockKeyedArchiver", "$version": 1, "$top": uid,
//    "$objects": [{"$class": name, key: value, ...}, ...]}
// An object reference is the map {"$uid": n}. Objects are numbered by
// identity and encoded from a work list, never by recursion, so graphs that
// are very deep or that contain cycles archive safely.
class KeyedArchiver {
  public:
    static QVariantMap archivedRootObject(const std::shared_ptr<const KeyedCoding>& root);
    // The archive as an XML property list.
    static QByteArray archivedDataWithRootObject(const std::shared_ptr<const KeyedCoding>& root);

    void encodeInt64(qint64 value, const QString& key);
    void encodeBool(bool value, const QString& key);
    // A null string is left out, so it decodes as null.
    void encodeString(const QString& value, const QString& key);
    // Plain property-list values; an invalid value is left out.
    void encodeValue(const QVariant& value, const QString& key);
    // A null pointer is left out.
    void encodeObject(const std::shared_ptr<const KeyedCoding>& object, const QString& key);

    template <class T>
    void encodeObjects(const QList<std::shared_ptr<T>>& objects, const QString& key) {
        QVariantList refs;
        refs.reserve(objects.size());
        for (const auto& object : objects)
            if (object) refs.append(reference(object));
        current_->insert(key, refs);
    }

    static const QString kUIDKey;

  private:
    KeyedArchiver() = default;
    QVariant reference(const std::shared_ptr<const KeyedCoding>& object);

    std::unordered_map<const KeyedCoding*, qint64> uids_;
    std::vector<std::shared_ptr<const KeyedCoding>> objects_;
    QVariantMap* current_ = nullptr;
};
