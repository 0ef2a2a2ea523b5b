#include "zudava/wmi/WmiQualifier.h"

namespace DEZE {

WmiQualifier::WmiQualifier(const _bstr_t& name, const _variant_t& value, long flavor)
    : m_name(name), m_value(value), m_flavor(flavor) {}

WmiQualifier::WmiQualifier(const WmiQualifier& other)
    : m_name(other.m_name), m_value(other.m_value), m_flavor(other.m_flavor) {}

WmiQualifier& WmiQualifier::operator=(const WmiQualifier& other) {
    if (this != &other) {
        m_value = other.m_value;
        m_name = other.m_name;
        m_flavor = other.m_flavor;
    }
    return *this;
}

WmiQualifier::~WmiQualifier() = default;

_bstr_t WmiQualifier::getName() const {
    return m_name;
}

_variant_t WmiQualifier::getValue() const {
    return m_value;
}

long WmiQualifier::getFlavor() const {
    return m_flavor;
}

void WmiQualifier::setName(const _bstr_t& name) {
    m_name = name;
}

void WmiQualifier::setValue(const _variant_t& value) {
    m_value = value;
}

void WmiQualifier::setFlavor(long flavor) {
    m_flavor = flavor;
}

} // namespace DEZE
