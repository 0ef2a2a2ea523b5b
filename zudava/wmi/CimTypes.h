// The CIM types the library knows, in one table: for each type its code, its name, the VARIANT
// type that carries its values and how its values are written as text (internal to the library).
#pragma once

#include <stddef.h>

#include <wbemidl.h>

namespace DEZE {
namespace cim {

// The flag that makes an array type of an element type (bitwise or).
constexpr long kArrayFlag = CIM_FLAG_ARRAY;

// How a value of a type is written by the library's text form.
enum class TextForm {
    Null,
    Signed16,
    Signed32,
    Unsigned8,
    Unsigned16,
    Unsigned32,
    Real32,
    Real64,
    Char16,
    Boolean,
    Text,
    Object,
};

struct TypeInfo {
    long type;           // the CIM_* code, without the array flag
    const wchar_t* name; // "sint32"; arrays append "[]"
    VARTYPE carrier;     // the VARTYPE of a value (of an array's elements)
    TextForm form;
    size_t scalarRoom;  // text reserved for one value
    size_t elementRoom; // text reserved per element of an array
    bool arrayElement;  // whether arrays of the type exist
};

// The row of a type without its array flag; null for a code the library does not know.
const TypeInfo* find(long type);

// The type that a VARIANT type carries: the first row with that carrier (so VT_I2 is sint16,
// VT_I4 sint32, VT_BSTR string); null for VT_EMPTY and for every VARTYPE no CIM type uses.
const TypeInfo* findByCarrier(VARTYPE vt);

inline bool isArray(long type) {
    return (type & kArrayFlag) != 0;
}

inline long elementType(long type) {
    return type & ~kArrayFlag;
}

} // namespace cim
} // namespace DEZE
