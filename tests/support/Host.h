// What the tests need to know about the host they run on.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// Whether the process's ANSI code page is UTF-8 (else it is Windows-1252): tests that depend on
// it expect either page's results.
inline bool ansiIsUtf8() {
    return GetACP() == CP_UTF8;
}

// Whether this is a Windows build running under Wine. Wine accepts a few argument combinations
// that Windows documents as errors; tests of those errors hold for Windows and our platform only.
inline bool underWine() {
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Wide text from explicit UTF-16 units, the same on every host (wchar_t may be 32 bits wide).
template <typename... Units>
std::wstring units(Units... u) {
    return std::wstring{static_cast<wchar_t>(u)...};
}

} // namespace testing_support
