#include "appleevents/GetCommand.h"

#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptableObject.h"
#include "appleevents/ScriptingDefinition.h"
#include "appleevents/ScriptingRuntime.h"

using namespace AECodes;

QVariant GetCommand::performDefaultImplementation() {
    auto fail = [this](int number, const QString& text) {
        setScriptErrorNumber(number);
        setScriptErrorString(text);
        return QVariant();
    };
    ScriptingRuntime* rt = runtime();
    const QVariant direct = directParameter();
    if (!rt || !direct.canConvert<ObjectSpecifier>() || !direct.isValid())
        return fail(errAEParamMissed, QStringLiteral("Nothing to get."));
    const ObjectSpecifier specifier = direct.value<ObjectSpecifier>();
    int error = errAENoSuchObject;
    const auto object = specifier.evaluate(rt->application(), &error);
    if (!object) return fail(error, QStringLiteral("Can't get %1.").arg(specifier.description()));
    if (specifier.form() != ObjectSpecifier::Form::Property) {
        const auto own = object->objectSpecifier();
        if (!own) return fail(errAENoSuchObject, QStringLiteral("Can't get the reference."));
        return QVariant::fromValue(*own);
    }

    const ScriptingDefinition& def = rt->definition();
    const ScriptPropertyDescription* prop = nullptr;
    const ScriptClassDescription* cls = def.classWithCocoaClass(object->scriptingClassName());
    for (int i = 0; cls && !prop && i < 32; ++i) {
        prop = cls->propertyWithKey(specifier.key());
        cls = cls->inherits.isEmpty() ? nullptr : def.classWithName(cls->inherits);
    }
    const QVariant value = prop ? object->valueForKey(specifier.key()) : QVariant();
    if (!value.isValid())
        return fail(errAENoSuchObject,
                    QStringLiteral("Can't get %1.").arg(specifier.description()));
    const auto converted = rt->conversion().descriptorForValue(value, prop->type);
    if (!converted)
        return fail(errAECoercionFail,
                    QStringLiteral("Can't make %1 into type %2.").arg(specifier.key(), prop->type));
    return QVariant::fromValue(*converted);
}
