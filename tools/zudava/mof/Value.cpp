#include "Value.h"

namespace mof {

namespace {

struct TypeSpelling {
    const char* name;
    Type type;
};

constexpr TypeSpelling kTypeNames[] = {
    {"sint8", Type::Sint8},     {"uint8", Type::Uint8},       {"sint16", Type::Sint16},
    {"uint16", Type::Uint16},   {"sint32", Type::Sint32},     {"uint32", Type::Uint32},
    {"sint64", Type::Sint64},   {"uint64", Type::Uint64},     {"real32", Type::Real32},
    {"real64", Type::Real64},   {"char16", Type::Char16},     {"string", Type::String},
    {"boolean", Type::Boolean}, {"datetime", Type::Datetime}, {"object", Type::Object},
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const char* typeName(Type type) {
    switch (type) {
    case Type::None:
        return "void";
    case Type::Reference:
        return "ref";
    default:
        for (const TypeSpelling& spelling : kTypeNames)
            if (spelling.type == type)
                return spelling.name;
        return "?";
    }
}

std::optional<Type> typeFromName(std::string_view name) {
    for (const TypeSpelling& spelling : kTypeNames)
        if (equalsNoCase(name, spelling.name))
            return spelling.type;
    return std::nullopt;
}

bool isInteger(Type type) {
    return type >= Type::Sint8 && type <= Type::Uint64;
}

bool isSigned(Type type) {
    return type == Type::Sint8 || type == Type::Sint16 || type == Type::Sint32 ||
           type == Type::Sint64;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

std::string lowered(std::string_view name) {
    std::string result(name);
    for (char& c : result)
        c = lower(c);
    return result;
}

} // namespace mof
