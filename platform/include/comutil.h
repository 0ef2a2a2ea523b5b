// COM support: the reference-counted BSTR wrapper `_bstr_t` and the VARIANT wrapper `_variant_t`.
//
// Copies of a `_bstr_t` share one counted block holding the BSTR and, once someone asks for it,
// the text's narrow form in the ANSI code page. The count is atomic and the narrow form is
// published with a compare-and-swap, so copies may be used from several threads at once.
#pragma once

#include <atomic>
#include <new>
#include <string.h>

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
    // The variant's text: a string is copied, anything else converted (failures raise).
    _bstr_t(const _variant_t& value);
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

// A VARIANT that owns its value: copies are deep (strings and arrays copied, interfaces
// referenced) and destruction clears it. Failures of the Automation calls raise `_com_error`.
//
// The integer constructors follow Windows' C++ types: `long` makes VT_I4, `int` VT_INT,
// `unsigned long` VT_UI4 and `unsigned int` VT_UINT, whatever their width on the host.
class _variant_t : public ::tagVARIANT {
public:
    _variant_t() noexcept { ::VariantInit(this); }
    _variant_t(const VARIANT& source) {
        ::VariantInit(this);
        _com_util::CheckError(::VariantCopy(this, const_cast<VARIANT*>(&source)));
    }
    _variant_t(const VARIANT* source) {
        if (!source)
            _com_issue_error(E_POINTER);
        ::VariantInit(this);
        _com_util::CheckError(::VariantCopy(this, const_cast<VARIANT*>(source)));
    }
    _variant_t(const _variant_t& other) {
        ::VariantInit(this);
        _com_util::CheckError(::VariantCopy(this, const_cast<_variant_t*>(&other)));
    }
    // Takes over `source` (which is left empty) unless `copy` asks for a copy.
    _variant_t(VARIANT& source, bool copy) {
        ::VariantInit(this);
        if (copy) {
            _com_util::CheckError(::VariantCopy(this, const_cast<VARIANT*>(&source)));
        } else {
            static_cast<VARIANT&>(*this) = source;
            V_VT(&source) = VT_EMPTY;
        }
    }
    _variant_t(short value, VARTYPE type = VT_I2) {
        if (type != VT_I2 && type != VT_BOOL)
            _com_issue_error(E_INVALIDARG);
        ::VariantInit(this);
        V_VT(this) = type;
        if (type == VT_BOOL)
            V_BOOL(this) = value ? VARIANT_TRUE : VARIANT_FALSE;
        else
            V_I2(this) = value;
    }
    _variant_t(long value, VARTYPE type = VT_I4) {
        if (type != VT_I4 && type != VT_ERROR && type != VT_BOOL)
            _com_issue_error(E_INVALIDARG);
        ::VariantInit(this);
        V_VT(this) = type;
        if (type == VT_BOOL)
            V_BOOL(this) = value ? VARIANT_TRUE : VARIANT_FALSE;
        else if (type == VT_ERROR)
            V_ERROR(this) = static_cast<SCODE>(value);
        else
            V_I4(this) = static_cast<LONG>(value);
    }
    _variant_t(float value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_R4;
        V_R4(this) = value;
    }
    _variant_t(double value, VARTYPE type = VT_R8) {
        if (type != VT_R8 && type != VT_DATE)
            _com_issue_error(E_INVALIDARG);
        ::VariantInit(this);
        V_VT(this) = type;
        if (type == VT_DATE)
            V_DATE(this) = value;
        else
            V_R8(this) = value;
    }
    _variant_t(const _bstr_t& text) {
        ::VariantInit(this);
        BSTR copy = text.copy();
        V_VT(this) = VT_BSTR;
        V_BSTR(this) = copy;
    }
    _variant_t(const wchar_t* text) {
        ::VariantInit(this);
        BSTR copy = ::SysAllocString(text);
        if (!copy && text)
            _com_issue_error(E_OUTOFMEMORY);
        V_VT(this) = VT_BSTR;
        V_BSTR(this) = copy;
    }
    _variant_t(const char* text) {
        ::VariantInit(this);
        BSTR copy = _com_util::ConvertStringToBSTR(text);
        V_VT(this) = VT_BSTR;
        V_BSTR(this) = copy;
    }
    _variant_t(IUnknown* object, bool addRef = true) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UNKNOWN;
        V_UNKNOWN(this) = object;
        if (addRef && object)
            object->AddRef();
    }
    _variant_t(bool value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    _variant_t(const DECIMAL& value) noexcept {
        ::VariantInit(this);
        V_DECIMAL(this) = value;
        V_VT(this) = VT_DECIMAL;
    }
    _variant_t(BYTE value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UI1;
        bVal = value;
    }
    _variant_t(char value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_I1;
        cVal = value;
    }
    _variant_t(unsigned short value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UI2;
        uiVal = value;
    }
    _variant_t(unsigned long value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UI4;
        ulVal = ULONG(value);
    }
    _variant_t(int value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_INT;
        intVal = value;
    }
    _variant_t(unsigned int value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UINT;
        uintVal = value;
    }
    _variant_t(__int64 value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_I8;
        llVal = value;
    }
    _variant_t(unsigned __int64 value) noexcept {
        ::VariantInit(this);
        V_VT(this) = VT_UI8;
        ullVal = value;
    }
    ~_variant_t() noexcept { ::VariantClear(this); }

    // Extractors: the value itself when the variant already has the type, else a converted copy.
    operator short() const { return _As(VT_I2).iVal; }
    operator long() const { return _As(VT_I4).lVal; }
    operator float() const { return _As(VT_R4).fltVal; }
    operator double() const { return _As(VT_R8).dblVal; }
    operator _bstr_t() const { return _bstr_t(*this); }
    operator bool() const { return _As(VT_BOOL).boolVal != VARIANT_FALSE; }
    // The interface with a new reference for the caller.
    operator IUnknown*() const {
        _variant_t converted;
        const VARIANT& value = V_VT(this) == VT_UNKNOWN ? *this : _Converted(VT_UNKNOWN, converted);
        IUnknown* object = V_UNKNOWN(&value);
        if (object)
            object->AddRef();
        return object;
    }
    operator BYTE() const { return _As(VT_UI1).bVal; }
    operator char() const { return _As(VT_I1).cVal; }
    operator unsigned short() const { return _As(VT_UI2).uiVal; }
    operator unsigned long() const { return _As(VT_UI4).ulVal; }
    operator int() const { return _As(VT_INT).intVal; }
    operator unsigned int() const { return _As(VT_UINT).uintVal; }
    operator __int64() const { return _As(VT_I8).llVal; }
    operator unsigned __int64() const { return _As(VT_UI8).ullVal; }

    _variant_t& operator=(const VARIANT& source) {
        _com_util::CheckError(::VariantCopy(this, const_cast<VARIANT*>(&source)));
        return *this;
    }
    _variant_t& operator=(const VARIANT* source) {
        if (!source)
            _com_issue_error(E_POINTER);
        return *this = *source;
    }
    _variant_t& operator=(const _variant_t& other) {
        _com_util::CheckError(::VariantCopy(this, const_cast<_variant_t*>(&other)));
        return *this;
    }
    template <typename Value>
    _variant_t& operator=(const Value& value) {
        _variant_t fresh(value);
        Clear();
        static_cast<VARIANT&>(*this) = fresh;
        V_VT(&fresh) = VT_EMPTY;
        return *this;
    }

    bool operator==(const VARIANT& other) const noexcept { return _Equals(other); }
    bool operator==(const VARIANT* other) const noexcept { return other && _Equals(*other); }
    bool operator!=(const VARIANT& other) const noexcept { return !_Equals(other); }
    bool operator!=(const VARIANT* other) const noexcept { return !other || !_Equals(*other); }

    void Clear() { _com_util::CheckError(::VariantClear(this)); }
    // Takes over `source`, which is left empty.
    void Attach(VARIANT& source) {
        Clear();
        static_cast<VARIANT&>(*this) = source;
        V_VT(&source) = VT_EMPTY;
    }
    // Gives the value to the caller; this object is left empty.
    VARIANT Detach() noexcept {
        VARIANT result = *this;
        V_VT(this) = VT_EMPTY;
        return result;
    }
    VARIANT& GetVARIANT() noexcept { return *this; }
    // Clears the value and returns where a callee may store a new one.
    VARIANT* GetAddress() {
        Clear();
        return this;
    }
    // Converts `source` (or this object itself) to `type` in place.
    void ChangeType(VARTYPE type, const _variant_t* source = nullptr) {
        if (!source)
            source = this;
        if (source != this || V_VT(this) != type)
            _com_util::CheckError(
                ::VariantChangeType(this, const_cast<_variant_t*>(source), 0, type));
    }
    void SetString(const char* text) { *this = _variant_t(text); }

private:
    const VARIANT& _Converted(VARTYPE type, _variant_t& holder) const {
        _com_util::CheckError(::VariantChangeType(&holder, const_cast<_variant_t*>(this), 0, type));
        return holder;
    }
    // The value as `type`: this very variant, or a converted copy. Only used for types that own
    // nothing, so the shallow copy returned holds no resource.
    VARIANT _As(VARTYPE type) const {
        if (V_VT(this) == type)
            return *this;
        _variant_t converted;
        _Converted(type, converted);
        return converted.Detach();
    }
    bool _Equals(const VARIANT& other) const noexcept {
        if (this == &other)
            return true;
        if (V_VT(this) != V_VT(&other))
            return false;
        switch (V_VT(this)) {
        case VT_EMPTY:
        case VT_NULL:
            return true;
        case VT_BOOL:
            return V_BOOL(this) == V_BOOL(&other);
        case VT_I1:
        case VT_UI1:
            return V_UI1(this) == V_UI1(&other);
        case VT_I2:
        case VT_UI2:
            return V_I2(this) == V_I2(&other);
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return V_I4(this) == V_I4(&other);
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            return V_I8(this) == V_I8(&other);
        case VT_R4:
            return V_R4(this) == V_R4(&other);
        case VT_R8:
        case VT_DATE:
            return V_R8(this) == V_R8(&other);
        case VT_BSTR: {
            const UINT length = ::SysStringByteLen(V_BSTR(this));
            return length == ::SysStringByteLen(V_BSTR(&other)) &&
                   (length == 0 || memcmp(V_BSTR(this), V_BSTR(&other), length) == 0);
        }
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return V_UNKNOWN(this) == V_UNKNOWN(&other);
        case VT_DECIMAL:
            return memcmp(&V_DECIMAL(this), &V_DECIMAL(&other), sizeof(DECIMAL)) == 0;
        default:
            return false;
        }
    }
};

inline _bstr_t::_bstr_t(const _variant_t& value) : m_Data(nullptr) {
    if (V_VT(&value) == VT_BSTR) {
        m_Data = Data_t::Make(V_BSTR(&value), true);
        return;
    }
    _variant_t converted;
    _com_util::CheckError(
        ::VariantChangeType(&converted, const_cast<_variant_t*>(&value), 0, VT_BSTR));
    BSTR text = V_BSTR(&converted);
    V_VT(&converted) = VT_EMPTY;
    m_Data = Data_t::Make(text, false);
}
