#include <comdef.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// The system texts of the codes the library meets most; others get Windows' fallback text.
const char* systemText(HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
    case 0x00000000u:
        return "The operation completed successfully.";
    case 0x80004001u:
        return "Not implemented";
    case 0x80004002u:
        return "No such interface supported";
    case 0x80004003u:
        return "Invalid pointer";
    case 0x80004004u:
        return "Operation aborted";
    case 0x80004005u:
        return "Unspecified error";
    case 0x8000FFFFu:
        return "Catastrophic failure";
    case 0x80070005u:
        return "Access is denied.";
    case 0x80070006u:
        return "The handle is invalid.";
    case 0x8007000Eu:
        return "Not enough memory resources are available to complete this operation.";
    case 0x80070057u:
        return "The parameter is incorrect.";
    case 0x8007007Au:
        return "The data area passed to a system call is too small.";
    case 0x80070459u:
        return "No mapping for the Unicode character exists in the target multi-byte code page.";
    case 0x80020005u:
        return "Type mismatch.";
    case 0x8002000Au:
        return "Out of present range.";
    case 0x8002000Bu:
        return "Invalid index.";
    default:
        return nullptr;
    }
}

} // namespace

_com_error::_com_error(HRESULT hr, IErrorInfo* errorInfo, bool addRef) noexcept
    : m_hresult(hr), m_perrinfo(errorInfo), m_pszMsg(nullptr) {
    if (m_perrinfo && addRef)
        m_perrinfo->AddRef();
}

_com_error::_com_error(const _com_error& other) noexcept
    : m_hresult(other.m_hresult), m_perrinfo(other.m_perrinfo), m_pszMsg(nullptr) {
    if (m_perrinfo)
        m_perrinfo->AddRef();
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
    if (this != &other) {
        if (other.m_perrinfo)
            other.m_perrinfo->AddRef();
        if (m_perrinfo)
            m_perrinfo->Release();
        free(m_pszMsg);
        m_hresult = other.m_hresult;
        m_perrinfo = other.m_perrinfo;
        m_pszMsg = nullptr;
    }
    return *this;
}

_com_error::~_com_error() noexcept {
    if (m_perrinfo)
        m_perrinfo->Release();
    free(m_pszMsg);
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (m_perrinfo)
        m_perrinfo->AddRef();
    return m_perrinfo;
}

namespace {
template <HRESULT (STDMETHODCALLTYPE IErrorInfo::*Get)(BSTR*)>
_bstr_t errorText(IErrorInfo* info) {
    BSTR text = nullptr;
    if (info)
        (info->*Get)(&text);
    return _bstr_t(text, false);
}
} // namespace

_bstr_t _com_error::Description() const {
    return errorText<&IErrorInfo::GetDescription>(m_perrinfo);
}

_bstr_t _com_error::Source() const {
    return errorText<&IErrorInfo::GetSource>(m_perrinfo);
}

_bstr_t _com_error::HelpFile() const {
    return errorText<&IErrorInfo::GetHelpFile>(m_perrinfo);
}

DWORD _com_error::HelpContext() const noexcept {
    DWORD context = 0;
    if (m_perrinfo)
        m_perrinfo->GetHelpContext(&context);
    return context;
}

GUID _com_error::GUID_() const noexcept {
    GUID guid{};
    if (m_perrinfo)
        m_perrinfo->GetGUID(&guid);
    return guid;
}

const TCHAR* _com_error::ErrorMessage() const noexcept {
    if (!m_pszMsg) {
        char buffer[96];
        const char* text = systemText(m_hresult);
        if (!text) {
            if (WCode() != 0)
                snprintf(buffer, sizeof buffer, "IDispatch error #%d", int(WCode()));
            else
                snprintf(buffer, sizeof buffer, "Unknown error 0x%0X", unsigned(m_hresult));
            text = buffer;
        }
        m_pszMsg = strdup(text);
    }
    return m_pszMsg;
}

ZP_API void WINAPI _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}

ZP_API void WINAPI _com_raise_error(HRESULT hr, IErrorInfo* errorInfo) {
    throw _com_error(hr, errorInfo);
}
