#include "zudava/wmi/_WmiMethodSet.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/_WmiCalls.h"

namespace DEZE {

namespace {

IWbemQualifierSetPtr methodQualifiers(IWbemClassObject* object, const _bstr_t& name) {
    IWbemQualifierSetPtr qualifiers;
    throwIfFailed(object->GetMethodQualifierSet(name, &qualifiers),
                  L"IWbemClassObject::GetMethodQualifierSet() failed");
    return qualifiers;
}

} // namespace

_WmiMethodSet::_WmiMethodSet(const IWbemClassObjectPtr& object) : m_object(object) {}

unsigned long _WmiMethodSet::getCount() const {
    if (!m_object)
        return 0;
    IWbemClassObject* object = m_object;
    throwIfFailed(object->BeginMethodEnumeration(0),
                  L"IWbemClassObject::BeginMethodEnumeration() failed");
    auto enumeration = _wmiEnumerationScope([object] { return object->EndMethodEnumeration(); });
    unsigned long count = 0;
    for (;;) {
        const HRESULT hr = object->NextMethod(0, nullptr, nullptr, nullptr);
        if (hr != S_OK) {
            throwIfFailed(hr, L"IWbemClassObject::Next() failed");
            break;
        }
        ++count;
    }
    throwIfFailed(enumeration.end(), L"IWbemClassObject::EndMethodEnumeration() failed");
    return count;
}

WmiMethod _WmiMethodSet::get(unsigned long index) const {
    if (!m_object)
        throwLibraryError(L"Index out of bounds");
    IWbemClassObject* object = m_object;
    throwIfFailed(object->BeginMethodEnumeration(0),
                  L"IWbemClassObject::BeginMethodEnumeration() failed");
    auto enumeration = _wmiEnumerationScope([object] { return object->EndMethodEnumeration(); });
    for (unsigned long skipped = 0; skipped < index; ++skipped) {
        const HRESULT hr = object->NextMethod(0, nullptr, nullptr, nullptr);
        if (hr != S_OK) {
            // The end of the enumeration comes to light in the fetch below.
            throwIfFailed(hr, L"IWbemClassObject::Next() failed");
            break;
        }
    }
    _WmiBstrOut name;
    IWbemClassObjectPtr inParameters;
    IWbemClassObjectPtr outParameters;
    const HRESULT hr = object->NextMethod(0, &name, &inParameters, &outParameters);
    if (hr != S_OK)
        throw WmiException(hr, L"Index out of bounds");
    throwIfFailed(enumeration.end(), L"IWbemClassObject::EndMethodEnumeration() failed");
    const _bstr_t methodName = name.release();
    const IWbemQualifierSetPtr qualifiers = methodQualifiers(object, methodName);
    return WmiMethod(methodName, inParameters, outParameters, qualifiers);
}

WmiMethod _WmiMethodSet::get(const _bstr_t& name) const {
    if (!m_object)
        throwLibraryError(L"Index out of bounds");
    IWbemClassObjectPtr inParameters;
    IWbemClassObjectPtr outParameters;
    throwIfFailed(m_object->GetMethod(name, 0, &inParameters, &outParameters),
                  L"IWbemClassObject::Get() failed");
    const IWbemQualifierSetPtr qualifiers = methodQualifiers(m_object, name);
    return WmiMethod(name, inParameters, outParameters, qualifiers);
}

} // namespace DEZE
