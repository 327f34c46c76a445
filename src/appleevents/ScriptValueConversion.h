#pragma once

#include <optional>

#include <QString>
#include <QVariant>

#include "appleevents/AEDesc.h"

class ScriptingDefinition;
struct ScriptClassDescription;
struct ScriptPropertyDescription;

// Converts values between descriptors and objects by the scripting
// definition's type names: "text" <-> 'utxt', "boolean" <-> 'bool',
// "integer" <-> 'long', "real" <-> 'doub', "file" <-> 'furl', "type" <->
// class codes, "specifier" and "location specifier" <-> 'obj ', record
// types by their properties, value types whose class is a dictionary or
// an array through the user-defined record and list conversions, "record"
// by the properties of a class, and "any" by what the value is.
class ScriptValueConversion {
  public:
    explicit ScriptValueConversion(const ScriptingDefinition& definition);

    // Nothing when the value cannot take that type.
    std::optional<AEDesc> descriptorForValue(const QVariant& value, const QString& type) const;
    // cls gives the property keys of a "record" (the properties of a make).
    std::optional<QVariant> valueForDescriptor(const AEDesc& desc, const QString& type,
                                               const ScriptClassDescription* cls = nullptr) const;

  private:
    std::optional<AEDesc> recordFor(const QVariantMap& map, DescType recordType,
                                    const QList<ScriptPropertyDescription>& properties) const;
    std::optional<QVariantMap> mapFor(const AEDesc& record,
                                      const QList<ScriptPropertyDescription>& properties) const;
    QList<ScriptPropertyDescription> allProperties(const ScriptClassDescription& cls) const;

    const ScriptingDefinition& def_;
};
