#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A VARIANT together with the CIM type it stands for, and the library's text form of it.
//
// The VARIANT comes first, so a `WmiValue` can be passed wherever a VARIANT is expected. It owns
// its contents; copies are deep. A value never holds VT_EMPTY: an empty VARIANT is kept as
// VT_NULL.
class ZUDAVA_API WmiValue : public _variant_t {
public:
    // Copies `value` (failures raise `_com_error`).
    WmiValue(const _variant_t& value, long cimType);
    WmiValue(const WmiValue& other);
    WmiValue& operator=(const WmiValue& other);
    ~WmiValue();

    long getType() const;

    // The text form: "<null>" for a null value; numbers as the runtime prints them (reals with a
    // three-digit exponent, "1.5000000e+000"); "true"/"false"; text as it is; arrays as their
    // elements joined by ", "; an embedded object as its XML text (`WmiObject::toXml`), a null
    // one as empty text. The CIM type decides how the data is read.
    _bstr_t toString() const;

private:
    long m_type;
};

} // namespace DEZE
