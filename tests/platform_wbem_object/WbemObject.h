// Helpers for the class object tests: smart pointers, a class made from scratch, name lists.
#pragma once

#include <comdef.h>
#include <wbemcli.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform_wbem/WbemTesting.h"
#include "wbem/object.h"

_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemQualifierSet, __uuidof(IWbemQualifierSet));

// An empty class object, as the service hands out for an empty path.
inline IWbemClassObjectPtr emptyClass() {
    IWbemClassObjectPtr object;
    object.Attach(zp::wbem::newClass());
    return object;
}

// A new class named `name`, derived from `parent` when one is given.
inline IWbemClassObjectPtr newClass(const wchar_t* name, IWbemClassObject* parent = nullptr) {
    IWbemClassObjectPtr object;
    if (parent)
        EXPECT_EQ(S_OK, parent->SpawnDerivedClass(0, &object));
    else
        object.Attach(zp::wbem::newClass());
    _variant_t value(name);
    EXPECT_EQ(S_OK, object->Put(L"__CLASS", 0, &value, 0));
    return object;
}

inline HRESULT put(IWbemClassObject* object, const wchar_t* name, const _variant_t& value,
                   CIMTYPE type = 0) {
    return object->Put(name, 0, const_cast<_variant_t*>(&value), type);
}

inline _variant_t get(IWbemClassObject* object, const wchar_t* name, CIMTYPE* type = nullptr,
                      LONG* flavor = nullptr) {
    _variant_t value;
    EXPECT_EQ(S_OK, object->Get(name, 0, &value, type, flavor))
        << "Get " << static_cast<const char*>(_bstr_t(name));
    return value;
}

using wbem_testing::takeNames;

inline std::vector<std::wstring> propertyNames(IWbemClassObject* object, LONG flags,
                                               const wchar_t* qualifier = nullptr,
                                               VARIANT* value = nullptr) {
    SAFEARRAY* array = nullptr;
    EXPECT_EQ(S_OK, object->GetNames(qualifier, flags, value, &array));
    return takeNames(array);
}

inline std::wstring text(const _variant_t& value) {
    return value.vt == VT_BSTR ? std::wstring(value.bstrVal) : L"<not text>";
}

// A SAFEARRAY variant of the given strings.
inline _variant_t textArray(std::initializer_list<const wchar_t*> texts) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    LONG i = 0;
    for (const wchar_t* t : texts) {
        BSTR b = SysAllocString(t);
        SafeArrayPutElement(array, &i, b);
        SysFreeString(b);
        ++i;
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = array;
    return _variant_t(v, false);
}

inline const std::vector<std::wstring>& systemNames() {
    static const std::vector<std::wstring> names = {
        L"__GENUS",          L"__CLASS",      L"__SUPERCLASS", L"__DYNASTY",   L"__RELPATH",
        L"__PROPERTY_COUNT", L"__DERIVATION", L"__SERVER",     L"__NAMESPACE", L"__PATH"};
    return names;
}
