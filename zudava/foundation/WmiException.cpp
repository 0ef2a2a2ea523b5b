#include "zudava/foundation/WmiException.h"

namespace DEZE {

WmiException::WmiException(long code, const _bstr_t& message) : m_code(code), m_message(message) {}

WmiException::WmiException(const WmiException& other)
    : std::exception(), m_code(other.m_code), m_message(other.m_message) {}

WmiException& WmiException::operator=(const WmiException& other) {
    m_code = other.m_code;
    m_message = other.m_message;
    return *this;
}

WmiException::~WmiException() = default;

const char* WmiException::what() const noexcept {
    if (!m_message)
        return nullptr;
    try {
        // The shared text converts once and keeps the result for every copy.
        return static_cast<const char*>(m_message);
    } catch (...) {
        return nullptr;
    }
}

} // namespace DEZE
