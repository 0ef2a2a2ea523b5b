// What a MOF text declares, as the parser reads it and the checker completes it.
#pragma once

#include "Value.h"

#include <cstdint>
#include <deque>
#include <string>
#include <variant>
#include <vector>

namespace mof {

// Qualifier flavors as a set of bits. Translatable has no place in what WMI stores; it is kept so
// that a declaration can be checked and shown as written.
enum Flavor : uint8_t {
    kToSubclass = 1,
    kToInstance = 2,
    kDisableOverride = 4,
    kAmended = 8,
    kTranslatable = 16,
};

// The flavor keywords as written: each one sets or clears bits of what it starts from.
enum class FlavorWord : uint8_t {
    EnableOverride,
    DisableOverride,
    ToSubclass,
    NotToSubclass,
    Restricted,
    ToInstance,
    NotToInstance,
    Translatable,
    Amended,
};

// Where a qualifier may be used.
enum Scope : uint16_t {
    kScopeClass = 1,
    kScopeAssociation = 2,
    kScopeIndication = 4,
    kScopeProperty = 8,
    kScopeReference = 16,
    kScopeMethod = 32,
    kScopeParameter = 64,
    kScopeAny = 127,
};

struct Qualifier {
    std::string name;
    Value value;           // boolean true when written without a value and not declared otherwise
    bool hasValue = false; // whether the text gave a value
    std::vector<FlavorWord> flavorWords; // after a ':' in the qualifier list
    uint8_t flavors = 0;                 // resolved by the checker
    Position position;
};
using QualifierList = std::vector<Qualifier>;

// "Qualifier Name : type [= value], Scope(...), Flavor(...);" or WMI's flavors-only form
// "Qualifier Name : flavor flavor ...;", which sets the flavors of later uses without a type.
struct QualifierDeclaration {
    std::string nameSpace;
    std::string name;
    Type type = Type::Boolean;
    bool isArray = false;
    uint32_t arraySize = 0; // 0: variable length
    bool hasDefault = false;
    Value defaultValue;
    uint16_t scopes = 0;
    std::vector<FlavorWord> flavorWords;
    uint8_t flavors = 0; // resolved by the checker
    bool flavorsOnly = false;
    Position position;
};

// A property of a class, a parameter of a method, or a property value of an instance. For an
// instance the checker fills in the type from the class.
struct Property {
    QualifierList qualifiers;
    std::string name;
    Type type = Type::None;
    std::string referenceClass; // Reference: the class named before REF (may be empty)
    bool isArray = false;
    uint32_t arraySize = 0; // fixed-size arrays: the size; 0 for variable length
    bool hasValue = false;
    Value value;
    Position position;
};

struct Method {
    QualifierList qualifiers;
    std::string name;
    Type returnType = Type::None;
    std::string returnClass; // a REF return value's class
    std::vector<Property> parameters;
    Position position;
};

struct ClassDeclaration {
    std::string nameSpace;
    uint32_t classFlags = 0; // the #pragma classflags in force
    QualifierList qualifiers;
    std::string name;
    std::string superclass; // empty for a root class
    std::string alias;
    std::vector<Property> properties;
    std::vector<Method> methods;
    Position position;
};

struct InstanceDeclaration {
    std::string nameSpace;
    uint32_t instanceFlags = 0; // the #pragma instanceflags in force
    QualifierList qualifiers;
    std::string className;
    std::string alias;
    std::vector<Property> properties;
    // Set by the checker for a top-level instance with an alias or with keys: its object path.
    std::string path;
    Position position;
};

// #pragma classflags / instanceflags values (WMI's names for the put flags).
enum PutFlags : uint32_t {
    kCreateOrUpdate = 0,
    kUpdateOnly = 1,
    kCreateOnly = 2,
    kSafeUpdate = 0x20,
    kForceUpdate = 0x40,
};

using Statement = std::variant<QualifierDeclaration, ClassDeclaration, InstanceDeclaration>;

// One compiled file with everything it includes, in the order written.
struct Unit {
    std::vector<std::string> files;  // Position::file indexes this; files[0] is the main file
    std::deque<std::string> sources; // each file's text as UTF-8 (a deque: it never moves them)
    std::vector<Statement> statements;
};

} // namespace mof
