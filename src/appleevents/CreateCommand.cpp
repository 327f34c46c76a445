#include "appleevents/CreateCommand.h"

#include "appleevents/ObjectSpecifier.h"
#include "appleevents/ScriptApplication.h"
#include "appleevents/ScriptableObject.h"
#include "appleevents/ScriptingDefinition.h"
#include "appleevents/ScriptingRuntime.h"

using namespace AECodes;

QVariant CreateCommand::performDefaultImplementation() {
    auto fail = [this](int number, const QString& text) {
        setScriptErrorNumber(number);
        setScriptErrorString(text);
        return QVariant();
    };
    ScriptingRuntime* rt = runtime();
    if (!rt) return fail(errAEEventFailed, QStringLiteral("No scripting runtime."));
    const ScriptingDefinition& def = rt->definition();
    const QVariantMap args = evaluatedArguments();
    if (!args.contains("ObjectClass"))
        return fail(errAEParamMissed, QStringLiteral("No object class specified."));
    const quint32 code = quint32(args.value("ObjectClass").toLongLong());
    const ScriptClassDescription* cls = def.classWithCode(code);
    if (!cls)
        return fail(errOSACantCreate,
                    QStringLiteral("Can't make class '%1'.").arg(AECodes::toString(code)));
    const auto factory = rt->objectFactory(cls->cocoaClass);
    std::shared_ptr<ScriptableObject> object = factory ? factory() : nullptr;
    if (!object) return fail(errOSACantCreate, QStringLiteral("Can't make a %1.").arg(cls->name));

    const QVariantMap properties = args.value("KeyDictionary").toMap();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it) {
        if (!object->setValueForKey(it.key(), it.value()))
            return fail(errAEEventFailed,
                        QStringLiteral("Can't set %1 of the new %2.").arg(it.key(), cls->name));
    }

    std::shared_ptr<ScriptableObject> container;
    int error = errAENoSuchObject;
    const QVariant location = args.value("Location");
    if (location.canConvert<ObjectSpecifier>() && location.isValid())
        container = location.value<ObjectSpecifier>().evaluate(rt->application(), &error);
    else
        container = rt->application();
    if (!container) return fail(error, QStringLiteral("Can't get the container."));
    const auto* containerClass = def.classWithCocoaClass(container->scriptingClassName());
    const auto* element = containerClass ? def.elementOfClass(*containerClass, cls->name) : nullptr;
    if (!element || !container->insertElementForKey(element->cocoaKey, object, -1))
        return fail(errOSACantCreate,
                    QStringLiteral("Can't make or move that element into that container."));
    const auto specifier = object->objectSpecifier();
    if (!specifier)
        return fail(errAEEventFailed, QStringLiteral("The new %1 has no name.").arg(cls->name));
    return QVariant::fromValue(*specifier);
}
