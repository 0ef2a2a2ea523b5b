// The object path benchmark's work, shared by the Linux program (Google Benchmark) and the
// Windows one that runs under Wine against Wine's wmiutils: 100,000 instance paths of three keys,
// each parsed and rendered whole.
#pragma once

#include <zudava/zudava.h>

#include <wbemcli.h>
#include <wmiutils.h>

#include <string>
#include <vector>

namespace bench {

constexpr size_t kPathCount = 100000;

inline std::vector<std::wstring> instancePaths() {
    std::vector<std::wstring> texts;
    texts.reserve(kPathCount);
    for (size_t i = 0; i < kPathCount; ++i)
        texts.push_back(L"\\\\HOST\\root\\cimv2:Zudava_LogicalDisk.DeviceId=\"D" +
                        std::to_wstring(i % 26) + L":\",Index=" + std::to_wstring(i) +
                        L",Volume=\"Volume " + std::to_wstring(i * 7919) + L"\"");
    return texts;
}

// What WmiObjectPath does for a path and its text, through the parser's interface alone: a new
// parser, SetText, the key count, and GetText with the server (length, then text). Returns the
// characters rendered, or 0 when a call failed.
inline size_t parseAndRender(const std::vector<std::wstring>& texts) {
    size_t total = 0;
    std::vector<wchar_t> buffer(512);
    for (const std::wstring& text : texts) {
        IWbemPath* path = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemPath,
                                    reinterpret_cast<void**>(&path))))
            return 0;
        IWbemPathKeyList* keys = nullptr;
        ULONG count = 0, length = 0;
        const bool ok = path->SetText(WBEMPATH_CREATE_ACCEPT_RELATIVE, text.c_str()) == S_OK &&
                        path->GetKeyList(&keys) == S_OK && keys->GetCount(&count) == S_OK &&
                        count == 3 &&
                        path->GetText(WBEMPATH_GET_SERVER_TOO, &length, nullptr) == S_OK &&
                        length <= buffer.size() &&
                        path->GetText(WBEMPATH_GET_SERVER_TOO, &length, buffer.data()) == S_OK;
        if (keys)
            keys->Release();
        path->Release();
        if (!ok)
            return 0;
        total += length;
    }
    return total;
}

// The same through WmiObjectPath: construction from the text (which reads and retypes every key)
// and toString.
inline size_t parseAndRenderObjectPaths(const std::vector<std::wstring>& texts) {
    size_t total = 0;
    for (const std::wstring& text : texts) {
        const DEZE::WmiObjectPath path{_bstr_t(text.c_str())};
        total += path.toString().length();
    }
    return total;
}

} // namespace bench
