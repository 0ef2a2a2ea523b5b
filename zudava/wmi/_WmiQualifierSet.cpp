#include "zudava/wmi/_WmiQualifierSet.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/_WmiCalls.h"

namespace DEZE {

_WmiQualifierSet::_WmiQualifierSet(const IWbemQualifierSetPtr& qualifiers)
    : m_qualifiers(qualifiers) {}

unsigned long _WmiQualifierSet::getCount() const {
    if (!m_qualifiers)
        return 0;
    _WmiSafeArrayOut names;
    throwIfFailed(m_qualifiers->GetNames(0, &names), L"IWbemQualifierSet::GetNames() failed");
    return names.count();
}

WmiQualifier _WmiQualifierSet::get(unsigned long index) const {
    if (!m_qualifiers)
        throwLibraryError(L"Index out of bounds");
    IWbemQualifierSet* set = m_qualifiers;
    throwIfFailed(set->BeginEnumeration(0), L"IWbemQualifierSet::BeginEnumeration() failed");
    auto enumeration = _wmiEnumerationScope([set] { return set->EndEnumeration(); });
    for (unsigned long skipped = 0; skipped < index; ++skipped) {
        const HRESULT hr = set->Next(0, nullptr, nullptr, nullptr);
        if (hr != S_OK) {
            // The end of the enumeration comes to light in the fetch below.
            throwIfFailed(hr, L"IWbemQualifierSet::Next() failed");
            break;
        }
    }
    _WmiBstrOut name;
    _variant_t value;
    LONG flavor = 0;
    const HRESULT hr = set->Next(0, &name, &value, &flavor);
    if (hr != S_OK)
        throw WmiException(hr, L"Index out of bounds");
    throwIfFailed(enumeration.end(), L"IWbemQualifierSet::EndEnumeration() failed");
    return WmiQualifier(name.release(), value, flavor);
}

WmiQualifier _WmiQualifierSet::get(const _bstr_t& name) const {
    if (!m_qualifiers)
        throwLibraryError(L"Index out of bounds");
    _variant_t value;
    LONG flavor = 0;
    throwIfFailed(m_qualifiers->Get(name, 0, &value, &flavor), L"IWbemQualifierSet::Get() failed");
    return WmiQualifier(name, value, flavor);
}

void _WmiQualifierSet::put(const WmiQualifier& qualifier) {
    if (!m_qualifiers)
        throwLibraryError(L"Index out of bounds");
    _variant_t value = qualifier.getValue();
    throwIfFailed(m_qualifiers->Put(qualifier.getName(), &value, qualifier.getFlavor()),
                  L"IWbemQualifierSet::Put() failed");
}

void _WmiQualifierSet::remove(const _bstr_t& name) {
    if (!m_qualifiers)
        throwLibraryError(L"Index out of bounds");
    throwIfFailed(m_qualifiers->Delete(name), L"IWbemQualifierSet::Delete() failed");
}

} // namespace DEZE
