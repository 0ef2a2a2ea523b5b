#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

// Walks a WMI object enumerator one object at a time:
//
//     while (objects.hasNext()) { WmiInstance instance(objects.getNext()); ...
//     }
//
// Copies share the platform enumerator (advancing one advances all) but each
// keeps its own current object. Enumerators from `WmiHandle` are forward-only:
// there is no rewinding.
class ZUDAVA_API WmiObjectEnumeration {
public:
    // A null enumerator raises "Invalid argument".
    WmiObjectEnumeration(const IEnumWbemClassObjectPtr& enumerator);
    WmiObjectEnumeration(const WmiObjectEnumeration& other);
    WmiObjectEnumeration& operator=(const WmiObjectEnumeration& other);
    ~WmiObjectEnumeration();

    // Fetches the next object, waiting as long as WMI needs; false at the end.
    // The object fetched before is dropped, seen or not. A failing fetch raises
    // "IEnumWbemClassObject::Next() failed".
    bool hasNext() const;
    // The object the last `hasNext` fetched (again, if asked twice); "No more
    // objects" when there is none.
    WmiObject getNext() const;

private:
    IEnumWbemClassObjectPtr m_enumerator;
    mutable IWbemClassObjectPtr m_current;
};

} // namespace DEZE
