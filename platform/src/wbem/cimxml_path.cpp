// Object paths for the CIM-XML writer and reader, read through IWbemPath.
#include "cimxml.h"

#include "comref.h"

#include <objbase.h>
#include <wmiutils.h>

namespace zp::wbem {
namespace {

// Calls a GetXxx(ULONG* length, LPWSTR buffer) accessor twice: for the length, then the text.
template <typename Get>
HRESULT fetch(Get get, std::wstring& out) {
    ULONG length = 0;
    HRESULT hr = get(&length, nullptr);
    if (FAILED(hr))
        return hr;
    std::wstring buffer(length + 1, L'\0');
    length = static_cast<ULONG>(buffer.size());
    hr = get(&length, &buffer[0]);
    if (FAILED(hr))
        return hr;
    buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
    out = std::move(buffer);
    return S_OK;
}

} // namespace

HRESULT parseCimXmlPath(const std::wstring& text, CimXmlPath& path) {
    path = CimXmlPath();
    ComRef<IWbemPath> parser;
    HRESULT hr = CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemPath,
                                  reinterpret_cast<void**>(parser.put()));
    if (FAILED(hr))
        return hr;
    if (FAILED(parser->SetText(WBEMPATH_CREATE_ACCEPT_ALL, text.c_str())))
        return WBEM_E_INVALID_OBJECT_PATH;
    ULONGLONG info = 0;
    parser->GetInfo(0, &info);
    if (FAILED(fetch([&](ULONG* n, LPWSTR b) { return parser->GetClassName(n, b); },
                     path.className)) ||
        path.className.empty())
        return WBEM_E_INVALID_OBJECT_PATH;
    path.hasServer = SUCCEEDED(fetch([&](ULONG* n, LPWSTR b) { return parser->GetServer(n, b); },
                                     path.server)) &&
                     !path.server.empty();
    ULONG count = 0;
    parser->GetNamespaceCount(&count);
    for (ULONG i = 0; i < count; ++i) {
        std::wstring component;
        hr = fetch([&](ULONG* n, LPWSTR b) { return parser->GetNamespaceAt(i, n, b); }, component);
        if (FAILED(hr))
            return WBEM_E_INVALID_OBJECT_PATH;
        path.namespaces.push_back(std::move(component));
    }
    path.singleton = (info & WBEMPATH_INFO_IS_SINGLETON) != 0;
    ComRef<IWbemPathKeyList> keys;
    if (SUCCEEDED(parser->GetKeyList(keys.put())) && keys) {
        ULONG keyCount = 0;
        keys->GetCount(&keyCount);
        for (ULONG i = 0; i < keyCount; ++i) {
            CimXmlPath::Key key;
            ULONG length = 0;
            VARIANT value;
            VariantInit(&value);
            ULONG type = 0;
            hr = keys->GetKey2(i, 0, &length, nullptr, &value, &type);
            VariantClear(&value);
            if (FAILED(hr))
                return WBEM_E_INVALID_OBJECT_PATH;
            std::wstring name(length + 1, L'\0');
            length = static_cast<ULONG>(name.size());
            hr = keys->GetKey2(i, 0, &length, &name[0], &value, &type);
            if (FAILED(hr))
                return WBEM_E_INVALID_OBJECT_PATH;
            name.resize(wcsnlen(name.c_str(), name.size()));
            key.name = std::move(name);
            key.value.Attach(value);
            key.cimType = type;
            path.keys.push_back(std::move(key));
        }
    }
    return S_OK;
}

std::wstring cimXmlKeyText(const CimXmlPath::Key& key) {
    const VARIANT& v = key.value;
    switch (v.vt) {
    case VT_BOOL:
        return v.boolVal ? L"TRUE" : L"FALSE";
    case VT_I4:
        return std::to_wstring(v.lVal);
    case VT_BSTR:
        return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring();
    default: {
        _variant_t source(v), text;
        if (SUCCEEDED(VariantChangeType(&text, &source, 0, VT_BSTR)) && text.bstrVal)
            return std::wstring(text.bstrVal, SysStringLen(text.bstrVal));
        return std::wstring();
    }
    }
}

std::wstring cimXmlPathText(const CimXmlPath& path) {
    std::wstring out;
    if (path.hasServer)
        out += L"\\\\" + path.server;
    for (size_t i = 0; i < path.namespaces.size(); ++i) {
        if (i || path.hasServer)
            out += L'\\';
        out += path.namespaces[i];
    }
    if (!out.empty())
        out += L':';
    out += path.className;
    if (path.singleton)
        return out + L"=@";
    for (size_t i = 0; i < path.keys.size(); ++i) {
        const CimXmlPath::Key& key = path.keys[i];
        out += i ? L"," : key.name.empty() ? L"" : L".";
        if (!key.name.empty())
            out += key.name;
        out += L'=';
        const std::wstring text = cimXmlKeyText(key);
        const bool quoted =
            key.value.vt == VT_BSTR && key.cimType != CIM_SINT64 && key.cimType != CIM_UINT64;
        if (!quoted) {
            out += text;
            continue;
        }
        out += L'"';
        for (wchar_t c : text) {
            if (c == L'"' || c == L'\\')
                out += L'\\';
            out += c;
        }
        out += L'"';
    }
    return out;
}

} // namespace zp::wbem
