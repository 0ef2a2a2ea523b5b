#include "names.h"

namespace zp::wbem {

bool sameName(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; ++i)
        if (a[i] != b[i] && foldChar(a[i]) != foldChar(b[i]))
            return false;
    return true;
}

bool sameName(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0 || (a[i] != b[i] && foldChar(a[i]) != foldChar(b[i])))
            return false;
    }
    return b[i] == 0;
}

std::wstring foldName(const std::wstring& name) {
    std::wstring folded = name;
    for (wchar_t& c : folded)
        c = foldChar(c);
    return folded;
}

} // namespace zp::wbem
