// How the WMI service compares names: namespaces, classes, properties, methods, qualifiers and
// context values compare without regard to case and keep the case they were written with.
// Not installed.
#pragma once

#include <cstddef>
#include <string>

namespace zp::wbem {

// Folds ASCII and Latin-1 letters to upper case, which covers the letters of names written by
// hand; other units compare as they are.
inline wchar_t foldChar(wchar_t c) {
    if (c >= L'a' && c <= L'z')
        return static_cast<wchar_t>(c - (L'a' - L'A'));
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<wchar_t>(c - 0x20);
    return c;
}

bool sameName(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength);
inline bool sameName(const std::wstring& a, const std::wstring& b) {
    return sameName(a.data(), a.size(), b.data(), b.size());
}
inline bool sameName(const std::wstring& a, const wchar_t* begin, const wchar_t* end) {
    return sameName(a.data(), a.size(), begin, static_cast<size_t>(end - begin));
}
bool sameName(const std::wstring& a, const wchar_t* b); // b is NUL-terminated

// The folded form used to key maps and indexes by name.
std::wstring foldName(const std::wstring& name);

} // namespace zp::wbem
