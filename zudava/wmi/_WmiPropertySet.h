// The properties of one platform object (internal to the library).
#pragma once

#include <comdef.h>

#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiProperty.h"

namespace DEZE {

// Reads and writes the properties of an `IWbemClassObject`. It keeps no list of its own: every
// call asks the object. Counting and positions cover what the object enumerates under the
// condition flags given at construction (WBEM_FLAG_NONSYSTEM_ONLY for an object's properties,
// WBEM_FLAG_KEYS_ONLY for a path's keys); a name may be any property, system properties
// included, which then come without qualifiers.
class _WmiPropertySet {
public:
    _WmiPropertySet(const IWbemClassObjectPtr& object, long enumFlags);

    // A null object counts 0.
    unsigned long getCount() const;
    // A null object raises "GetInterfacePtr failed."; past the end raises "Index out of bounds"
    // with the status of the fetching `Next`.
    WmiProperty get(unsigned long index) const;
    WmiProperty get(const _bstr_t& name) const;
    // Writes the name and value only (CIM type 0: WMI keeps the property's own type).
    void put(const WmiProperty& property);

private:
    IWbemClassObjectPtr m_object;
    long m_enumFlags;
};

// The conversation that the property and parameter collections share.
struct _WmiPropertyWalk {
    // The number of names `GetNames` gives under `flags`.
    static unsigned long count(IWbemClassObject* object, long flags);
    // The entry at `index` of the enumeration under `flags`: name, value and CIM type.
    static void fetch(IWbemClassObject* object, unsigned long index, long flags, _bstr_t& name,
                      _variant_t& value, long& type);
    // The qualifier set of a property; null for a system property when `systemAllowed`.
    static IWbemQualifierSetPtr qualifiersOf(IWbemClassObject* object, const _bstr_t& name,
                                             bool systemAllowed);
};

} // namespace DEZE
