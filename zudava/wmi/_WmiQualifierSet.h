// The qualifiers of one platform qualifier set (internal to the library).
#pragma once

#include <comdef.h>

#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// Reads and writes the qualifiers of an `IWbemQualifierSet`. It keeps no list of its own: every
// call asks the set, so results are always current. Positions follow the set's own enumeration
// order (local and propagated qualifiers). A null set counts 0; every other operation on it
// raises "Index out of bounds" with E_FAIL.
class _WmiQualifierSet {
public:
    explicit _WmiQualifierSet(const IWbemQualifierSetPtr& qualifiers);

    unsigned long getCount() const;
    // Past the end raises "Index out of bounds" with the status of the fetching `Next`.
    WmiQualifier get(unsigned long index) const;
    WmiQualifier get(const _bstr_t& name) const;
    void put(const WmiQualifier& qualifier);
    void remove(const _bstr_t& name);

private:
    IWbemQualifierSetPtr m_qualifiers;
};

} // namespace DEZE
