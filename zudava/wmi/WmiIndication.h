#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

// An event to be delivered with `WmiHandle::deliverIndication`: an instance
// (genus 2) of an event class.
class ZUDAVA_API WmiIndication : public WmiObject {
public:
    // Wraps an instance object: a null pointer raises "Invalid argument", an
    // object of another genus "Invalid object type".
    WmiIndication(const IWbemClassObjectPtr& object);
    // A new, empty instance of the class, in memory only. Raises "Invalid
    // argument" when both names are empty; one empty name is passed on to WMI as
    // it is.
    WmiIndication(const _bstr_t& nameSpace, const _bstr_t& className);
    WmiIndication(const WmiIndication& other);
    WmiIndication& operator=(const WmiIndication& other);
    ~WmiIndication();
};

} // namespace DEZE
