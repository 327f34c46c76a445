#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include "library/KeyedCoding.h"

// Reads archives written by KeyedArchiver. Decoding runs in two flat passes:
// first every object of the archive is made by its registered factory, then
// each one decodes its own keys. References are plain look-ups into the
// table, so deep graphs and cycles cost no native recursion, and a reference
// to a missing or foreign object decodes as null instead of failing.
class KeyedUnarchiver {
  public:
    using Factory = std::function<std::shared_ptr<KeyedCoding>()>;

    // Registers the factory used for archived objects of the given class.
    static void registerClass(const QString& className, Factory factory);

    // The root object, or null with a reason in *error when the archive is
    // malformed or names an unknown class.
    static std::shared_ptr<KeyedCoding> unarchiveRootObject(const QVariantMap& archive,
                                                            QString* error = nullptr);
    static std::shared_ptr<KeyedCoding> unarchiveObjectWithData(const QByteArray& data,
                                                                QString* error = nullptr);

    template <class T>
    static std::shared_ptr<T> unarchivedObjectOfClass(const QByteArray& data,
                                                      QString* error = nullptr) {
        return std::dynamic_pointer_cast<T>(unarchiveObjectWithData(data, error));
    }

    bool containsValueForKey(const QString& key) const;
    qint64 decodeInt64(const QString& key) const;    // 0 when absent
    bool decodeBool(const QString& key) const;       // false when absent
    QString decodeString(const QString& key) const;  // null when absent or not text
    QVariant decodeValue(const QString& key) const;
    std::shared_ptr<KeyedCoding> decodeObject(const QString& key) const;

    template <class T>
    std::shared_ptr<T> decodeObjectOfClass(const QString& key) const {
        return std::dynamic_pointer_cast<T>(decodeObject(key));
    }

    template <class T>
    QList<std::shared_ptr<T>> decodeObjectsOfClass(const QString& key) const {
        QList<std::shared_ptr<T>> result;
        const QVariantList refs = current_->value(key).toList();
        for (const QVariant& ref : refs)
            if (auto object = std::dynamic_pointer_cast<T>(resolve(ref))) result.append(object);
        return result;
    }

  private:
    KeyedUnarchiver() = default;
    std::shared_ptr<KeyedCoding> resolve(const QVariant& reference) const;

    std::vector<std::shared_ptr<KeyedCoding>> objects_;
    const QVariantMap* current_ = nullptr;
};
