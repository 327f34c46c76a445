#pragma once

#include <memory>
#include <optional>

#include <QMetaType>
#include <QString>

#include "appleevents/AEDesc.h"

class ScriptableObject;
class ScriptingDefinition;

// A reference to an object or property, as scripts name them: the
// application, an element by unique ID or by index within its container's
// elements of one key, or a property of a container. Convertible to and from
// 'obj ' descriptors by the scripting definition's codes.
class ObjectSpecifier {
  public:
    enum class Form { Application, UniqueID, Index, Property };

    ObjectSpecifier();  // the application
    // containerClass is the definition's class name of the container
    // ("document"); container is its own specifier.
    static ObjectSpecifier uniqueID(const QString& containerClass, const ObjectSpecifier& container,
                                    const QString& key, const QString& uniqueID);
    static ObjectSpecifier index(const QString& containerClass, const ObjectSpecifier& container,
                                 const QString& key, int index);
    static ObjectSpecifier property(const QString& containerClass, const ObjectSpecifier& container,
                                    const QString& key);

    Form form() const { return form_; }
    QString key() const { return key_; }
    QString containerClassName() const { return containerClass_; }
    const ObjectSpecifier* containerSpecifier() const { return container_.get(); }
    QString uniqueIDValue() const { return uniqueID_; }
    int indexValue() const { return index_; }

    // The definition's class name of what this designates ("application" for
    // the application); empty for properties or unknown keys.
    QString className(const ScriptingDefinition& def) const;

    // The 'obj ' descriptor ('null' for the application); nothing when the
    // definition does not know the classes or keys involved.
    std::optional<AEDesc> descriptor(const ScriptingDefinition& def) const;
    // Reads a descriptor; errorNumber gets -1728 for an unknown class, key
    // or form, and -1701 for a malformed record.
    static std::optional<ObjectSpecifier> fromDescriptor(const AEDesc& desc,
                                                         const ScriptingDefinition& def,
                                                         int* errorNumber = nullptr);

    // The object designated (for the property form: the container holding
    // the property); nullptr and -1728 when there is none.
    std::shared_ptr<ScriptableObject> evaluate(const std::shared_ptr<ScriptableObject>& application,
                                               int* errorNumber = nullptr) const;

    QString description() const;
    bool operator==(const ObjectSpecifier& other) const;

  private:
    Form form_ = Form::Application;
    QString containerClass_;
    std::shared_ptr<const ObjectSpecifier> container_;
    QString key_;
    QString uniqueID_;
    int index_ = 0;
};

Q_DECLARE_METATYPE(ObjectSpecifier)
