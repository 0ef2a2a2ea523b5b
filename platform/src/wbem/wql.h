// WQL, the query language of the embedded WMI service: the grammar and its parser, and the
// evaluation of WHERE conditions against objects. Which objects a query visits is the services'
// business; this file only says what a query means. Not installed.
#pragma once

#include <wbemcli.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zp::wbem::wql {

// A constant of a condition. WQL numbers are whole or real; whole numbers keep their sign and
// the full unsigned 64-bit range.
struct Literal {
    enum class Kind { Null, Boolean, Integer, Real, String };
    Kind kind = Kind::Null;
    bool boolean = false;
    bool negative = false;  // Integer: the sign of `magnitude`
    uint64_t magnitude = 0; // Integer: the absolute value
    double real = 0;        // Real
    std::wstring text;      // String
};

enum class Operator { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual, Like, Isa };

// A condition tree. A property is named by its path: `Name`, or `TargetInstance.Name` through
// an embedded object; `__THIS` names the object itself (for ISA).
struct Condition {
    enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull };
    Kind kind = Kind::Compare;
    std::unique_ptr<Condition> left, right; // And, Or (both); Not (left)
    std::vector<std::wstring> property;     // Compare, IsNull, IsNotNull
    Operator op = Operator::Equal;          // Compare: `property op literal`
    Literal literal;                        // Compare
};

// SELECT (data and event queries), ASSOCIATORS OF and REFERENCES OF.
struct Query {
    enum class Kind { Select, Associators, References };
    Kind kind = Kind::Select;

    // Select
    std::vector<std::wstring> properties; // empty: `*`
    std::wstring className;
    bool hasWithin = false;
    double withinSeconds = 0;
    std::unique_ptr<Condition> where; // null: no WHERE

    // Associators and References: the object's path as written between the braces, and the
    // WHERE keywords (empty text: not given).
    std::wstring objectPath;
    std::wstring assocClass, resultClass, role, resultRole, requiredAssocQualifier,
        requiredQualifier;
    bool classDefsOnly = false, schemaOnly = false, keysOnly = false;
};

// Parses `text`. Returns WBEM_S_NO_ERROR and fills `query`, or WBEM_E_INVALID_QUERY with a
// reason such as "line 1, column 15: expected FROM" in `error` (query untouched).
HRESULT parse(const wchar_t* text, Query& query, std::wstring& error);

// Whether `object` satisfies `condition`. A comparison with a null or missing property is
// unknown, and so is a comparison of values that cannot be compared; NOT keeps unknown unknown,
// and an unknown condition does not match.
bool matches(const Condition& condition, IWbemClassObject* object);

// WQL's LIKE: `%` any run, `_` any one character, `[a-z]` a set or range, `[^x]` its complement;
// letters compare without regard to case.
bool like(const std::wstring& text, const std::wstring& pattern);

} // namespace zp::wbem::wql
