#pragma once

#include <comdef.h>

#include "zudava/Export.h"

namespace DEZE {

// A named qualifier value with its WMI flavor bits (WBEM_FLAVOR_…).
//
// A plain value: changing it changes nothing in WMI until it is written to a qualifier set
// (`WmiObject::setQualifier`, `WmiProperty::setQualifier`). Copies share the name's text and
// own their value.
class ZUDAVA_API WmiQualifier {
public:
    WmiQualifier(const _bstr_t& name, const _variant_t& value, long flavor);
    WmiQualifier(const WmiQualifier& other);
    WmiQualifier& operator=(const WmiQualifier& other);
    ~WmiQualifier();

    _bstr_t getName() const;
    _variant_t getValue() const;
    long getFlavor() const;

    void setName(const _bstr_t& name);
    void setValue(const _variant_t& value);
    void setFlavor(long flavor);

private:
    _bstr_t m_name;
    _variant_t m_value;
    long m_flavor;
};

} // namespace DEZE
