#include "zudava/wmi/WmiProperty.h"

#include "zudava/wmi/_WmiQualifierSet.h"

namespace DEZE {

WmiProperty::WmiProperty(const _bstr_t& name, const _variant_t& value, long type,
                         IWbemQualifierSet* qualifiers)
    : m_name(name), m_value(value), m_type(type), m_qualifiers(qualifiers) {}

WmiProperty::WmiProperty(const WmiProperty& other)
    : m_name(other.m_name), m_value(other.m_value), m_type(other.m_type),
      m_qualifiers(other.m_qualifiers) {}

WmiProperty& WmiProperty::operator=(const WmiProperty& other) {
    if (this != &other) {
        m_value = other.m_value;
        m_name = other.m_name;
        m_type = other.m_type;
        m_qualifiers = other.m_qualifiers;
    }
    return *this;
}

WmiProperty::~WmiProperty() = default;

_bstr_t WmiProperty::getName() const {
    return m_name;
}

_variant_t WmiProperty::getValue() const {
    return m_value;
}

long WmiProperty::getType() const {
    return m_type;
}

void WmiProperty::setName(const _bstr_t& name) {
    m_name = name;
}

void WmiProperty::setValue(const _variant_t& value) {
    m_value = value;
}

void WmiProperty::setType(long type) {
    m_type = type;
}

unsigned long WmiProperty::getQualifierCount() const {
    return _WmiQualifierSet(m_qualifiers).getCount();
}

WmiQualifier WmiProperty::getQualifier(unsigned long index) const {
    return _WmiQualifierSet(m_qualifiers).get(index);
}

WmiQualifier WmiProperty::getQualifier(const _bstr_t& name) const {
    return _WmiQualifierSet(m_qualifiers).get(name);
}

void WmiProperty::setQualifier(const WmiQualifier& qualifier) {
    _WmiQualifierSet(m_qualifiers).put(qualifier);
}

void WmiProperty::removeQualifier(const _bstr_t& name) {
    _WmiQualifierSet(m_qualifiers).remove(name);
}

} // namespace DEZE
