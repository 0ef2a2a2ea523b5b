// The read benchmark's work, shared by the Linux program (Google Benchmark, our service) and the
// Windows one that runs under Wine against Wine's own WMI: reads of the built-in class
// Win32_Service of root\cimv2 through public COM alone. On Linux the program stores the class and
// the same service names Wine's service lists first, so both sides read the same objects.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <string>
#include <vector>

namespace bench {

// The services a fresh Wine prefix lists, in its order.
inline const std::vector<std::wstring>& serviceNames() {
    static const std::vector<std::wstring> names = {
        L"BITS",     L"Eventlog",     L"FontCache",  L"FontCache3.0.0.0",
        L"HTTP",     L"LanmanServer", L"MountMgr",   L"MSIServer",
        L"NDIS",     L"nsiproxy",     L"PlugPlay",   L"RpcSs",
        L"Schedule", L"Spooler",      L"StiSvc",     L"TermService",
        L"winebus",  L"winehid",      L"wineusb",    L"Winmgmt",
        L"wuauserv", L"Winedevice1",  L"Winedevice2"};
    return names;
}

// A connection to root\cimv2, released with the object.
class Cimv2 {
public:
    Cimv2() {
        IWbemLocator* locator = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWbemLocator, reinterpret_cast<void**>(&locator))))
            return;
        BSTR name = SysAllocString(L"root\\cimv2");
        locator->ConnectServer(name, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &m_services);
        SysFreeString(name);
        locator->Release();
    }
    Cimv2(const Cimv2&) = delete;
    Cimv2& operator=(const Cimv2&) = delete;
    ~Cimv2() {
        if (m_services)
            m_services->Release();
    }
    IWbemServices* get() const { return m_services; }

private:
    IWbemServices* m_services = nullptr;
};

// Reads Name and State of an object: what a caller does with each object it gets. Returns
// whether both came back as text.
inline bool readObject(IWbemClassObject* object) {
    bool ok = true;
    for (const wchar_t* property : {L"Name", L"State"}) {
        VARIANT value;
        VariantInit(&value);
        ok = SUCCEEDED(object->Get(property, 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR &&
             ok;
        VariantClear(&value);
    }
    return ok;
}

// One forward-only enumeration of Win32_Service, ten objects per Next, each object read. Returns
// the objects read, or 0 when a call failed.
inline size_t enumerateServices(IWbemServices* services) {
    BSTR name = SysAllocString(L"Win32_Service");
    IEnumWbemClassObject* enumerator = nullptr;
    const HRESULT hr = services->CreateInstanceEnum(
        name, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &enumerator);
    SysFreeString(name);
    if (FAILED(hr))
        return 0;
    size_t read = 0;
    bool ok = true;
    for (;;) {
        IWbemClassObject* objects[10] = {};
        ULONG returned = 0;
        const HRESULT next = enumerator->Next(-1 /* WBEM_INFINITE */, 10, objects, &returned);
        for (ULONG i = 0; i < returned; ++i) {
            ok = readObject(objects[i]) && ok;
            objects[i]->Release();
        }
        read += returned;
        if (next != WBEM_S_NO_ERROR)
            break;
    }
    enumerator->Release();
    return ok ? read : 0;
}

// GetObject of each service by its path, each object read. Returns the objects read, or 0 when
// a call failed.
inline size_t getServices(IWbemServices* services) {
    size_t read = 0;
    for (const std::wstring& service : serviceNames()) {
        const std::wstring text = L"Win32_Service.Name=\"" + service + L"\"";
        BSTR path = SysAllocString(text.c_str());
        IWbemClassObject* object = nullptr;
        const HRESULT hr = services->GetObject(path, 0, nullptr, &object, nullptr);
        SysFreeString(path);
        if (FAILED(hr))
            return 0;
        const bool ok = readObject(object);
        object->Release();
        if (!ok)
            return 0;
        ++read;
    }
    return read;
}

} // namespace bench
