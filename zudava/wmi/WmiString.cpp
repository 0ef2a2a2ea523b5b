#include "zudava/wmi/WmiString.h"

#include <vector>

namespace DEZE {

namespace {

_bstr_t ownCopy(const _bstr_t& text) {
    if (!static_cast<const wchar_t*>(text))
        return _bstr_t();
    BSTR copy = SysAllocStringLen(text, text.length());
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(copy, false);
}

} // namespace

WmiString::WmiString(const _bstr_t& text, bool utf8) : m_text(ownCopy(text)) {
    if (!utf8)
        return;
    const wchar_t* wide = m_text;
    // The terminator is converted too, so the narrow text ends where the wide one does.
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return;
    std::vector<char> narrow(static_cast<size_t>(size));
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow.data(), size, nullptr, nullptr) > 0)
        m_text = _bstr_t(narrow.data());
}

WmiString::WmiString(const WmiString& other) : m_text(other.m_text) {}

WmiString& WmiString::operator=(const WmiString& other) {
    m_text = other.m_text;
    return *this;
}

WmiString::~WmiString() = default;

} // namespace DEZE
