#include "appleevents/ScriptableObject.h"

#include "appleevents/ObjectSpecifier.h"

ScriptableObject::~ScriptableObject() = default;

QVariant ScriptableObject::valueForKey(const QString&) const {
    return {};
}

bool ScriptableObject::setValueForKey(const QString&, const QVariant&) {
    return false;
}

QList<std::shared_ptr<ScriptableObject>> ScriptableObject::elementsForKey(const QString&) const {
    return {};
}

bool ScriptableObject::insertElementForKey(const QString&, std::shared_ptr<ScriptableObject>, int) {
    return false;
}

QString ScriptableObject::uniqueIDForScripting() const {
    return {};
}

std::optional<ObjectSpecifier> ScriptableObject::objectSpecifier() const {
    return std::nullopt;
}
