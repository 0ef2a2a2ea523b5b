#include "Checker.h"

#include "MofError.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>

namespace mof {

namespace {

std::string keyOf(const std::string& nameSpace, std::string_view name) {
    std::string key = lowered(nameSpace);
    key += '\n';
    key += lowered(name);
    return key;
}

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

const char* kindName(Value::Kind kind) {
    switch (kind) {
    case Value::Kind::Null:
        return "null";
    case Value::Kind::Boolean:
        return "a boolean";
    case Value::Kind::Integer:
        return "an integer";
    case Value::Kind::Real:
        return "a real number";
    case Value::Kind::String:
        return "a string";
    case Value::Kind::Char:
        return "a character";
    case Value::Kind::Alias:
        return "an alias";
    case Value::Kind::Instance:
        return "an embedded instance";
    case Value::Kind::Array:
        return "an array";
    }
    return "a value";
}

std::string shown(const Value& value) {
    switch (value.kind) {
    case Value::Kind::Boolean:
        return value.boolean ? "true" : "false";
    case Value::Kind::Integer:
        return (value.negative ? "-" : "") + std::to_string(value.magnitude);
    case Value::Kind::Real: {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", value.real);
        return text;
    }
    case Value::Kind::String:
        return "\"" + (value.text.size() > 40 ? value.text.substr(0, 37) + "..." : value.text) +
               "\"";
    case Value::Kind::Char:
        return "character " + std::to_string(static_cast<unsigned>(value.character));
    case Value::Kind::Alias:
        return "$" + value.text;
    case Value::Kind::Instance:
        return "instance of " + value.instance->className;
    default:
        return kindName(value.kind);
    }
}

bool fitsInteger(const Value& value, Type type) {
    if (value.negative) {
        switch (type) {
        case Type::Sint8:
            return value.magnitude <= 128;
        case Type::Sint16:
            return value.magnitude <= 32768;
        case Type::Sint32:
            return value.magnitude <= 2147483648u;
        case Type::Sint64:
            return value.magnitude <= 9223372036854775808u;
        default:
            return false;
        }
    }
    switch (type) {
    case Type::Sint8:
        return value.magnitude <= 127;
    case Type::Uint8:
        return value.magnitude <= 255;
    case Type::Sint16:
        return value.magnitude <= 32767;
    case Type::Uint16:
        return value.magnitude <= 65535;
    case Type::Sint32:
        return value.magnitude <= 2147483647;
    case Type::Uint32:
        return value.magnitude <= 4294967295u;
    case Type::Sint64:
        return value.magnitude <= 9223372036854775807u;
    default:
        return true;
    }
}

bool isDigitOrStar(char c) {
    return (c >= '0' && c <= '9') || c == '*';
}

// yyyymmddhhmmss.mmmmmmsutc (a point in time) or ddddddddhhmmss.mmmmmm:000 (an interval); '*'
// stands for digits that are not significant.
bool isDatetime(const std::string& text) {
    if (text.size() != 25 || text[14] != '.')
        return false;
    for (size_t i = 0; i < 21; ++i)
        if (i != 14 && !isDigitOrStar(text[i]))
            return false;
    if (text[21] == ':')
        return text.compare(22, 3, "000") == 0;
    if (text[21] != '+' && text[21] != '-')
        return false;
    return isDigitOrStar(text[22]) && isDigitOrStar(text[23]) && isDigitOrStar(text[24]);
}

bool isTrue(const Qualifier& qualifier) {
    return qualifier.value.kind == Value::Kind::Boolean && qualifier.value.boolean;
}

const Qualifier* findQualifier(const QualifierList& list, std::string_view name) {
    for (const Qualifier& qualifier : list)
        if (equalsNoCase(qualifier.name, name))
            return &qualifier;
    return nullptr;
}

bool sameValue(const Value& a, const Value& b) {
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Value::Kind::Null:
        return true;
    case Value::Kind::Boolean:
        return a.boolean == b.boolean;
    case Value::Kind::Integer:
        return a.negative == b.negative && a.magnitude == b.magnitude;
    case Value::Kind::Real:
        return a.real == b.real;
    case Value::Kind::Char:
        return a.character == b.character;
    case Value::Kind::String:
    case Value::Kind::Alias:
        return a.text == b.text;
    case Value::Kind::Array:
        if (a.elements.size() != b.elements.size())
            return false;
        for (size_t i = 0; i < a.elements.size(); ++i)
            if (!sameValue(a.elements[i], b.elements[i]))
                return false;
        return true;
    case Value::Kind::Instance:
        return a.instance == b.instance;
    }
    return false;
}

const char* flavorName(FlavorWord word) {
    switch (word) {
    case FlavorWord::EnableOverride:
        return "EnableOverride";
    case FlavorWord::DisableOverride:
        return "DisableOverride";
    case FlavorWord::ToSubclass:
        return "ToSubclass";
    case FlavorWord::NotToSubclass:
        return "NotToSubclass";
    case FlavorWord::Restricted:
        return "Restricted";
    case FlavorWord::ToInstance:
        return "ToInstance";
    case FlavorWord::NotToInstance:
        return "NotToInstance";
    case FlavorWord::Translatable:
        return "Translatable";
    case FlavorWord::Amended:
        return "Amended";
    }
    return "?";
}

// Which aspect of a qualifier a flavor word speaks of, and whether it says yes or no: two words
// of one list that answer one question differently contradict each other.
struct FlavorMeaning {
    int question; // 0 override, 1 to subclass, 2 to instance, -1 none
    bool yes;
};

void meanings(FlavorWord word, FlavorMeaning out[2]) {
    out[0] = out[1] = {-1, false};
    switch (word) {
    case FlavorWord::EnableOverride:
        out[0] = {0, true};
        break;
    case FlavorWord::DisableOverride:
        out[0] = {0, false};
        break;
    case FlavorWord::ToSubclass:
        out[0] = {1, true};
        break;
    case FlavorWord::NotToSubclass:
        out[0] = {1, false};
        break;
    case FlavorWord::Restricted:
        out[0] = {1, false};
        out[1] = {2, false};
        break;
    case FlavorWord::ToInstance:
        out[0] = {2, true};
        break;
    case FlavorWord::NotToInstance:
        out[0] = {2, false};
        break;
    default:
        break;
    }
}

void appendPathValue(std::string& path, const Value& value) {
    switch (value.kind) {
    case Value::Kind::String:
        path += '"';
        for (char c : value.text) {
            if (c == '"' || c == '\\')
                path += '\\';
            path += c;
        }
        path += '"';
        break;
    case Value::Kind::Integer:
        if (value.negative)
            path += '-';
        path += std::to_string(value.magnitude);
        break;
    case Value::Kind::Boolean:
        path += value.boolean ? "TRUE" : "FALSE";
        break;
    case Value::Kind::Char:
        path += std::to_string(static_cast<unsigned>(value.character));
        break;
    case Value::Kind::Real: {
        char text[32];
        std::snprintf(text, sizeof text, "%.17g", value.real);
        path += text;
        break;
    }
    default:
        path += "NULL";
        break;
    }
}

} // namespace

struct Checker::Pass {
    Checker& owner;
    Unit& unit;
    std::map<std::string, std::shared_ptr<const ClassShape>> classes;
    std::map<std::string, Declared> qualifiers;

    struct Alias {
        InstanceDeclaration* instance = nullptr; // else a class alias
        std::string className;
        std::shared_ptr<const ClassShape> shape;
        Position position;
        bool resolving = false;
    };
    std::map<std::string, Alias> aliases;
    std::vector<Value*> aliasUses;
    struct TopInstance {
        InstanceDeclaration* instance;
        std::shared_ptr<const ClassShape> shape;
    };
    std::vector<TopInstance> instances;

    Pass(Checker& checker, Unit& checked) : owner(checker), unit(checked) {}

    [[noreturn]] void fail(const Position& position, const std::string& message) const {
        const std::string file =
            position.file < unit.files.size() ? unit.files[position.file] : std::string();
        std::string line;
        if (position.file < unit.sources.size() && position.line > 0)
            line = lineOf(unit.sources[position.file], position.line);
        const uint32_t column = characterColumn(line, position.column);
        throw MofError(file, position.line, column, message, std::move(line));
    }

    std::shared_ptr<const ClassShape> findClass(const std::string& nameSpace,
                                                std::string_view name) {
        const std::string key = keyOf(nameSpace, name);
        const auto pending = classes.find(key);
        if (pending != classes.end())
            return pending->second;
        return owner.findClass(nameSpace, std::string(name));
    }

    const Declared* findDeclared(const std::string& nameSpace, std::string_view name) const {
        const std::string key = keyOf(nameSpace, name);
        const auto pending = qualifiers.find(key);
        if (pending != qualifiers.end())
            return &pending->second;
        const auto known = owner.m_qualifiers.find(key);
        return known == owner.m_qualifiers.end() ? nullptr : &known->second;
    }

    uint8_t applyFlavors(uint8_t flavors, const std::vector<FlavorWord>& words,
                         const Position& position, const std::string& name) const {
        FlavorMeaning said[3] = {{-1, false}, {-1, false}, {-1, false}};
        FlavorWord saidBy[3] = {};
        for (FlavorWord word : words) {
            FlavorMeaning meaning[2];
            meanings(word, meaning);
            for (const FlavorMeaning& m : meaning) {
                if (m.question < 0)
                    continue;
                if (said[m.question].question >= 0 && said[m.question].yes != m.yes)
                    fail(position, "flavors " + std::string(flavorName(saidBy[m.question])) +
                                       " and " + flavorName(word) + " of qualifier " +
                                       quoted(name) + " contradict each other");
                said[m.question] = m;
                saidBy[m.question] = word;
            }
            switch (word) {
            case FlavorWord::EnableOverride:
                flavors &= ~kDisableOverride;
                break;
            case FlavorWord::DisableOverride:
                flavors |= kDisableOverride;
                break;
            case FlavorWord::ToSubclass:
                flavors |= kToSubclass;
                break;
            case FlavorWord::NotToSubclass:
                flavors &= ~kToSubclass;
                break;
            case FlavorWord::Restricted:
                flavors &= ~(kToSubclass | kToInstance);
                break;
            case FlavorWord::ToInstance:
                flavors |= kToInstance;
                break;
            case FlavorWord::NotToInstance:
                flavors &= ~kToInstance;
                break;
            case FlavorWord::Translatable:
                flavors |= kTranslatable;
                break;
            case FlavorWord::Amended:
                flavors |= kAmended;
                break;
            }
        }
        return flavors;
    }

    // Checks a value against the type it is stored as and leaves it in its stored form.
    void checkValue(Value& value, Type type, bool isArray, uint32_t arraySize, const char* what,
                    const std::string& name, const std::string& nameSpace) {
        if (value.kind == Value::Kind::Null)
            return;
        // The message's subject, made only when there is a message.
        auto subject = [&] { return std::string(what) + " " + quoted(name); };
        if (isArray) {
            if (value.kind != Value::Kind::Array)
                fail(value.position, subject() + " is an array of " + typeName(type) +
                                         "; its value must be written in braces { }");
            if (arraySize && value.elements.size() > arraySize)
                fail(value.position, subject() + " holds at most " + std::to_string(arraySize) +
                                         " elements; the value has " +
                                         std::to_string(value.elements.size()));
            for (Value& element : value.elements) {
                if (element.kind == Value::Kind::Null)
                    fail(element.position, subject() + ": an array element cannot be null");
                checkScalar(element, type, what, name, nameSpace);
            }
            return;
        }
        if (value.kind == Value::Kind::Array)
            fail(value.position, subject() + " is " + typeName(type) + ", not an array");
        checkScalar(value, type, what, name, nameSpace);
    }

    void checkScalar(Value& value, Type type, const char* what, const std::string& name,
                     const std::string& nameSpace) {
        auto subject = [&] { return std::string(what) + " " + quoted(name); };
        auto mismatch = [&] {
            fail(value.position, subject() + " is " + typeName(type) + "; it cannot hold " +
                                     kindName(value.kind) + " (" + shown(value) + ")");
        };
        switch (type) {
        case Type::Sint8:
        case Type::Uint8:
        case Type::Sint16:
        case Type::Uint16:
        case Type::Sint32:
        case Type::Uint32:
        case Type::Sint64:
        case Type::Uint64:
            if (value.kind != Value::Kind::Integer)
                mismatch();
            if (!fitsInteger(value, type))
                fail(value.position, subject() + " is " + typeName(type) + "; " + shown(value) +
                                         " is out of its range");
            return;
        case Type::Real32:
        case Type::Real64:
            if (value.kind == Value::Kind::Integer) {
                const double magnitude = static_cast<double>(value.magnitude);
                value.real = value.negative ? -magnitude : magnitude;
                value.kind = Value::Kind::Real;
                value.negative = false;
                value.magnitude = 0;
            } else if (value.kind != Value::Kind::Real) {
                mismatch();
            }
            if (type == Type::Real32 && std::fabs(value.real) > std::numeric_limits<float>::max())
                fail(value.position,
                     subject() + " is real32; " + shown(value) + " is out of its range");
            return;
        case Type::Char16:
            if (value.kind == Value::Kind::Integer && !value.negative &&
                value.magnitude <= 0xFFFF) {
                value.character = static_cast<char16_t>(value.magnitude);
                value.kind = Value::Kind::Char;
                value.magnitude = 0;
            } else if (value.kind != Value::Kind::Char) {
                mismatch();
            }
            return;
        case Type::String:
            if (value.kind != Value::Kind::String)
                mismatch();
            return;
        case Type::Datetime:
            if (value.kind != Value::Kind::String)
                mismatch();
            if (!isDatetime(value.text))
                fail(value.position, subject() + " is datetime; " + shown(value) +
                                         " is not a datetime (yyyymmddhhmmss.mmmmmmsutc or "
                                         "ddddddddhhmmss.mmmmmm:000)");
            return;
        case Type::Boolean:
            if (value.kind != Value::Kind::Boolean)
                mismatch();
            return;
        case Type::Reference:
            if (value.kind == Value::Kind::Alias)
                aliasUses.push_back(&value);
            else if (value.kind != Value::Kind::String)
                mismatch();
            return;
        case Type::Object:
            if (value.kind != Value::Kind::Instance)
                mismatch();
            checkInstance(*value.instance, false, nameSpace);
            return;
        case Type::None:
            mismatch();
        }
    }

    // Resolves the flavors of a qualifier list and checks each qualifier against its
    // declaration. scope 0: instances, where no scope applies.
    void resolveQualifiers(QualifierList& list, uint16_t scope, const char* placeName,
                           const std::string& nameSpace) {
        for (size_t i = 0; i < list.size(); ++i) {
            Qualifier& qualifier = list[i];
            for (size_t j = 0; j < i; ++j)
                if (equalsNoCase(list[j].name, qualifier.name))
                    fail(qualifier.position,
                         "qualifier " + quoted(qualifier.name) + " is given twice");
            const Declared* declared = findDeclared(nameSpace, qualifier.name);
            uint8_t flavors = kUndeclaredFlavors;
            if (declared) {
                flavors = declared->declaration.flavors;
                if (declared->typed) {
                    const QualifierDeclaration& declaration = declared->declaration;
                    if (scope && !(declaration.scopes & scope))
                        fail(qualifier.position, "qualifier " + quoted(qualifier.name) +
                                                     " is not allowed on " + placeName);
                    if (!qualifier.hasValue) {
                        if (declaration.type == Type::Boolean && !declaration.isArray) {
                            qualifier.value.kind = Value::Kind::Boolean;
                            qualifier.value.boolean = true;
                        } else if (declaration.hasDefault &&
                                   declaration.defaultValue.kind != Value::Kind::Null) {
                            qualifier.value = declaration.defaultValue;
                        } else {
                            fail(qualifier.position, "qualifier " + quoted(qualifier.name) +
                                                         " needs a value of type " +
                                                         typeName(declaration.type) +
                                                         (declaration.isArray ? "[]" : ""));
                        }
                    } else {
                        // A single value given to an array qualifier is an array of one.
                        if (declaration.isArray && qualifier.value.kind != Value::Kind::Array &&
                            qualifier.value.kind != Value::Kind::Null) {
                            Value element = std::move(qualifier.value);
                            qualifier.value = Value();
                            qualifier.value.kind = Value::Kind::Array;
                            qualifier.value.position = element.position;
                            qualifier.value.elements.push_back(std::move(element));
                        }
                        checkValue(qualifier.value, declaration.type, declaration.isArray,
                                   declaration.arraySize, "qualifier", qualifier.name, nameSpace);
                    }
                }
            }
            if (!qualifier.hasValue && !(declared && declared->typed)) {
                qualifier.value.kind = Value::Kind::Boolean;
                qualifier.value.boolean = true;
            }
            if (!(declared && declared->typed))
                checkUndeclaredValue(qualifier);
            qualifier.flavors =
                applyFlavors(flavors, qualifier.flavorWords, qualifier.position, qualifier.name);
        }
    }

    // What a qualifier set can hold: booleans, integers, reals, strings and arrays of them.
    void checkUndeclaredValue(const Qualifier& qualifier) const {
        auto allowed = [](const Value& value) {
            return value.kind == Value::Kind::Null || value.kind == Value::Kind::Boolean ||
                   value.kind == Value::Kind::Integer || value.kind == Value::Kind::Real ||
                   value.kind == Value::Kind::String;
        };
        const Value& value = qualifier.value;
        if (value.kind == Value::Kind::Array) {
            for (const Value& element : value.elements)
                if (!allowed(element) || element.kind != value.elements[0].kind)
                    fail(element.position, "qualifier " + quoted(qualifier.name) +
                                               ": the elements of an array must be booleans, "
                                               "integers, reals or strings, all of one kind");
        } else if (!allowed(value)) {
            fail(value.position,
                 "qualifier " + quoted(qualifier.name) + " cannot hold " + kindName(value.kind));
        }
    }

    void declare(QualifierDeclaration& declaration) {
        const std::string key = keyOf(declaration.nameSpace, declaration.name);
        const Declared* earlier = findDeclared(declaration.nameSpace, declaration.name);
        Declared entry;
        if (declaration.flavorsOnly) {
            // WMI's "Qualifier Name : flavors;" changes only the flavors of later uses.
            declaration.flavors = applyFlavors(kUndeclaredFlavors, declaration.flavorWords,
                                               declaration.position, declaration.name);
            if (earlier) {
                entry = *earlier;
                entry.declaration.flavors = declaration.flavors;
            } else {
                entry.declaration = declaration;
            }
            qualifiers[key] = std::move(entry);
            return;
        }
        if (earlier && earlier->typed &&
            (earlier->declaration.type != declaration.type ||
             earlier->declaration.isArray != declaration.isArray))
            fail(declaration.position, "qualifier " + quoted(declaration.name) +
                                           " is already declared as " +
                                           typeName(earlier->declaration.type) +
                                           (earlier->declaration.isArray ? "[]" : ""));
        declaration.flavors = applyFlavors(kDeclaredFlavors, declaration.flavorWords,
                                           declaration.position, declaration.name);
        if (declaration.hasDefault)
            checkValue(declaration.defaultValue, declaration.type, declaration.isArray,
                       declaration.arraySize, "qualifier", declaration.name, declaration.nameSpace);
        entry.declaration = declaration;
        entry.declaration.defaultValue = declaration.defaultValue;
        entry.typed = true;
        qualifiers[key] = std::move(entry);
    }

    // Qualifiers that a subclass (or instance) receives and may not change.
    static void collectLocked(const QualifierList& list, std::vector<LockedQualifier>& locked) {
        for (const Qualifier& qualifier : list)
            if ((qualifier.flavors & kToSubclass) && (qualifier.flavors & kDisableOverride)) {
                bool replaced = false;
                for (LockedQualifier& existing : locked)
                    if (equalsNoCase(existing.name, qualifier.name)) {
                        existing.value = qualifier.value;
                        replaced = true;
                    }
                if (!replaced)
                    locked.push_back({qualifier.name, qualifier.value});
            }
    }

    void checkLocked(const QualifierList& list, const std::vector<LockedQualifier>& locked,
                     const std::string& owner, const std::string& from) const {
        for (const Qualifier& qualifier : list)
            for (const LockedQualifier& fixed : locked)
                if (equalsNoCase(fixed.name, qualifier.name) &&
                    !sameValue(fixed.value, qualifier.value))
                    fail(qualifier.position, "qualifier " + quoted(qualifier.name) + " of " +
                                                 owner + " cannot change the value that " + from +
                                                 " gives it (DisableOverride)");
    }

    void requireClass(const std::string& nameSpace, const std::string& name,
                      const std::string& self, const Position& position, const char* role) {
        if (name.empty() || equalsNoCase(name, self))
            return;
        if (!findClass(nameSpace, name))
            fail(position, std::string(role) + " class " + quoted(name) +
                               " does not exist in namespace " + quoted(nameSpace));
    }

    void checkClass(ClassDeclaration& declaration) {
        const std::string& nameSpace = declaration.nameSpace;
        auto shape = std::make_shared<ClassShape>();
        shape->name = declaration.name;
        shape->superclass = declaration.superclass;
        if (!declaration.superclass.empty()) {
            if (equalsNoCase(declaration.superclass, declaration.name))
                fail(declaration.position,
                     "class " + quoted(declaration.name) + " cannot be its own superclass");
            shape->parent = findClass(nameSpace, declaration.superclass);
            if (!shape->parent)
                fail(declaration.position, "superclass " + quoted(declaration.superclass) +
                                               " of class " + quoted(declaration.name) +
                                               " does not exist in namespace " + quoted(nameSpace));
        }
        const Qualifier* association = findQualifier(declaration.qualifiers, "Association");
        const Qualifier* indication = findQualifier(declaration.qualifiers, "Indication");
        uint16_t classScope = kScopeClass;
        if (association && (!association->hasValue || isTrue(*association)))
            classScope |= kScopeAssociation;
        if (indication && (!indication->hasValue || isTrue(*indication)))
            classScope |= kScopeIndication;
        resolveQualifiers(declaration.qualifiers, classScope, "a class", nameSpace);
        const std::string owner = "class " + quoted(declaration.name);
        if (shape->parent) {
            checkLocked(declaration.qualifiers, shape->parent->locked, owner,
                        "superclass " + quoted(shape->parent->name));
            shape->locked = shape->parent->locked;
            shape->singleton = shape->parent->singleton;
        }
        collectLocked(declaration.qualifiers, shape->locked);
        if (const Qualifier* abstract = findQualifier(declaration.qualifiers, "Abstract"))
            shape->abstract = isTrue(*abstract);
        if (const Qualifier* singleton = findQualifier(declaration.qualifiers, "Singleton"))
            shape->singleton = isTrue(*singleton);

        std::set<std::string> names;
        for (Property& property : declaration.properties) {
            if (!names.insert(lowered(property.name)).second)
                fail(property.position,
                     "property " + quoted(property.name) + " is declared twice in " + owner);
            const PropertyShape* inherited =
                shape->parent ? shape->parent->findProperty(property.name) : nullptr;
            if (inherited &&
                (inherited->type != property.type || inherited->isArray != property.isArray))
                fail(property.position,
                     "property " + quoted(property.name) + " of " + owner + " is " +
                         typeName(property.type) + (property.isArray ? "[]" : "") + " but class " +
                         quoted(shape->parent->name) + " has it as " + typeName(inherited->type) +
                         (inherited->isArray ? "[]" : ""));
            if (property.type == Type::Reference)
                requireClass(nameSpace, property.referenceClass, declaration.name,
                             property.position, "referenced");
            resolveQualifiers(property.qualifiers,
                              property.type == Type::Reference ? kScopeReference : kScopeProperty,
                              property.type == Type::Reference ? "a reference" : "a property",
                              nameSpace);
            if (inherited)
                checkLocked(property.qualifiers, inherited->locked,
                            "property " + quoted(property.name),
                            "class " + quoted(shape->parent->name));
            if (property.hasValue)
                checkValue(property.value, property.type, property.isArray, property.arraySize,
                           "property", property.name, nameSpace);
            PropertyShape entry;
            entry.name = property.name;
            entry.type = property.type;
            entry.isArray = property.isArray;
            entry.arraySize = property.arraySize;
            entry.referenceClass = property.referenceClass;
            const Qualifier* key = findQualifier(property.qualifiers, "Key");
            entry.key = key ? isTrue(*key) : (inherited && inherited->key);
            if (entry.key && property.hasValue) {
                entry.hasDefault = true;
                entry.defaultValue = property.value;
            } else if (entry.key && inherited && inherited->hasDefault) {
                entry.hasDefault = true;
                entry.defaultValue = inherited->defaultValue;
            }
            if (inherited)
                entry.locked = inherited->locked;
            collectLocked(property.qualifiers, entry.locked);
            shape->properties.push_back(std::move(entry));
        }
        for (Method& method : declaration.methods) {
            if (!names.insert(lowered(method.name)).second)
                fail(method.position, "method " + quoted(method.name) + " is declared twice in " +
                                          owner + " (or has the name of a property)");
            if (method.returnType == Type::Reference)
                requireClass(nameSpace, method.returnClass, declaration.name, method.position,
                             "referenced");
            resolveQualifiers(method.qualifiers, kScopeMethod, "a method", nameSpace);
            std::set<std::string> parameters;
            for (Property& parameter : method.parameters) {
                if (!parameters.insert(lowered(parameter.name)).second)
                    fail(parameter.position, "parameter " + quoted(parameter.name) +
                                                 " is declared twice in method " +
                                                 quoted(method.name));
                if (parameter.type == Type::Reference)
                    requireClass(nameSpace, parameter.referenceClass, declaration.name,
                                 parameter.position, "referenced");
                resolveQualifiers(parameter.qualifiers, kScopeParameter, "a parameter", nameSpace);
            }
            shape->methods.push_back(method.name);
        }
        classes[keyOf(nameSpace, declaration.name)] = shape;
        if (!declaration.alias.empty()) {
            Alias alias;
            alias.className = declaration.name;
            alias.position = declaration.position;
            defineAlias(declaration.alias, std::move(alias));
        }
    }

    void defineAlias(const std::string& name, Alias alias) {
        const auto inserted = aliases.emplace(lowered(name), std::move(alias));
        if (!inserted.second) {
            const Position& earlier = inserted.first->second.position;
            fail(alias.position, "alias " + quoted("$" + name) + " is already defined at " +
                                     unit.files[earlier.file] + ":" + std::to_string(earlier.line));
        }
    }

    void checkInstance(InstanceDeclaration& declaration, bool topLevel,
                       const std::string& outerNameSpace) {
        const std::string& nameSpace =
            declaration.nameSpace.empty() ? outerNameSpace : declaration.nameSpace;
        if (declaration.nameSpace.empty())
            declaration.nameSpace = nameSpace;
        auto shape = findClass(nameSpace, declaration.className);
        if (!shape)
            fail(declaration.position, "class " + quoted(declaration.className) +
                                           " does not exist in namespace " + quoted(nameSpace));
        if (shape->abstract)
            fail(declaration.position,
                 "class " + quoted(declaration.className) + " is abstract and has no instances");
        resolveQualifiers(declaration.qualifiers, 0, "an instance", nameSpace);
        std::set<std::string> names;
        for (Property& property : declaration.properties) {
            if (!names.insert(lowered(property.name)).second)
                fail(property.position,
                     "property " + quoted(property.name) + " is given twice in the instance");
            const PropertyShape* declared = shape->findProperty(property.name);
            if (!declared)
                fail(property.position, "class " + quoted(declaration.className) +
                                            " has no property " + quoted(property.name));
            property.type = declared->type;
            property.isArray = declared->isArray;
            property.arraySize = declared->arraySize;
            property.referenceClass = declared->referenceClass;
            resolveQualifiers(property.qualifiers, 0, "an instance property", nameSpace);
            checkLocked(property.qualifiers, declared->locked, "property " + quoted(property.name),
                        "its class");
            checkValue(property.value, property.type, property.isArray, property.arraySize,
                       "property", property.name, nameSpace);
        }
        if (!topLevel) {
            if (!declaration.alias.empty())
                fail(declaration.position, "an embedded instance cannot have an alias");
            return;
        }
        instances.push_back({&declaration, shape});
        if (!declaration.alias.empty()) {
            Alias alias;
            alias.instance = &declaration;
            alias.className = declaration.className;
            alias.shape = shape;
            alias.position = declaration.position;
            defineAlias(declaration.alias, std::move(alias));
        }
    }

    // The object path of an instance: Class.Key="value",Other=5, or Class=@ for a singleton.
    // Reference keys that name aliases are resolved first, following the aliases they name.
    const std::string& pathOf(InstanceDeclaration& instance, const ClassShape& shape,
                              Alias* alias) {
        if (!instance.path.empty())
            return instance.path;
        const std::vector<const PropertyShape*> keys = shape.keys();
        if (keys.empty()) {
            if (!shape.singleton)
                return instance.path;
            instance.path = instance.className + "=@";
            return instance.path;
        }
        if (alias) {
            if (alias->resolving)
                fail(instance.position, "the keys of aliases " + quoted("$" + instance.alias) +
                                            " refer to each other in a loop");
            alias->resolving = true;
        }
        std::string path = instance.className;
        char separator = '.';
        for (const PropertyShape* key : keys) {
            Value* value = nullptr;
            for (Property& property : instance.properties)
                if (equalsNoCase(property.name, key->name))
                    value = &property.value;
            Value fallback;
            if (!value && key->hasDefault) {
                fallback = key->defaultValue;
                value = &fallback;
            }
            if (!value || value->kind == Value::Kind::Null)
                fail(instance.position, "key property " + quoted(key->name) +
                                            " of the instance of " + quoted(instance.className) +
                                            " has no value");
            if (value->kind == Value::Kind::Alias)
                resolveAlias(*value);
            path += separator;
            path += key->name;
            path += '=';
            appendPathValue(path, *value);
            separator = ',';
        }
        if (alias)
            alias->resolving = false;
        instance.path = std::move(path);
        return instance.path;
    }

    void resolveAlias(Value& value) {
        if (value.kind != Value::Kind::Alias)
            return;
        const auto found = aliases.find(lowered(value.text));
        if (found == aliases.end())
            fail(value.position, "alias " + quoted("$" + value.text) + " is not defined");
        Alias& alias = found->second;
        std::string path;
        if (!alias.instance) {
            path = alias.className;
        } else {
            path = pathOf(*alias.instance, *alias.shape, &alias);
            if (path.empty())
                fail(value.position, "alias " + quoted("$" + value.text) +
                                         " names an instance of " + quoted(alias.className) +
                                         ", which has no key properties");
        }
        value.kind = Value::Kind::String;
        value.text = std::move(path);
    }

    void run() {
        for (Statement& statement : unit.statements) {
            if (auto* qualifier = std::get_if<QualifierDeclaration>(&statement))
                declare(*qualifier);
            else if (auto* declaration = std::get_if<ClassDeclaration>(&statement))
                checkClass(*declaration);
            else
                checkInstance(std::get<InstanceDeclaration>(statement), true, std::string());
        }
        for (Value* use : aliasUses)
            resolveAlias(*use);
        for (TopInstance& instance : instances)
            pathOf(*instance.instance, *instance.shape, nullptr);
    }
};

Checker::Checker(Schema& stored) : m_stored(stored) {}

std::shared_ptr<const ClassShape> Checker::findClass(const std::string& nameSpace,
                                                     const std::string& name) {
    const std::string key = keyOf(nameSpace, name);
    const auto known = m_classes.find(key);
    if (known != m_classes.end())
        return known->second;
    const auto cached = m_storedCache.find(key);
    if (cached != m_storedCache.end())
        return cached->second;
    auto shape = m_stored.findClass(nameSpace, name);
    m_storedCache.emplace(key, shape);
    return shape;
}

void Checker::check(Unit& unit) {
    Pass pass(*this, unit);
    pass.run();
    // Only now, with the whole unit valid, does the run remember what it declared.
    for (auto& entry : pass.classes)
        m_classes[entry.first] = std::move(entry.second);
    for (auto& entry : pass.qualifiers)
        m_qualifiers[entry.first] = std::move(entry.second);
}

} // namespace mof
