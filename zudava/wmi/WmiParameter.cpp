#include "zudava/wmi/WmiParameter.h"

#include "zudava/wmi/_WmiQualifierSet.h"

namespace DEZE {

WmiParameter::WmiParameter(const _bstr_t& name, const _variant_t& value, long type,
                           IWbemQualifierSet* qualifiers)
    : m_name(name), m_value(value), m_type(type), m_qualifiers(qualifiers) {}

WmiParameter::WmiParameter(const WmiParameter& other)
    : m_name(other.m_name), m_value(other.m_value), m_type(other.m_type),
      m_qualifiers(other.m_qualifiers) {}

WmiParameter& WmiParameter::operator=(const WmiParameter& other) {
    if (this != &other) {
        m_value = other.m_value;
        m_name = other.m_name;
        m_type = other.m_type;
        m_qualifiers = other.m_qualifiers;
    }
    return *this;
}

WmiParameter::~WmiParameter() = default;

_bstr_t WmiParameter::getName() const {
    return m_name;
}

_variant_t WmiParameter::getValue() const {
    return m_value;
}

long WmiParameter::getType() const {
    return m_type;
}

void WmiParameter::setName(const _bstr_t& name) {
    m_name = name;
}

void WmiParameter::setValue(const _variant_t& value) {
    m_value = value;
}

void WmiParameter::setType(long type) {
    m_type = type;
}

unsigned long WmiParameter::getQualifierCount() const {
    return _WmiQualifierSet(m_qualifiers).getCount();
}

WmiQualifier WmiParameter::getQualifier(unsigned long index) const {
    return _WmiQualifierSet(m_qualifiers).get(index);
}

WmiQualifier WmiParameter::getQualifier(const _bstr_t& name) const {
    return _WmiQualifierSet(m_qualifiers).get(name);
}

} // namespace DEZE
