#include "appleevents/ObjectSpecifier.h"

#include "appleevents/ScriptableObject.h"
#include "appleevents/ScriptingDefinition.h"

using namespace AECodes;

namespace {
const QString kApplicationClass = QStringLiteral("application");
constexpr int kMaxContainerDepth = 32;
}  // namespace

ObjectSpecifier::ObjectSpecifier() = default;

ObjectSpecifier ObjectSpecifier::uniqueID(const QString& containerClass,
                                          const ObjectSpecifier& container, const QString& key,
                                          const QString& uniqueID) {
    ObjectSpecifier s;
    s.form_ = Form::UniqueID;
    s.containerClass_ = containerClass;
    s.container_ = std::make_shared<const ObjectSpecifier>(container);
    s.key_ = key;
    s.uniqueID_ = uniqueID;
    return s;
}

ObjectSpecifier ObjectSpecifier::index(const QString& containerClass,
                                       const ObjectSpecifier& container, const QString& key,
                                       int index) {
    ObjectSpecifier s = uniqueID(containerClass, container, key, {});
    s.form_ = Form::Index;
    s.index_ = index;
    return s;
}

ObjectSpecifier ObjectSpecifier::property(const QString& containerClass,
                                          const ObjectSpecifier& container, const QString& key) {
    ObjectSpecifier s = uniqueID(containerClass, container, key, {});
    s.form_ = Form::Property;
    return s;
}

QString ObjectSpecifier::className(const ScriptingDefinition& def) const {
    if (form_ == Form::Application) return kApplicationClass;
    if (form_ == Form::Property) return {};
    const auto* container = def.classWithName(containerClass_);
    if (!container) return {};
    const auto* element = def.elementOfClassWithKey(*container, key_);
    return element ? element->type : QString();
}

std::optional<AEDesc> ObjectSpecifier::descriptor(const ScriptingDefinition& def) const {
    if (form_ == Form::Application) return AEDesc::nullDescriptor();
    const auto from = container_->descriptor(def);
    const auto* container = def.classWithName(containerClass_);
    if (!from || !container) return std::nullopt;
    AEDesc obj = AEDesc::recordDescriptor(typeObjectSpecifier);
    if (form_ == Form::Property) {
        const ScriptPropertyDescription* prop = nullptr;
        for (const ScriptClassDescription* c = container; c && !prop;
             c = c->inherits.isEmpty() ? nullptr : def.classWithName(c->inherits))
            prop = c->propertyWithKey(key_);
        if (!prop) return std::nullopt;
        obj.setDescriptor(AEDesc::typeCode(cProperty), keyAEDesiredClass);
        obj.setDescriptor(*from, keyAEContainer);
        obj.setDescriptor(AEDesc::enumCode(formPropertyID), keyAEKeyForm);
        obj.setDescriptor(AEDesc::typeCode(prop->code), keyAEKeyData);
        return obj;
    }
    const auto* element = def.classWithName(className(def));
    if (!element) return std::nullopt;
    obj.setDescriptor(AEDesc::typeCode(element->code), keyAEDesiredClass);
    obj.setDescriptor(*from, keyAEContainer);
    if (form_ == Form::UniqueID) {
        obj.setDescriptor(AEDesc::enumCode(formUniqueID), keyAEKeyForm);
        obj.setDescriptor(AEDesc::unicodeText(uniqueID_), keyAEKeyData);
    } else {
        obj.setDescriptor(AEDesc::enumCode(formAbsolutePosition), keyAEKeyForm);
        obj.setDescriptor(AEDesc::int32(index_), keyAEKeyData);
    }
    return obj;
}

static std::optional<ObjectSpecifier> readSpecifier(const AEDesc& desc,
                                                    const ScriptingDefinition& def, int depth,
                                                    int* errorNumber) {
    auto fail = [&](int number) -> std::optional<ObjectSpecifier> {
        if (errorNumber) *errorNumber = number;
        return std::nullopt;
    };
    if (desc.isNull()) return ObjectSpecifier();
    if (depth > kMaxContainerDepth) return fail(errAENoSuchObject);
    if (!desc.isRecord() || desc.descriptorType() != typeObjectSpecifier)
        return fail(errAENoSuchObject);
    const auto want = desc.descriptorForKeyword(keyAEDesiredClass);
    const auto from = desc.descriptorForKeyword(keyAEContainer);
    const auto form = desc.descriptorForKeyword(keyAEKeyForm);
    const auto seld = desc.descriptorForKeyword(keyAEKeyData);
    if (!want || !from || !form || !seld) return fail(errAEDescNotFound);
    const auto container = readSpecifier(*from, def, depth + 1, errorNumber);
    if (!container) return std::nullopt;
    const QString containerClassName = container->className(def);
    const auto* containerClass = def.classWithName(containerClassName);
    if (!containerClass) return fail(errAENoSuchObject);

    const quint32 formCode = form->typeCodeValue();
    if (formCode == formPropertyID) {
        const auto* prop = def.propertyOfClass(*containerClass, seld->typeCodeValue());
        if (!prop) return fail(errAENoSuchObject);
        return ObjectSpecifier::property(containerClassName, *container, prop->cocoaKey);
    }
    const auto* wanted = def.classWithCode(want->typeCodeValue());
    const auto* element = wanted ? def.elementOfClass(*containerClass, wanted->name) : nullptr;
    if (!element) return fail(errAENoSuchObject);
    if (formCode == formUniqueID) {
        const QString id = seld->stringValue();
        if (id.isNull()) return fail(errAENoSuchObject);
        return ObjectSpecifier::uniqueID(containerClassName, *container, element->cocoaKey, id);
    }
    if (formCode == formAbsolutePosition) {
        if (!seld->coerceToDescriptorType(typeSInt32)) return fail(errAENoSuchObject);
        return ObjectSpecifier::index(containerClassName, *container, element->cocoaKey,
                                      seld->int32Value());
    }
    return fail(errAENoSuchObject);
}

std::optional<ObjectSpecifier> ObjectSpecifier::fromDescriptor(const AEDesc& desc,
                                                               const ScriptingDefinition& def,
                                                               int* errorNumber) {
    return readSpecifier(desc, def, 0, errorNumber);
}

std::shared_ptr<ScriptableObject> ObjectSpecifier::evaluate(
    const std::shared_ptr<ScriptableObject>& application, int* errorNumber) const {
    auto fail = [&]() -> std::shared_ptr<ScriptableObject> {
        if (errorNumber) *errorNumber = errAENoSuchObject;
        return nullptr;
    };
    if (form_ == Form::Application) return application ? application : fail();
    auto container = container_->evaluate(application, errorNumber);
    if (!container) return nullptr;
    if (form_ == Form::Property) return container;
    const auto elements = container->elementsForKey(key_);
    if (form_ == Form::UniqueID) {
        for (const auto& e : elements)
            if (e && e->uniqueIDForScripting() == uniqueID_) return e;
        return fail();
    }
    const qsizetype n = elements.size();
    const qsizetype i = index_ > 0 ? index_ - 1 : n + index_;
    if (index_ == 0 || i < 0 || i >= n) return fail();
    return elements[i];
}

QString ObjectSpecifier::description() const {
    switch (form_) {
        case Form::Application:
            return QStringLiteral("application");
        case Form::UniqueID:
            return QStringLiteral("%1 with id \"%2\" of %3")
                .arg(key_, uniqueID_, container_->description());
        case Form::Index:
            return QStringLiteral("%1 %2 of %3")
                .arg(key_)
                .arg(index_)
                .arg(container_->description());
        case Form::Property:
            return QStringLiteral("%1 of %2").arg(key_, container_->description());
    }
    return {};
}

bool ObjectSpecifier::operator==(const ObjectSpecifier& other) const {
    if (form_ != other.form_ || containerClass_ != other.containerClass_ || key_ != other.key_ ||
        uniqueID_ != other.uniqueID_ || index_ != other.index_)
        return false;
    if (!container_ || !other.container_) return container_ == other.container_;
    return *container_ == *other.container_;
}
