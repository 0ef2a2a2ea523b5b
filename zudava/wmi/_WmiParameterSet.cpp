#include "zudava/wmi/_WmiParameterSet.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/_WmiPropertySet.h"

namespace DEZE {

_WmiParameterSet::_WmiParameterSet(const IWbemClassObjectPtr& signature) : m_signature(signature) {}

unsigned long _WmiParameterSet::getCount() const {
    if (!m_signature)
        return 0;
    return _WmiPropertyWalk::count(m_signature, WBEM_FLAG_NONSYSTEM_ONLY);
}

WmiParameter _WmiParameterSet::get(unsigned long index) const {
    if (!m_signature)
        throwLibraryError(L"Index out of bounds");
    _bstr_t name;
    _variant_t value;
    long type = 0;
    _WmiPropertyWalk::fetch(m_signature, index, WBEM_FLAG_NONSYSTEM_ONLY, name, value, type);
    const IWbemQualifierSetPtr qualifiers =
        _WmiPropertyWalk::qualifiersOf(m_signature, name, false);
    return WmiParameter(name, value, type, qualifiers);
}

WmiParameter _WmiParameterSet::get(const _bstr_t& name) const {
    if (!m_signature)
        throwLibraryError(L"Index out of bounds");
    _variant_t value;
    CIMTYPE type = 0;
    throwIfFailed(m_signature->Get(name, 0, &value, &type, nullptr),
                  L"IWbemClassObject::Get() failed");
    const IWbemQualifierSetPtr qualifiers =
        _WmiPropertyWalk::qualifiersOf(m_signature, name, false);
    return WmiParameter(name, value, type, qualifiers);
}

} // namespace DEZE
