#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiProperty.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// A parameter of a method signature: a named, typed value with the parameter's qualifier set.
// It behaves as `WmiProperty` does, except that its qualifiers can only be read: it is a property
// that keeps the qualifier writes to itself.
class ZUDAVA_API WmiParameter : private WmiProperty {
public:
    // `qualifiers` may be null; a non-null set gets a reference of its own.
    WmiParameter(const _bstr_t& name, const _variant_t& value, long type,
                 IWbemQualifierSet* qualifiers);
    WmiParameter(const WmiParameter& other);
    WmiParameter& operator=(const WmiParameter& other);
    ~WmiParameter();

    // getValue: for a parameter read from a signature, the value the signature object holds.
    using WmiProperty::getName;
    using WmiProperty::getType;
    using WmiProperty::getValue;

    using WmiProperty::setName;
    using WmiProperty::setType;
    using WmiProperty::setValue;

    using WmiProperty::getQualifier;
    using WmiProperty::getQualifierCount;
};

} // namespace DEZE
