#pragma once

#include <optional>

#include <QList>
#include <QString>

#include "appleevents/AECodes.h"

// One property of a class or record type: its terminology name, code, value
// type (a type name of the definition: "text", "boolean", "file", a record
// type or value type name, ...) and the key under which objects hold it.
struct ScriptPropertyDescription {
    QString name;
    quint32 code = 0;
    QString type;
    QString cocoaKey;
    bool readOnly = false;
};

struct ScriptElementDescription {
    QString type;  // class name of the elements
    QString cocoaKey;
};

struct ScriptClassDescription {
    QString name;
    quint32 code = 0;
    QString cocoaClass;
    QString inherits;
    QList<ScriptPropertyDescription> properties;
    QList<ScriptElementDescription> elements;

    const ScriptPropertyDescription* propertyWithCode(quint32 code) const;
    const ScriptPropertyDescription* propertyWithKey(const QString& key) const;
    const ScriptElementDescription* elementWithType(const QString& className) const;
    const ScriptElementDescription* elementWithKey(const QString& key) const;
};

struct ScriptRecordTypeDescription {
    QString name;
    quint32 code = 0;
    QList<ScriptPropertyDescription> properties;
};

struct ScriptValueTypeDescription {
    QString name;
    quint32 code = 0;
    QString cocoaClass;
};

struct ScriptParameterDescription {
    QString name;
    quint32 code = 0;
    QString type;
    QString cocoaKey;
    bool optional = false;
    bool list = false;
};

struct ScriptCommandDescription {
    QString name;
    AEEventClass eventClass = 0;
    AEEventID eventID = 0;
    QString cocoaClass;  // empty: handled by the runtime itself
    std::optional<ScriptParameterDescription> directParameter;
    QList<ScriptParameterDescription> parameters;
    QString resultType;

    const ScriptParameterDescription* parameterWithCode(quint32 code) const;
};

// The scripting definition (an sdef XML document): suites of classes, record
// types, value types and commands with their four-character codes and the
// keys the objects use.
class ScriptingDefinition {
  public:
    // Parses the XML; on failure returns nothing and tells why (the element
    // or attribute at fault and its line).
    static std::optional<ScriptingDefinition> parse(const QByteArray& xml,
                                                    QString* error = nullptr);
    // The agent's own definition, compiled in as ":/Relaydock.sdef".
    static const ScriptingDefinition& relaydock();

    const QList<ScriptClassDescription>& classes() const { return classes_; }
    const ScriptClassDescription* classWithName(const QString& name) const;
    const ScriptClassDescription* classWithCode(quint32 code) const;
    const ScriptClassDescription* classWithCocoaClass(const QString& cocoaClass) const;
    const ScriptRecordTypeDescription* recordTypeWithName(const QString& name) const;
    const ScriptRecordTypeDescription* recordTypeWithCode(quint32 code) const;
    const ScriptValueTypeDescription* valueTypeWithName(const QString& name) const;
    const ScriptCommandDescription* commandFor(AEEventClass eventClass, AEEventID eventID) const;
    const QList<ScriptCommandDescription>& commands() const { return commands_; }

    // Class lookups that include what a class inherits.
    const ScriptPropertyDescription* propertyOfClass(const ScriptClassDescription& cls,
                                                     quint32 code) const;
    const ScriptElementDescription* elementOfClass(const ScriptClassDescription& cls,
                                                   const QString& elementClass) const;
    const ScriptElementDescription* elementOfClassWithKey(const ScriptClassDescription& cls,
                                                          const QString& key) const;

  private:
    QList<ScriptClassDescription> classes_;
    QList<ScriptRecordTypeDescription> recordTypes_;
    QList<ScriptValueTypeDescription> valueTypes_;
    QList<ScriptCommandDescription> commands_;
};
