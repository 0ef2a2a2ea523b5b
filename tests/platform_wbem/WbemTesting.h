// What the WMI service's conformance tests share: COM on the test's thread, a locator, and a
// namespace of the test's own, so that no test sees another's classes.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "support/Host.h"

namespace wbem_testing {

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemQualifierSet, __uuidof(IWbemQualifierSet));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IWbemCallResult, __uuidof(IWbemCallResult));

// Next's and Skip's timeout for "wait as long as it takes".
constexpr LONG kInfinite = -1; // WBEM_INFINITE as the LONG these calls take

inline std::string narrow(const std::wstring& text) {
    return std::string(static_cast<const char*>(_bstr_t(text.c_str())));
}

// WMI's status codes as HRESULTs (mingw declares them unsigned).
template <class Code>
constexpr HRESULT status(Code code) {
    return static_cast<HRESULT>(code);
}

// The texts of a SAFEARRAY of BSTR (GetNames' answer), which is destroyed.
inline std::vector<std::wstring> takeNames(SAFEARRAY* array) {
    std::vector<std::wstring> names;
    if (!array)
        return names;
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(array, &vt);
    EXPECT_EQ(VT_BSTR, vt);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    for (LONG i = low; i <= high; ++i) {
        BSTR name = nullptr;
        SafeArrayGetElement(array, &i, &name);
        names.emplace_back(name ? name : L"");
        SysFreeString(name);
    }
    SafeArrayDestroy(array);
    return names;
}

class ComScope {
public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

inline IWbemLocatorPtr makeLocator() {
    IWbemLocatorPtr locator;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IWbemLocator, reinterpret_cast<void**>(&locator)));
    return locator;
}

inline HRESULT connect(IWbemLocator* locator, const wchar_t* resource, IWbemServicesPtr& services) {
    services = nullptr;
    return locator->ConnectServer(_bstr_t(resource), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                  &services);
}

inline _variant_t get(IWbemClassObject* object, const wchar_t* name, CIMTYPE* type = nullptr) {
    _variant_t value;
    EXPECT_EQ(S_OK, object->Get(name, 0, &value, type, nullptr)) << "Get " << narrow(name);
    return value;
}

inline std::wstring text(IWbemClassObject* object, const wchar_t* name) {
    const _variant_t value = get(object, name);
    return value.vt == VT_BSTR ? std::wstring(value.bstrVal) : L"<not text>";
}

inline void set(IWbemClassObject* object, const wchar_t* name, _variant_t value, CIMTYPE type = 0) {
    EXPECT_EQ(S_OK, object->Put(name, 0, &value, type)) << "Put " << narrow(name);
}

struct PropertyDef {
    const wchar_t* name;
    CIMTYPE type;
    bool key = false;
};

// A test that stores classes and instances: it works in a namespace made for it under root.
class WbemTest : public testing::Test {
protected:
    void SetUp() override {
        if (testing_support::underWine())
            GTEST_SKIP() << "Wine's WMI does not store classes, instances or namespaces";
        ASSERT_EQ(S_OK, m_com.result());
        m_locator.Attach(makeLocator().Detach());
        ASSERT_TRUE(m_locator);
        IWbemServicesPtr root;
        ASSERT_EQ(S_OK, connect(m_locator, L"root", root));
        static std::atomic<int> counter{0};
        m_name =
            L"test" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        IWbemClassObjectPtr namespaceClass;
        ASSERT_EQ(S_OK,
                  root->GetObject(_bstr_t(L"__NAMESPACE"), 0, nullptr, &namespaceClass, nullptr));
        IWbemClassObjectPtr ns;
        ASSERT_EQ(S_OK, namespaceClass->SpawnInstance(0, &ns));
        set(ns, L"Name", _variant_t(m_name.c_str()));
        ASSERT_EQ(S_OK, root->PutInstance(ns, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
        m_path = L"root\\" + m_name;
        ASSERT_EQ(S_OK, connect(m_locator, m_path.c_str(), m_services));
    }

    // Defines and stores a class; returns it as stored.
    IWbemClassObjectPtr defineClass(const wchar_t* name, const wchar_t* superclass,
                                    std::initializer_list<PropertyDef> properties,
                                    bool abstract = false) {
        IWbemClassObjectPtr cls;
        if (superclass) {
            IWbemClassObjectPtr parent = object(superclass);
            if (!parent)
                return nullptr;
            EXPECT_EQ(S_OK, parent->SpawnDerivedClass(0, &cls));
        } else {
            EXPECT_EQ(S_OK, m_services->GetObject(nullptr, 0, nullptr, &cls, nullptr));
        }
        if (!cls)
            return nullptr;
        set(cls, L"__CLASS", _variant_t(name));
        for (const PropertyDef& property : properties) {
            EXPECT_EQ(S_OK, cls->Put(property.name, 0, nullptr, property.type));
            if (property.key)
                qualify(cls, property.name, L"key");
        }
        if (abstract) {
            IWbemQualifierSetPtr qualifiers;
            EXPECT_EQ(S_OK, cls->GetQualifierSet(&qualifiers));
            _variant_t yes(true);
            EXPECT_EQ(S_OK, qualifiers->Put(L"abstract", &yes, 0));
        }
        EXPECT_EQ(S_OK, m_services->PutClass(cls, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr))
            << "PutClass " << narrow(name);
        return object(name);
    }

    static void qualify(IWbemClassObject* cls, const wchar_t* property, const wchar_t* qualifier) {
        IWbemQualifierSetPtr qualifiers;
        ASSERT_EQ(S_OK, cls->GetPropertyQualifierSet(property, &qualifiers));
        _variant_t yes(true);
        ASSERT_EQ(S_OK, qualifiers->Put(qualifier, &yes, 0));
    }

    IWbemClassObjectPtr object(const wchar_t* path) {
        IWbemClassObjectPtr found;
        const HRESULT hr = m_services->GetObject(_bstr_t(path), 0, nullptr, &found, nullptr);
        EXPECT_EQ(S_OK, hr) << "GetObject " << narrow(path);
        return found;
    }

    HRESULT getStatus(const wchar_t* path) {
        IWbemClassObjectPtr found;
        return m_services->GetObject(_bstr_t(path), 0, nullptr, &found, nullptr);
    }

    IWbemClassObjectPtr spawn(const wchar_t* className) {
        IWbemClassObjectPtr cls = object(className);
        IWbemClassObjectPtr instance;
        if (cls) {
            EXPECT_EQ(S_OK, cls->SpawnInstance(0, &instance));
        }
        return instance;
    }

    HRESULT put(IWbemClassObject* instance, LONG flags = WBEM_FLAG_CREATE_ONLY) {
        return m_services->PutInstance(instance, flags, nullptr, nullptr);
    }

    // Every object an enumerator yields, one at a time.
    static std::vector<IWbemClassObjectPtr> drain(IEnumWbemClassObject* enumerator) {
        std::vector<IWbemClassObjectPtr> objects;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            const HRESULT hr = enumerator->Next(kInfinite, 1, &object, &returned);
            if (returned == 0) {
                EXPECT_EQ(status(WBEM_S_FALSE), hr);
                return objects;
            }
            objects.push_back(IWbemClassObjectPtr(object, false));
        }
    }

    std::vector<std::wstring> names(const std::vector<IWbemClassObjectPtr>& objects,
                                    const wchar_t* property) {
        std::vector<std::wstring> result;
        for (const auto& o : objects)
            result.push_back(text(o, property));
        return result;
    }

    ComScope m_com;
    IWbemLocatorPtr m_locator;
    IWbemServicesPtr m_services;
    std::wstring m_name; // the namespace's name under root
    std::wstring m_path; // root\<name>
};

} // namespace wbem_testing
