#include "zudava/wmi/_WmiPropertySet.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/_WmiCalls.h"

namespace DEZE {

unsigned long _WmiPropertyWalk::count(IWbemClassObject* object, long flags) {
    _WmiSafeArrayOut names;
    throwIfFailed(object->GetNames(nullptr, flags, nullptr, &names),
                  L"IWbemClassObject::GetNames() failed");
    return names.count();
}

void _WmiPropertyWalk::fetch(IWbemClassObject* object, unsigned long index, long flags,
                             _bstr_t& name, _variant_t& value, long& type) {
    throwIfFailed(object->BeginEnumeration(flags), L"IWbemClassObject::BeginEnumeration() failed");
    auto enumeration = _wmiEnumerationScope([object] { return object->EndEnumeration(); });
    for (unsigned long skipped = 0; skipped < index; ++skipped) {
        const HRESULT hr = object->Next(0, nullptr, nullptr, nullptr, nullptr);
        if (hr != S_OK) {
            // The end of the enumeration comes to light in the fetch below.
            throwIfFailed(hr, L"IWbemClassObject::Next() failed");
            break;
        }
    }
    _WmiBstrOut fetchedName;
    _variant_t fetchedValue;
    CIMTYPE fetchedType = 0;
    const HRESULT hr = object->Next(0, &fetchedName, &fetchedValue, &fetchedType, nullptr);
    if (hr != S_OK)
        throw WmiException(hr, L"Index out of bounds");
    throwIfFailed(enumeration.end(), L"IWbemClassObject::EndEnumeration() failed");
    name = fetchedName.release();
    VARIANT fetched = fetchedValue.Detach();
    value.Attach(fetched);
    type = fetchedType;
}

IWbemQualifierSetPtr _WmiPropertyWalk::qualifiersOf(IWbemClassObject* object, const _bstr_t& name,
                                                    bool systemAllowed) {
    IWbemQualifierSetPtr qualifiers;
    const HRESULT hr = object->GetPropertyQualifierSet(name, &qualifiers);
    // System properties have no qualifier set; an object's own lookups by name still read them.
    if (!(systemAllowed && hr == static_cast<HRESULT>(WBEM_E_SYSTEM_PROPERTY)))
        throwIfFailed(hr, L"IWbemClassObject::GetPropertyQualifierSet() failed");
    return qualifiers;
}

_WmiPropertySet::_WmiPropertySet(const IWbemClassObjectPtr& object, long enumFlags)
    : m_object(object), m_enumFlags(enumFlags) {}

unsigned long _WmiPropertySet::getCount() const {
    if (!m_object)
        return 0;
    return _WmiPropertyWalk::count(m_object, m_enumFlags);
}

WmiProperty _WmiPropertySet::get(unsigned long index) const {
    if (!m_object)
        throwLibraryError(L"GetInterfacePtr failed.");
    // A reference of the walk's own keeps the object alive whatever the caller does meanwhile.
    const IWbemClassObjectPtr object = m_object;
    _bstr_t name;
    _variant_t value;
    long type = 0;
    _WmiPropertyWalk::fetch(object, index, m_enumFlags, name, value, type);
    const IWbemQualifierSetPtr qualifiers = _WmiPropertyWalk::qualifiersOf(object, name, false);
    return WmiProperty(name, value, type, qualifiers);
}

WmiProperty _WmiPropertySet::get(const _bstr_t& name) const {
    if (!m_object)
        throwLibraryError(L"Index out of bounds");
    _variant_t value;
    CIMTYPE type = 0;
    throwIfFailed(m_object->Get(name, 0, &value, &type, nullptr),
                  L"IWbemClassObject::Get() failed");
    const IWbemQualifierSetPtr qualifiers = _WmiPropertyWalk::qualifiersOf(m_object, name, true);
    return WmiProperty(name, value, type, qualifiers);
}

void _WmiPropertySet::put(const WmiProperty& property) {
    if (!m_object)
        throwLibraryError(L"Index out of bounds");
    _variant_t value = property.getValue();
    throwIfFailed(m_object->Put(property.getName(), 0, &value, 0),
                  L"IWbemClassObject::Put() failed");
}

} // namespace DEZE
