#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiMethod.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

// A WMI class definition (genus 1), with its methods.
class ZUDAVA_API WmiClass : public WmiObject {
public:
    // Wraps a class object: a null pointer raises "Invalid argument", an object
    // of another genus "Invalid object type".
    WmiClass(const IWbemClassObjectPtr& object);
    // Loads an existing class. A class that WMI calls invalid
    // (WBEM_E_INVALID_CLASS) leaves this object null, with no properties and no
    // methods; other failures raise.
    WmiClass(const _bstr_t& nameSpace, const _bstr_t& className);
    // Defines a new class in memory, derived from `superClassName` or, when that
    // is empty, a top-level class. It is stored with `WmiHandle::createClass`.
    WmiClass(const _bstr_t& nameSpace, const _bstr_t& className, const _bstr_t& superClassName);
    WmiClass(const WmiClass& other);
    WmiClass& operator=(const WmiClass& other);
    ~WmiClass();

    // The class's methods, local and inherited.
    unsigned long getMethodCount() const;
    WmiMethod getMethod(unsigned long index) const;
    WmiMethod getMethod(const _bstr_t& name) const;
};

} // namespace DEZE
