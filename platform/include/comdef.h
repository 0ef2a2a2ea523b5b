// COM support: the `_com_error` exception and the raising functions.
#pragma once

#include "comutil.h"
#include "comip.h"
#include "oaidl.h"

class ZP_API _com_error {
public:
    _com_error(HRESULT hr, IErrorInfo* errorInfo = nullptr, bool addRef = false) noexcept;
    _com_error(const _com_error& other) noexcept;
    _com_error& operator=(const _com_error& other) noexcept;
    virtual ~_com_error() noexcept;

    HRESULT Error() const noexcept { return m_hresult; }
    WORD WCode() const noexcept { return HRESULTToWCode(m_hresult); }
    // The error object with a new reference for the caller, or null.
    IErrorInfo* ErrorInfo() const noexcept;
    _bstr_t Description() const;
    _bstr_t Source() const;
    _bstr_t HelpFile() const;
    DWORD HelpContext() const noexcept;
    GUID GUID_() const noexcept;
    // The system's text for the code, or "Unknown error 0x…" (owned by this object).
    const TCHAR* ErrorMessage() const noexcept;

    static HRESULT WCodeToHRESULT(WORD code) noexcept {
        return code >= 0xFE00 ? static_cast<HRESULT>(0x80040FFF)
                              : static_cast<HRESULT>(0x80040200 + code);
    }
    static WORD HRESULTToWCode(HRESULT hr) noexcept {
        return (hr >= static_cast<HRESULT>(0x80040200) && hr <= static_cast<HRESULT>(0x80040FFF))
                   ? static_cast<WORD>(hr - static_cast<HRESULT>(0x80040200))
                   : 0;
    }

private:
    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable TCHAR* m_pszMsg;
};

// Throws `_com_error(hr, errorInfo)`.
[[noreturn]] ZP_API void WINAPI _com_raise_error(HRESULT hr, IErrorInfo* errorInfo = nullptr);
