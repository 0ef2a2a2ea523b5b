#pragma once

#include <comdef.h>

#include <exception>

#include "zudava/Export.h"

namespace DEZE {

// The one exception of the WMI object model: a status code (an HRESULT) and a message.
//
// Copies share the message text and, with it, its narrow form: every copy's `what` returns the
// same buffer, which lives as long as the last copy.
class ZUDAVA_API WmiException : public std::exception {
public:
    WmiException(long code, const _bstr_t& message);
    WmiException(const WmiException& other);
    WmiException& operator=(const WmiException& other);
    ~WmiException() override;

    long getCode() const { return m_code; }
    _bstr_t getMessage() const { return m_message; }

    // The message in the ANSI code page, or null for an empty message or when the conversion
    // fails. Never throws.
    const char* what() const noexcept override;

private:
    long m_code;
    _bstr_t m_message;
};

} // namespace DEZE
