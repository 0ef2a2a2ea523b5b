#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// A named, typed value of a WMI object (or of a call context), with the live qualifier set of
// the object it was read from.
//
// Name, value and type are local to this value object: they reach WMI only when the property is
// written with `WmiObject::setProperty`. The qualifier operations act on the object at once, and
// every copy of the property shares the one qualifier set. A property built without a qualifier
// set has no qualifiers: counting gives 0 and every other qualifier operation raises
// "Index out of bounds".
class ZUDAVA_API WmiProperty {
public:
    // `qualifiers` may be null; a non-null set gets a reference of its own.
    WmiProperty(const _bstr_t& name, const _variant_t& value, long type,
                IWbemQualifierSet* qualifiers);
    WmiProperty(const WmiProperty& other);
    WmiProperty& operator=(const WmiProperty& other);
    ~WmiProperty();

    _bstr_t getName() const;
    _variant_t getValue() const;
    // The CIM type code, array flag included.
    long getType() const;

    void setName(const _bstr_t& name);
    void setValue(const _variant_t& value);
    void setType(long type);

    unsigned long getQualifierCount() const;
    WmiQualifier getQualifier(unsigned long index) const;
    WmiQualifier getQualifier(const _bstr_t& name) const;
    void setQualifier(const WmiQualifier& qualifier);
    void removeQualifier(const _bstr_t& name);

private:
    _bstr_t m_name;
    _variant_t m_value;
    long m_type;
    IWbemQualifierSetPtr m_qualifiers;
};

} // namespace DEZE
