// The methods of one class object (internal to the library).
#pragma once

#include <comdef.h>

#include "zudava/wmi/WmiMethod.h"
#include "zudava/wmi/WmiPointers.h"

namespace DEZE {

// Reads the methods of a class, local and inherited, in the class's own enumeration order. It
// keeps no list: counting walks the whole method enumeration, each lookup by position walks it
// up to the position. A null class counts 0; every lookup on it raises "Index out of bounds"
// with E_FAIL.
class _WmiMethodSet {
public:
    explicit _WmiMethodSet(const IWbemClassObjectPtr& object);

    unsigned long getCount() const;
    WmiMethod get(unsigned long index) const;
    WmiMethod get(const _bstr_t& name) const;

private:
    IWbemClassObjectPtr m_object;
};

} // namespace DEZE
