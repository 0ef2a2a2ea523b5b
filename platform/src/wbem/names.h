// How the service compares names: namespaces, classes, properties and qualifiers match without
// regard to case and keep the case they were created with. Folding covers ASCII and Latin-1,
// the letters WMI names are made of in practice. Not installed.
#pragma once

#include <string>

namespace zp::wbem {

inline wchar_t foldedUnit(wchar_t c) {
    if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<wchar_t>(c + 0x20);
    return c;
}

inline std::wstring foldCase(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& c : folded)
        c = foldedUnit(c);
    return folded;
}

inline bool sameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldedUnit(a[i]) != foldedUnit(b[i]))
            return false;
    }
    return true;
}

} // namespace zp::wbem
