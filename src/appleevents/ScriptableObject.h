#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QString>
#include <QVariant>

class ObjectSpecifier;

// What the scripting runtime needs from an object that scripts address: its
// class (the "cocoa class" of the scripting definition), key-value access to
// its properties and elements, and how to name it again.
class ScriptableObject : public std::enable_shared_from_this<ScriptableObject> {
  public:
    virtual ~ScriptableObject();

    virtual QString scriptingClassName() const = 0;
    // An invalid QVariant means the object has no such key.
    virtual QVariant valueForKey(const QString& key) const;
    virtual bool setValueForKey(const QString& key, const QVariant& value);
    virtual QList<std::shared_ptr<ScriptableObject>> elementsForKey(const QString& key) const;
    // Inserts at index (from 0), or at the end for -1. False when the key
    // holds no elements of this kind.
    virtual bool insertElementForKey(const QString& key, std::shared_ptr<ScriptableObject> element,
                                     int index);
    virtual QString uniqueIDForScripting() const;
    virtual std::optional<ObjectSpecifier> objectSpecifier() const;
};
