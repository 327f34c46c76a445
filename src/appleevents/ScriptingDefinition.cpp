#include "appleevents/ScriptingDefinition.h"

#include <QFile>
#include <QXmlStreamReader>

#include "platform/QVLog.h"
#include "platform/Resources.h"

namespace {

QString camelKey(const QString& name) {
    // The default key of a property without a cocoa key, as Cocoa derives
    // it: "location info" -> "locationInfo".
    const QStringList words = name.split(' ', Qt::SkipEmptyParts);
    QString key;
    for (int i = 0; i < words.size(); ++i)
        key += i == 0 ? words[i] : words[i].left(1).toUpper() + words[i].mid(1);
    return key;
}

class Parser {
  public:
    explicit Parser(const QByteArray& xml) : xml_(xml) {}

    bool fail(const QString& why) {
        if (error_.isEmpty())
            error_ = QStringLiteral("line %1: %2").arg(xml_.lineNumber()).arg(why);
        return false;
    }
    QString error() const { return error_.isEmpty() ? xml_.errorString() : error_; }

    bool code(const QString& attribute, int length, quint32* out, quint32* second = nullptr) {
        const QString text = xml_.attributes().value(attribute).toString();
        if (text.size() != length)
            return fail(QStringLiteral("<%1> needs a %2-character %3, not \"%4\"")
                            .arg(xml_.name().toString())
                            .arg(length)
                            .arg(attribute, text));
        bool ok = false;
        *out = AECodes::fromString(text.left(4), &ok);
        if (ok && second) *second = AECodes::fromString(text.mid(4), &ok);
        if (!ok) return fail(QStringLiteral("code \"%1\" is not Latin-1").arg(text));
        return true;
    }

    QString attr(const char* name) const { return xml_.attributes().value(name).toString(); }

    // The <type type="..."/> children some elements use instead of a type
    // attribute.
    void childType(QString* type, bool* list) {
        if (xml_.name() == u"type") {
            *type = attr("type");
            *list = attr("list") == "yes";
        }
    }

    // Reads the children of the current element, handing <cocoa> and
    // <type> to the callbacks and the other elements to other.
    template <typename F>
    bool children(F&& other) {
        while (xml_.readNextStartElement()) {
            if (!other()) return false;
        }
        return !xml_.hasError();
    }

    bool property(ScriptPropertyDescription* p) {
        p->name = attr("name");
        p->type = attr("type");
        p->readOnly = attr("access") == "r";
        if (!code("code", 4, &p->code)) return false;
        bool list = false;
        if (!children([&] {
                if (xml_.name() == u"cocoa") p->cocoaKey = attr("key");
                childType(&p->type, &list);
                xml_.skipCurrentElement();
                return true;
            }))
            return false;
        if (p->cocoaKey.isEmpty()) p->cocoaKey = camelKey(p->name);
        return true;
    }

    bool parameter(ScriptParameterDescription* p) {
        p->name = attr("name");
        p->type = attr("type");
        p->optional = attr("optional") == "yes";
        if (xml_.name() == u"parameter" && !code("code", 4, &p->code)) return false;
        if (xml_.name() == u"direct-parameter") p->code = AECodes::keyDirectObject;
        return children([&] {
            if (xml_.name() == u"cocoa") p->cocoaKey = attr("key");
            childType(&p->type, &p->list);
            xml_.skipCurrentElement();
            return true;
        });
    }

    bool cls(ScriptClassDescription* c) {
        c->name = attr("name");
        c->inherits = attr("inherits");
        if (!code("code", 4, &c->code)) return false;
        return children([&] {
            if (xml_.name() == u"cocoa") {
                c->cocoaClass = attr("class");
                xml_.skipCurrentElement();
            } else if (xml_.name() == u"property") {
                ScriptPropertyDescription p;
                if (!property(&p)) return false;
                c->properties.append(p);
            } else if (xml_.name() == u"element") {
                ScriptElementDescription e;
                e.type = attr("type");
                if (!children([&] {
                        if (xml_.name() == u"cocoa") e.cocoaKey = attr("key");
                        xml_.skipCurrentElement();
                        return true;
                    }))
                    return false;
                if (e.cocoaKey.isEmpty()) e.cocoaKey = camelKey(e.type) + "s";
                c->elements.append(e);
            } else {
                xml_.skipCurrentElement();
            }
            return true;
        });
    }

    bool command(ScriptCommandDescription* cmd) {
        cmd->name = attr("name");
        if (!code("code", 8, &cmd->eventClass, &cmd->eventID)) return false;
        return children([&] {
            if (xml_.name() == u"cocoa") {
                cmd->cocoaClass = attr("class");
                xml_.skipCurrentElement();
            } else if (xml_.name() == u"direct-parameter") {
                ScriptParameterDescription p;
                if (!parameter(&p)) return false;
                cmd->directParameter = p;
            } else if (xml_.name() == u"parameter") {
                ScriptParameterDescription p;
                if (!parameter(&p)) return false;
                if (p.cocoaKey.isEmpty()) p.cocoaKey = camelKey(p.name);
                cmd->parameters.append(p);
            } else if (xml_.name() == u"result") {
                cmd->resultType = attr("type");
                bool list = false;
                children([&] {
                    childType(&cmd->resultType, &list);
                    xml_.skipCurrentElement();
                    return true;
                });
            } else {
                xml_.skipCurrentElement();
            }
            return true;
        });
    }

    bool parse(QList<ScriptClassDescription>& classes, QList<ScriptRecordTypeDescription>& records,
               QList<ScriptValueTypeDescription>& values,
               QList<ScriptCommandDescription>& commands) {
        if (!xml_.readNextStartElement() || xml_.name() != u"dictionary")
            return fail(QStringLiteral("the root element must be <dictionary>"));
        if (!children([&] {
                if (xml_.name() != u"suite") {
                    xml_.skipCurrentElement();
                    return true;
                }
                return children([&] {
                    const auto n = xml_.name();
                    if (n == u"class") {
                        ScriptClassDescription c;
                        if (!cls(&c)) return false;
                        classes.append(c);
                    } else if (n == u"record-type") {
                        ScriptRecordTypeDescription r;
                        r.name = attr("name");
                        if (!code("code", 4, &r.code)) return false;
                        if (!children([&] {
                                if (xml_.name() != u"property") {
                                    xml_.skipCurrentElement();
                                    return true;
                                }
                                ScriptPropertyDescription p;
                                if (!property(&p)) return false;
                                r.properties.append(p);
                                return true;
                            }))
                            return false;
                        records.append(r);
                    } else if (n == u"value-type") {
                        ScriptValueTypeDescription v;
                        v.name = attr("name");
                        if (!code("code", 4, &v.code)) return false;
                        if (!children([&] {
                                if (xml_.name() == u"cocoa") v.cocoaClass = attr("class");
                                xml_.skipCurrentElement();
                                return true;
                            }))
                            return false;
                        values.append(v);
                    } else if (n == u"command") {
                        ScriptCommandDescription c;
                        if (!command(&c)) return false;
                        commands.append(c);
                    } else {
                        xml_.skipCurrentElement();
                    }
                    return true;
                });
            }))
            return false;
        return !xml_.hasError();
    }

  private:
    QXmlStreamReader xml_;
    QString error_;
};

}  // namespace

const ScriptPropertyDescription* ScriptClassDescription::propertyWithCode(quint32 c) const {
    for (const auto& p : properties)
        if (p.code == c) return &p;
    return nullptr;
}

const ScriptPropertyDescription* ScriptClassDescription::propertyWithKey(const QString& key) const {
    for (const auto& p : properties)
        if (p.cocoaKey == key) return &p;
    return nullptr;
}

const ScriptElementDescription* ScriptClassDescription::elementWithType(const QString& cls) const {
    for (const auto& e : elements)
        if (e.type == cls) return &e;
    return nullptr;
}

const ScriptElementDescription* ScriptClassDescription::elementWithKey(const QString& key) const {
    for (const auto& e : elements)
        if (e.cocoaKey == key) return &e;
    return nullptr;
}

const ScriptParameterDescription* ScriptCommandDescription::parameterWithCode(quint32 c) const {
    for (const auto& p : parameters)
        if (p.code == c) return &p;
    return nullptr;
}

std::optional<ScriptingDefinition> ScriptingDefinition::parse(const QByteArray& xml,
                                                              QString* error) {
    ScriptingDefinition def;
    Parser parser(xml);
    if (!parser.parse(def.classes_, def.recordTypes_, def.valueTypes_, def.commands_)) {
        if (error) *error = parser.error();
        return std::nullopt;
    }
    return def;
}

const ScriptingDefinition& ScriptingDefinition::relaydock() {
    static const ScriptingDefinition def = [] {
        Resources::ensureLoaded();
        QFile file(":/Relaydock.sdef");
        QString error;
        std::optional<ScriptingDefinition> parsed;
        if (file.open(QIODevice::ReadOnly)) parsed = parse(file.readAll(), &error);
        if (!parsed) {
            QVLog::log(QStringLiteral("Cannot read the scripting definition: %1").arg(error));
            return ScriptingDefinition();
        }
        return *parsed;
    }();
    return def;
}

const ScriptClassDescription* ScriptingDefinition::classWithName(const QString& name) const {
    for (const auto& c : classes_)
        if (c.name == name) return &c;
    return nullptr;
}

const ScriptClassDescription* ScriptingDefinition::classWithCode(quint32 code) const {
    for (const auto& c : classes_)
        if (c.code == code) return &c;
    return nullptr;
}

const ScriptClassDescription* ScriptingDefinition::classWithCocoaClass(const QString& cc) const {
    for (const auto& c : classes_)
        if (c.cocoaClass == cc) return &c;
    return nullptr;
}

const ScriptRecordTypeDescription* ScriptingDefinition::recordTypeWithName(const QString& n) const {
    for (const auto& r : recordTypes_)
        if (r.name == n) return &r;
    return nullptr;
}

const ScriptRecordTypeDescription* ScriptingDefinition::recordTypeWithCode(quint32 code) const {
    for (const auto& r : recordTypes_)
        if (r.code == code) return &r;
    return nullptr;
}

const ScriptValueTypeDescription* ScriptingDefinition::valueTypeWithName(const QString& n) const {
    for (const auto& v : valueTypes_)
        if (v.name == n) return &v;
    return nullptr;
}

const ScriptCommandDescription* ScriptingDefinition::commandFor(AEEventClass ec,
                                                                AEEventID id) const {
    for (const auto& c : commands_)
        if (c.eventClass == ec && c.eventID == id) return &c;
    return nullptr;
}

// Inheritance chains are walked at most a few dozen steps, so a definition
// whose classes inherit in a circle cannot hang a lookup.
static constexpr int kMaxInheritance = 32;

const ScriptPropertyDescription* ScriptingDefinition::propertyOfClass(
    const ScriptClassDescription& cls, quint32 code) const {
    const ScriptClassDescription* c = &cls;
    for (int i = 0; c && i < kMaxInheritance; ++i, c = classWithName(c->inherits))
        if (const auto* p = c->propertyWithCode(code)) return p;
    return nullptr;
}

const ScriptElementDescription* ScriptingDefinition::elementOfClass(
    const ScriptClassDescription& cls, const QString& elementClass) const {
    const ScriptClassDescription* c = &cls;
    for (int i = 0; c && i < kMaxInheritance; ++i, c = classWithName(c->inherits))
        if (const auto* e = c->elementWithType(elementClass)) return e;
    return nullptr;
}

const ScriptElementDescription* ScriptingDefinition::elementOfClassWithKey(
    const ScriptClassDescription& cls, const QString& key) const {
    const ScriptClassDescription* c = &cls;
    for (int i = 0; c && i < kMaxInheritance; ++i, c = classWithName(c->inherits))
        if (const auto* e = c->elementWithKey(key)) return e;
    return nullptr;
}
