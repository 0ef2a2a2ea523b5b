// The set-up the benchmarks of the embedded WMI service share: a machine state folder of the
// run's own, a connection to root\default, and classes and instances stored through public COM.
// Set-up failures throw, so a benchmark never measures a half-filled repository.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

namespace bench {

inline void must(HRESULT hr, const char* what) {
    if (FAILED(hr))
        throw std::runtime_error(std::string(what) + " failed");
}

// One reference of a COM object, released at the end of its scope.
template <class T>
struct Held {
    T* p = nullptr;

    Held() = default;
    Held(Held&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
    Held& operator=(Held&& other) noexcept {
        std::swap(p, other.p);
        return *this;
    }
    ~Held() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

// A fresh machine state folder named "<prefix>-XXXXXX" in the temporary folder, set as
// ZUDAVA_STATE_DIR and removed with the object. Define it at namespace scope, so that it is set
// before the service is first used. A child process of the run passes `own` false: it uses the
// folder its parent set and leaves it in place.
class StateFolder {
public:
    explicit StateFolder(const char* prefix, bool own = true) : m_own(own) {
        if (!own)
            return;
        m_path = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX"));
        if (!mkdtemp(&m_path[0]))
            throw std::runtime_error("mkdtemp failed");
        setenv("ZUDAVA_STATE_DIR", m_path.c_str(), 1);
    }
    ~StateFolder() {
        if (!m_own)
            return;
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    StateFolder(const StateFolder&) = delete;
    StateFolder& operator=(const StateFolder&) = delete;

    const std::string& path() const { return m_path; }

private:
    bool m_own;
    std::string m_path;
};

// A new connection to root\default; the caller owns the reference.
inline IWbemServices* connectDefault() {
    Held<IWbemLocator> locator;
    must(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                          reinterpret_cast<void**>(&locator.p)),
         "CoCreateInstance");
    IWbemServices* services = nullptr;
    must(locator->ConnectServer(_bstr_t(L"root\\default"), nullptr, nullptr, nullptr, 0, nullptr,
                                nullptr, &services),
         "ConnectServer");
    return services;
}

// A new, empty class named `name`, not yet stored.
inline Held<IWbemClassObject> newClass(IWbemServices* services, const wchar_t* name) {
    Held<IWbemClassObject> cls;
    must(services->GetObject(nullptr, 0, nullptr, &cls.p, nullptr), "GetObject");
    _variant_t className(name);
    must(cls->Put(L"__CLASS", 0, &className, 0), "Put __CLASS");
    return cls;
}

// Sets the qualifier `name` of `property` of `cls`, or of the class itself when `property` is
// null.
inline void qualify(IWbemClassObject* cls, const wchar_t* property, const wchar_t* name,
                    _variant_t value) {
    Held<IWbemQualifierSet> qualifiers;
    if (property)
        must(cls->GetPropertyQualifierSet(property, &qualifiers.p), "GetPropertyQualifierSet");
    else
        must(cls->GetQualifierSet(&qualifiers.p), "GetQualifierSet");
    must(qualifiers->Put(name, &value, 0), "Put qualifier");
}

inline Held<IWbemClassObject> storedClass(IWbemServices* services, const wchar_t* name) {
    Held<IWbemClassObject> cls;
    must(services->GetObject(_bstr_t(name), 0, nullptr, &cls.p, nullptr), "GetObject");
    return cls;
}

struct Property {
    const wchar_t* name;
    CIMTYPE type;
    bool key = false;
};

// Stores the class `name` with `properties` in their order, and returns it as stored.
inline Held<IWbemClassObject> storeClass(IWbemServices* services, const wchar_t* name,
                                         std::initializer_list<Property> properties) {
    {
        Held<IWbemClassObject> cls = newClass(services, name);
        for (const Property& property : properties) {
            must(cls->Put(property.name, 0, nullptr, property.type), "Put property");
            if (property.key)
                qualify(cls.p, property.name, L"key", _variant_t(true));
        }
        must(services->PutClass(cls.p, WBEM_FLAG_CREATE_ONLY, nullptr, nullptr), "PutClass");
    }
    return storedClass(services, name);
}

using Values = std::initializer_list<std::pair<const wchar_t*, _variant_t>>;

// A new instance of `cls` holding `values`, not yet stored.
inline Held<IWbemClassObject> spawnInstance(IWbemClassObject* cls, Values values) {
    Held<IWbemClassObject> instance;
    must(cls->SpawnInstance(0, &instance.p), "SpawnInstance");
    for (const auto& [name, value] : values) {
        _variant_t copy(value);
        must(instance->Put(name, 0, &copy, 0), "Put");
    }
    return instance;
}

// Stores a new instance of `cls` holding `values`.
inline void putInstance(IWbemServices* services, IWbemClassObject* cls, Values values) {
    must(services->PutInstance(spawnInstance(cls, values).p, WBEM_FLAG_CREATE_ONLY, nullptr,
                               nullptr),
         "PutInstance");
}

} // namespace bench
