// CIM types and MOF values as the compiler carries them from the text to the store.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mof {

// Where something was written: an index into the run's file table, and 1-based line and column
// (columns count bytes; messages turn them into characters, see characterColumn).
struct Position {
    uint32_t file = 0;
    uint32_t line = 0;
    uint32_t column = 0;
};

enum class Type : uint8_t {
    None, // a method without a return value
    Sint8,
    Uint8,
    Sint16,
    Uint16,
    Sint32,
    Uint32,
    Sint64,
    Uint64,
    Real32,
    Real64,
    Char16,
    String,
    Boolean,
    Datetime,
    Reference, // Class REF name
    Object,    // an embedded object
};

// The MOF spelling: "sint32", "ref", "object", "void" for None.
const char* typeName(Type type);
// The type a MOF type name stands for, regardless of case; nullopt for anything else (including
// "ref", which is written after a class name, and "void").
std::optional<Type> typeFromName(std::string_view name);
bool isInteger(Type type);
bool isSigned(Type type);

struct InstanceDeclaration;

// A value as written. The checker leaves every value in the form that its declared type stores:
// integers in range, reals for real types (an integer literal becomes a real), references as
// object path texts (an alias becomes the path of the object it names).
struct Value {
    enum class Kind : uint8_t {
        Null,
        Boolean,
        Integer,
        Real,
        String,
        Char,
        Alias,
        Instance,
        Array
    };

    Kind kind = Kind::Null;
    bool boolean = false;
    bool negative = false;  // Integer: the value is -magnitude
    uint64_t magnitude = 0; // Integer
    double real = 0;        // Real
    char16_t character = 0; // Char: one UTF-16 unit
    // String: UTF-8, where a lone surrogate from an escape keeps its three-byte form so that the
    // UTF-16 units written come back exactly. Alias: the name after '$'.
    std::string text;
    std::vector<Value> elements;                   // Array
    std::shared_ptr<InstanceDeclaration> instance; // Instance: an embedded "instance of"
    Position position;

    // The integer as a signed 64-bit number; only for values that fit.
    int64_t asSigned() const {
        return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    }
};

// Case-insensitive comparison and lower-casing of ASCII names; other characters compare exactly.
bool equalsNoCase(std::string_view a, std::string_view b);
std::string lowered(std::string_view name);

} // namespace mof
