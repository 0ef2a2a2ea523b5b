#include "zudava/wmi/WmiConnection.h"

namespace DEZE {

WmiConnection::WmiConnection(IWbemServicesPtr& services, const _bstr_t& nameSpace)
    : m_services(services), m_nameSpace(nameSpace) {}

WmiConnection::WmiConnection(const WmiConnection& other)
    : m_services(other.m_services), m_nameSpace(other.m_nameSpace) {}

WmiConnection& WmiConnection::operator=(const WmiConnection& other) {
    m_services = other.m_services;
    m_nameSpace = other.m_nameSpace;
    return *this;
}

WmiConnection::~WmiConnection() = default;

_bstr_t WmiConnection::getNameSpace() const {
    return m_nameSpace;
}

const IWbemServicesPtr& WmiConnection::getServices() const {
    return m_services;
}

} // namespace DEZE
