#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A CIM type code (with the array flag 0x2000 where it applies) and the VARIANT type that
// carries values of that type through WMI.
class ZUDAVA_API WmiType {
public:
    // Takes the code as it is, without checking it.
    WmiType(long cimType);
    // The CIM type of a VARIANT's own type; anything that has no scalar CIM type (arrays, empty,
    // null, 64-bit integers) gives 4095, CIM_ILLEGAL.
    WmiType(const _variant_t& value);

    WmiType(const WmiType& other) = default;
    WmiType& operator=(const WmiType& other) = default;

    operator long() const;
    // The VARTYPE that carries the type, with VT_ARRAY for arrays; 0 for an unknown type.
    operator unsigned short() const;
    // "sint32", "string[]", "unknown", ...
    _bstr_t toString() const;

private:
    long m_type;
};

} // namespace DEZE
