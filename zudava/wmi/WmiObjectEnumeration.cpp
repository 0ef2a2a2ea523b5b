#include "zudava/wmi/WmiObjectEnumeration.h"

#include "zudava/foundation/Raise.h"

namespace DEZE {

WmiObjectEnumeration::WmiObjectEnumeration(const IEnumWbemClassObjectPtr& enumerator)
    : m_enumerator(enumerator) {
    if (!m_enumerator)
        throwLibraryError(L"Invalid argument");
}

WmiObjectEnumeration::WmiObjectEnumeration(const WmiObjectEnumeration& other)
    : m_enumerator(other.m_enumerator), m_current(other.m_current) {}

WmiObjectEnumeration& WmiObjectEnumeration::operator=(const WmiObjectEnumeration& other) {
    // The counted pointers take the new reference before they drop the old one.
    m_enumerator = other.m_enumerator;
    m_current = other.m_current;
    return *this;
}

WmiObjectEnumeration::~WmiObjectEnumeration() {
    m_current = nullptr;
}

bool WmiObjectEnumeration::hasNext() const {
    m_current = nullptr;
    ULONG returned = 0;
    const HRESULT hr =
        m_enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &m_current, &returned);
    if (FAILED(hr)) {
        m_current = nullptr;
        throw WmiException(hr, L"IEnumWbemClassObject::Next() failed");
    }
    return returned == 1 && m_current;
}

WmiObject WmiObjectEnumeration::getNext() const {
    if (!m_current)
        throwLibraryError(L"No more objects");
    return WmiObject(m_current);
}

} // namespace DEZE
