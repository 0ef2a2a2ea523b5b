// Arbitrary bytes (read as UTF-8) through IWbemObjectTextSrc::CreateFromText: only the syntax
// error or an object comes back, and an object it made writes itself out and reads back.
#include <windows.h>

#include <wbemcli.h>

#include <stdlib.h>

#include <cstdint>
#include <string>

namespace {

void check(bool condition) {
    if (!condition)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    check(initialised);
    static IWbemObjectTextSrc* source = [] {
        IWbemObjectTextSrc* created = nullptr;
        check(CoCreateInstance(CLSID_WbemObjectTextSrc, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IWbemObjectTextSrc, reinterpret_cast<void**>(&created)) == S_OK);
        return created;
    }();
    if (size > 1 << 16)
        return 0;
    const int length = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(data),
                                           static_cast<int>(size), nullptr, 0);
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    check(text != nullptr);
    MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(data), static_cast<int>(size),
                        text, length);
    IWbemClassObject* object = nullptr;
    const HRESULT hr = source->CreateFromText(0, text, WMI_OBJ_TEXT_CIM_DTD_2_0, nullptr, &object);
    SysFreeString(text);
    check(hr == WBEM_S_NO_ERROR || hr == static_cast<HRESULT>(WBEM_E_INVALID_SYNTAX));
    check((hr == WBEM_S_NO_ERROR) == (object != nullptr));
    if (object) {
        BSTR written = nullptr;
        if (source->GetText(0, object, WMI_OBJ_TEXT_WMI_DTD_2_0, nullptr, &written) == S_OK) {
            IWbemClassObject* again = nullptr;
            const HRESULT back =
                source->CreateFromText(0, written, WMI_OBJ_TEXT_CIM_DTD_2_0, nullptr, &again);
            check(back == WBEM_S_NO_ERROR || back == static_cast<HRESULT>(WBEM_E_INVALID_SYNTAX));
            if (again)
                again->Release();
        }
        SysFreeString(written);
        object->Release();
    }
    return 0;
}
