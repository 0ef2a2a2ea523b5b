// Arbitrary text through IWbemPath::SetText under every mode, then GetText of every form: only
// Windows' codes come back, a refused text leaves the path as it was, and a text that parsed
// reads back, from its own full form, as the same keys.
#include <windows.h>

#include <wbemcli.h>
#include <wmiutils.h>

#include <stdlib.h>

#include <cstdint>
#include <string>

namespace {

const LONG kForms[] = {0,
                       WBEMPATH_GET_RELATIVE_ONLY,
                       WBEMPATH_GET_SERVER_TOO,
                       WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY,
                       WBEMPATH_GET_NAMESPACE_ONLY,
                       WBEMPATH_GET_ORIGINAL,
                       0x40,
                       -1};

void check(bool condition) {
    if (!condition)
        abort();
}

IWbemPath* create() {
    IWbemPath* path = nullptr;
    check(CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemPath,
                           reinterpret_cast<void**>(&path)) == S_OK);
    return path;
}

// GetText of one form with the two calls; an unknown form must be refused.
std::wstring text(IWbemPath* path, LONG form, HRESULT* status = nullptr) {
    ULONG length = 0;
    HRESULT hr = path->GetText(form, &length, nullptr);
    if (status)
        *status = hr;
    if (hr != S_OK)
        return std::wstring();
    std::wstring result(length, L'\0');
    check(path->GetText(form, &length, &result[0]) == S_OK);
    check(length == result.size() && result.back() == 0);
    result.pop_back();
    return result;
}

// What identifies the keys: their count and the key list's quoted text.
std::wstring keys(IWbemPath* path) {
    IWbemPathKeyList* list = nullptr;
    if (path->GetKeyList(&list) != S_OK)
        return L"<no class>";
    ULONG count = 0;
    check(list->GetCount(&count) == S_OK);
    ULONG length = 0;
    check(list->GetText(WBEMPATH_QUOTEDTEXT, &length, nullptr) == S_OK);
    std::wstring result(length, L'\0');
    check(list->GetText(WBEMPATH_QUOTEDTEXT, &length, &result[0]) == S_OK);
    for (ULONG i = 0; i < count; ++i) {
        VARIANT value;
        ULONG type = 0, size = 0;
        check(list->GetKey2(i, 0, &size, nullptr, &value, &type) == S_OK);
        VariantClear(&value);
    }
    list->Release();
    return std::to_wstring(count) + L":" + result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    check(initialised);
    if (size < 1)
        return 0;
    const ULONG mode = data[0] & 0x1F; // the four modes and one bit no mode has
    std::wstring units;
    for (size_t i = 1; i < size; ++i)
        units.push_back(wchar_t(data[i]));

    IWbemPath* path = create();
    check(path->SetText(WBEMPATH_CREATE_ACCEPT_ALL, L"root:Before.K=1") == S_OK);
    const HRESULT hr = path->SetText(mode, units.c_str());
    check(hr == S_OK || hr == static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER));
    if (hr != S_OK) {
        check(text(path, WBEMPATH_GET_ORIGINAL) == L"root:Before.K=1");
        check(text(path, WBEMPATH_GET_SERVER_TOO) == L"\\\\.\\root:Before.K=1");
        path->Release();
        return 0;
    }
    for (LONG form : kForms) {
        HRESULT status = S_OK;
        text(path, form, &status);
        check(status == S_OK || (status == static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER) &&
                                 (form == 0x40 || form == -1)));
    }
    // The full form parses again, to the same parts and keys.
    const std::wstring full = text(path, WBEMPATH_GET_SERVER_TOO);
    IWbemPath* again = create();
    check(again->SetText(WBEMPATH_CREATE_ACCEPT_ALL, full.c_str()) == S_OK);
    check(text(again, WBEMPATH_GET_SERVER_TOO) == full);
    check(keys(again) == keys(path));
    again->Release();
    path->Release();
    return 0;
}
