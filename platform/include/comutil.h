// COM support: the reference-counted BSTR wrapper `_bstr_t`.
//
// Copies of a `_bstr_t` share one counted block holding the BSTR and, once someone asks for it,
// the text's narrow form in the ANSI code page. The count is atomic and the narrow form is
// published with a compare-and-swap, so copies may be used from several threads at once.
#pragma once

#include <atomic>
#include <new>

#include "windows.h"

class _com_error;
class _bstr_t;
class _variant_t;

// Throws `_com_error(hr)`.
[[noreturn]] ZP_API void WINAPI _com_issue_error(HRESULT hr);

namespace _com_util {
inline void CheckError(HRESULT hr) {
    if (FAILED(hr))
        _com_issue_error(hr);
}
// ANSI code page text to a new BSTR (null for null); failures raise `_com_error`.
ZP_API BSTR WINAPI ConvertStringToBSTR(const char* source);
// A BSTR, its whole length plus the terminating NUL, to new[]-allocated ANSI code page text
// (null for null); failures raise `_com_error`.
ZP_API char* WINAPI ConvertBSTRToString(BSTR source);
} // namespace _com_util

class _bstr_t {
public:
    _bstr_t() noexcept : m_Data(nullptr) {}
    _bstr_t(const _bstr_t& other) noexcept : m_Data(other.m_Data) { _AddRef(); }
    _bstr_t(_bstr_t&& other) noexcept : m_Data(other.m_Data) { other.m_Data = nullptr; }
    _bstr_t(const char* text) : m_Data(Data_t::Make(text)) {}
    _bstr_t(const wchar_t* text) : m_Data(Data_t::Make(text)) {}
    _bstr_t(BSTR bstr, bool copy) : m_Data(Data_t::Make(bstr, copy)) {}
    ~_bstr_t() noexcept { _Free(); }

    _bstr_t& operator=(const _bstr_t& other) noexcept {
        if (m_Data != other.m_Data) {
            _Free();
            m_Data = other.m_Data;
            _AddRef();
        }
        return *this;
    }
    _bstr_t& operator=(_bstr_t&& other) noexcept {
        if (this != &other) {
            _Free();
            m_Data = other.m_Data;
            other.m_Data = nullptr;
        }
        return *this;
    }
    _bstr_t& operator=(const char* text) { return *this = _bstr_t(text); }
    _bstr_t& operator=(const wchar_t* text) { return *this = _bstr_t(text); }

    _bstr_t& operator+=(const _bstr_t& other) {
        Data_t* joined = Data_t::Make(*this, other);
        _Free();
        m_Data = joined;
        return *this;
    }
    _bstr_t operator+(const _bstr_t& other) const {
        _bstr_t result(*this);
        result += other;
        return result;
    }
    friend _bstr_t operator+(const char* left, const _bstr_t& right) {
        return _bstr_t(left) + right;
    }
    friend _bstr_t operator+(const wchar_t* left, const _bstr_t& right) {
        return _bstr_t(left) + right;
    }

    operator const wchar_t*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }
    operator wchar_t*() const noexcept { return m_Data ? m_Data->m_wstr : nullptr; }
    operator const char*() const { return m_Data ? m_Data->GetString() : nullptr; }
    operator char*() const { return m_Data ? m_Data->GetString() : nullptr; }

    bool operator!() const noexcept { return !m_Data || !m_Data->m_wstr; }
    bool operator==(const _bstr_t& other) const noexcept { return _Compare(other) == 0; }
    bool operator!=(const _bstr_t& other) const noexcept { return _Compare(other) != 0; }
    bool operator<(const _bstr_t& other) const noexcept { return _Compare(other) < 0; }
    bool operator>(const _bstr_t& other) const noexcept { return _Compare(other) > 0; }
    bool operator<=(const _bstr_t& other) const noexcept { return _Compare(other) <= 0; }
    bool operator>=(const _bstr_t& other) const noexcept { return _Compare(other) >= 0; }

    // A new BSTR with the same text (copy) or the wrapped BSTR itself (no copy).
    BSTR copy(bool copy = true) const {
        if (!m_Data)
            return nullptr;
        return copy ? Data_t::Duplicate(m_Data->m_wstr) : m_Data->m_wstr;
    }
    unsigned int length() const noexcept { return m_Data ? ::SysStringLen(m_Data->m_wstr) : 0; }

    // Replaces the text with a copy of `bstr`.
    void Assign(BSTR bstr) { *this = _bstr_t(bstr, true); }
    // The wrapped BSTR by reference (an empty one is created first if there is none).
    BSTR& GetBSTR() {
        if (!m_Data)
            m_Data = Data_t::Make(static_cast<BSTR>(nullptr), false);
        m_Data->DropString();
        return m_Data->m_wstr;
    }
    // Frees the text and returns where a callee may store a new BSTR that this object then owns.
    BSTR* GetAddress() {
        Attach(nullptr);
        return &m_Data->m_wstr;
    }
    // Takes ownership of `bstr` without copying it.
    void Attach(BSTR bstr) {
        Data_t* data = Data_t::Make(bstr, false);
        _Free();
        m_Data = data;
    }
    // Gives up the BSTR to the caller; a text shared with other copies is copied instead.
    BSTR Detach() {
        if (!m_Data)
            return nullptr;
        BSTR result;
        if (m_Data->m_RefCount.load(std::memory_order_acquire) == 1) {
            result = m_Data->m_wstr;
            m_Data->m_wstr = nullptr;
        } else {
            result = Data_t::Duplicate(m_Data->m_wstr);
        }
        _Free();
        return result;
    }

private:
    class Data_t {
    public:
        static Data_t* Make(const char* text) {
            BSTR bstr = _com_util::ConvertStringToBSTR(text);
            return Wrap(bstr);
        }
        static Data_t* Make(const wchar_t* text) {
            BSTR bstr = ::SysAllocString(text);
            if (!bstr && text)
                _com_issue_error(E_OUTOFMEMORY);
            return Wrap(bstr);
        }
        static Data_t* Make(BSTR bstr, bool copy) { return Wrap(copy ? Duplicate(bstr) : bstr); }
        static Data_t* Make(const _bstr_t& left, const _bstr_t& right) {
            const UINT leftLength = left.length();
            const UINT rightLength = right.length();
            BSTR joined = ::SysAllocStringLen(nullptr, leftLength + rightLength);
            if (!joined)
                _com_issue_error(E_OUTOFMEMORY);
            if (leftLength)
                wmemcpy(joined, static_cast<const wchar_t*>(left), leftLength);
            if (rightLength)
                wmemcpy(joined + leftLength, static_cast<const wchar_t*>(right), rightLength);
            return Wrap(joined);
        }
        static BSTR Duplicate(BSTR bstr) {
            if (!bstr)
                return nullptr;
            BSTR copy = ::SysAllocStringByteLen(reinterpret_cast<const char*>(bstr),
                                                ::SysStringByteLen(bstr));
            if (!copy)
                _com_issue_error(E_OUTOFMEMORY);
            return copy;
        }

        void AddRef() noexcept { m_RefCount.fetch_add(1, std::memory_order_relaxed); }
        void Release() noexcept {
            if (m_RefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
                delete this;
        }
        char* GetString() const {
            char* narrow = m_str.load(std::memory_order_acquire);
            if (narrow || !m_wstr)
                return narrow;
            char* fresh = _com_util::ConvertBSTRToString(m_wstr);
            if (m_str.compare_exchange_strong(narrow, fresh, std::memory_order_acq_rel))
                return fresh;
            delete[] fresh; // another thread published its copy first
            return narrow;
        }
        // The narrow form goes stale when a caller may write the BSTR directly.
        void DropString() noexcept { delete[] m_str.exchange(nullptr); }

        BSTR m_wstr;
        mutable std::atomic<char*> m_str{nullptr};
        std::atomic<unsigned long> m_RefCount{1};

    private:
        explicit Data_t(BSTR bstr) noexcept : m_wstr(bstr) {}
        ~Data_t() {
            ::SysFreeString(m_wstr);
            delete[] m_str.load(std::memory_order_relaxed);
        }
        static Data_t* Wrap(BSTR bstr) {
            Data_t* data = new (std::nothrow) Data_t(bstr);
            if (!data) {
                ::SysFreeString(bstr);
                _com_issue_error(E_OUTOFMEMORY);
            }
            return data;
        }
    };

    void _AddRef() noexcept {
        if (m_Data)
            m_Data->AddRef();
    }
    void _Free() noexcept {
        if (m_Data) {
            m_Data->Release();
            m_Data = nullptr;
        }
    }
    // Unit-by-unit comparison over the BSTR lengths; a null text equals an empty one.
    int _Compare(const _bstr_t& other) const noexcept {
        if (m_Data == other.m_Data)
            return 0;
        const wchar_t* a = *this;
        const wchar_t* b = other;
        const unsigned int aLength = length();
        const unsigned int bLength = other.length();
        const unsigned int common = aLength < bLength ? aLength : bLength;
        for (unsigned int i = 0; i < common; ++i) {
            if (a[i] != b[i])
                return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        }
        return aLength < bLength ? -1 : (aLength == bLength ? 0 : 1);
    }

    Data_t* m_Data;
};
