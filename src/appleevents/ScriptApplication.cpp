#include "appleevents/ScriptApplication.h"

#include "appleevents/ObjectSpecifier.h"

QVariant ScriptApplication::valueForKey(const QString& key) const {
    if (key == QLatin1String("name")) return name_;
    return {};
}

QList<std::shared_ptr<ScriptableObject>> ScriptApplication::elementsForKey(
    const QString& key) const {
    if (key == QLatin1String("orderedDocuments") && documents_) return documents_();
    return {};
}

std::optional<ObjectSpecifier> ScriptApplication::objectSpecifier() const {
    return ObjectSpecifier();
}
