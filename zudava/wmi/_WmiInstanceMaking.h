// What instances and indications share (internal to the library).
#pragma once

#include <comdef.h>

#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

// Raises "Invalid argument" for a null object and "Invalid object type" for a
// class.
void _wmiCheckInstance(const WmiObject& object);

// Makes a new instance of `className` in `nameSpace` into `instance`.
void _wmiSpawnInstance(const _bstr_t& nameSpace, const _bstr_t& className,
                       IWbemClassObjectPtr& instance);

} // namespace DEZE
