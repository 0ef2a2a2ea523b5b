// The parameters of one method signature (internal to the library).
#pragma once

#include <comdef.h>

#include "zudava/wmi/WmiParameter.h"
#include "zudava/wmi/WmiPointers.h"

namespace DEZE {

// Reads the parameters of a signature object: its non-system properties. A null signature (a
// method without one) counts 0, and every lookup on it raises "Index out of bounds" with E_FAIL.
// Unlike an object's properties, a signature's system properties cannot be read by name.
class _WmiParameterSet {
public:
    explicit _WmiParameterSet(const IWbemClassObjectPtr& signature);

    unsigned long getCount() const;
    WmiParameter get(unsigned long index) const;
    WmiParameter get(const _bstr_t& name) const;

private:
    IWbemClassObjectPtr m_signature;
};

} // namespace DEZE
