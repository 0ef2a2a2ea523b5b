#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"
#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

// A parameter of a method signature: a named, typed value with the parameter's qualifier set.
// It behaves as `WmiProperty` does, except that its qualifiers can only be read.
class ZUDAVA_API WmiParameter {
public:
    // `qualifiers` may be null; a non-null set gets a reference of its own.
    WmiParameter(const _bstr_t& name, const _variant_t& value, long type,
                 IWbemQualifierSet* qualifiers);
    WmiParameter(const WmiParameter& other);
    WmiParameter& operator=(const WmiParameter& other);
    ~WmiParameter();

    _bstr_t getName() const;
    // For a parameter read from a signature: the value the signature object holds for it.
    _variant_t getValue() const;
    long getType() const;

    void setName(const _bstr_t& name);
    void setValue(const _variant_t& value);
    void setType(long type);

    unsigned long getQualifierCount() const;
    WmiQualifier getQualifier(unsigned long index) const;
    WmiQualifier getQualifier(const _bstr_t& name) const;

private:
    _bstr_t m_name;
    _variant_t m_value;
    long m_type;
    IWbemQualifierSetPtr m_qualifiers;
};

} // namespace DEZE
