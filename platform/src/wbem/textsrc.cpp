// WbemObjectTextSrc: class objects to CIM-XML text and back (cimxml_writer.cpp,
// cimxml_reader.cpp). The object has no state: one instance serves any number of threads.
#include <windows.h>

#include <wbemcli.h>

#include "../com/classes.h"
#include "../com/unknown.h"
#include "cimxml.h"

#include <new>
#include <string>

namespace zp::wbem {
namespace {

// A context value as a boolean (VT_BOOL, or any number: non-zero is true); `fallback` when the
// context does not hold it.
bool contextFlag(IWbemContext* context, const wchar_t* name, bool fallback) {
    if (!context)
        return fallback;
    VARIANT v;
    VariantInit(&v);
    if (FAILED(context->GetValue(name, 0, &v)))
        return fallback;
    bool result = fallback;
    if (v.vt == VT_BOOL)
        result = v.boolVal != VARIANT_FALSE;
    else if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
        result = v.lVal != 0;
    VariantClear(&v);
    return result;
}

// PathLevel: false when present but not a number.
bool contextLevel(IWbemContext* context, long& level) {
    level = 0;
    if (!context)
        return true;
    VARIANT v;
    VariantInit(&v);
    if (FAILED(context->GetValue(L"PathLevel", 0, &v)))
        return true;
    const bool ok = SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4));
    if (ok)
        level = v.lVal;
    VariantClear(&v);
    return ok;
}

class WbemObjectTextSrc final : public com::Unknown<WbemObjectTextSrc, IWbemObjectTextSrc> {
public:
    HRESULT STDMETHODCALLTYPE GetText(LONG flags, IWbemClassObject* object, ULONG format,
                                      IWbemContext* context, BSTR* text) override {
        if (text)
            *text = nullptr;
        if (flags != 0 || !object || !text ||
            (format != WMI_OBJ_TEXT_CIM_DTD_2_0 && format != WMI_OBJ_TEXT_WMI_DTD_2_0))
            return WBEM_E_INVALID_PARAMETER;
        CimXmlOptions options;
        options.wmiFormat = format == WMI_OBJ_TEXT_WMI_DTD_2_0;
        options.localOnly = contextFlag(context, L"LocalOnly", false);
        options.qualifiers = contextFlag(context, L"IncludeQualifiers", false);
        // "ClassOrigin" is the name the library's context keeps this option under.
        options.classOrigin = contextFlag(context, L"IncludeClassOrigin",
                                          contextFlag(context, L"ClassOrigin", false));
        options.excludeSystem = contextFlag(context, L"ExcludeSystemProperties", false);
        if (!contextLevel(context, options.pathLevel))
            return WBEM_E_INVALID_PARAMETER;
        std::wstring result;
        const HRESULT hr = writeCimXml(object, options, result);
        if (FAILED(hr))
            return hr;
        *text = SysAllocStringLen(result.data(), static_cast<UINT>(result.size()));
        return *text ? S_OK : WBEM_E_OUT_OF_MEMORY;
    }

    HRESULT STDMETHODCALLTYPE CreateFromText(LONG flags, BSTR text, ULONG format,
                                             IWbemContext* /*context*/,
                                             IWbemClassObject** object) override {
        if (object)
            *object = nullptr;
        if (flags != 0 || !text || !object ||
            (format != WMI_OBJ_TEXT_CIM_DTD_2_0 && format != WMI_OBJ_TEXT_WMI_DTD_2_0))
            return WBEM_E_INVALID_PARAMETER;
        return readCimXml(text, SysStringLen(text), object);
    }

private:
};

HRESULT createWbemObjectTextSrc(REFIID riid, void** object) {
    WbemObjectTextSrc* source = new (std::nothrow) WbemObjectTextSrc;
    if (!source)
        return E_OUTOFMEMORY;
    const HRESULT hr = source->QueryInterface(riid, object);
    source->Release();
    return hr;
}

const zp::com::ClassRegistration registration{CLSID_WbemObjectTextSrc, &createWbemObjectTextSrc};

} // namespace
} // namespace zp::wbem
