#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

// An instance of a WMI class (genus 2).
class ZUDAVA_API WmiInstance : public WmiObject {
public:
    // Wraps an instance object: a null pointer raises "Invalid argument", an
    // object of another genus "Invalid object type".
    WmiInstance(const IWbemClassObjectPtr& object);
    // A new, empty instance of the class, in memory only. Raises "Invalid
    // argument" when both names are empty; one empty name is passed on to WMI as
    // it is.
    WmiInstance(const _bstr_t& nameSpace, const _bstr_t& className);
    WmiInstance(const WmiInstance& other);
    WmiInstance& operator=(const WmiInstance& other);
    ~WmiInstance();
};

} // namespace DEZE
