#include "zudava/wmi/WmiMethod.h"

#include "zudava/wmi/_WmiParameterSet.h"
#include "zudava/wmi/_WmiQualifierSet.h"

namespace DEZE {

WmiMethod::WmiMethod(const _bstr_t& name, IWbemClassObject* inParameters,
                     IWbemClassObject* outParameters, IWbemQualifierSet* qualifiers)
    : m_name(name), m_inParameters(inParameters), m_outParameters(outParameters),
      m_qualifiers(qualifiers) {}

WmiMethod::WmiMethod(const WmiMethod& other)
    : m_name(other.m_name), m_inParameters(other.m_inParameters),
      m_outParameters(other.m_outParameters), m_qualifiers(other.m_qualifiers) {}

WmiMethod& WmiMethod::operator=(const WmiMethod& other) {
    if (this != &other) {
        m_name = other.m_name;
        m_inParameters = other.m_inParameters;
        m_outParameters = other.m_outParameters;
        m_qualifiers = other.m_qualifiers;
    }
    return *this;
}

WmiMethod::~WmiMethod() = default;

_bstr_t WmiMethod::getName() const {
    return m_name;
}

unsigned long WmiMethod::getInParameterCount() const {
    return _WmiParameterSet(m_inParameters).getCount();
}

unsigned long WmiMethod::getOutParameterCount() const {
    return _WmiParameterSet(m_outParameters).getCount();
}

WmiParameter WmiMethod::getInParameter(unsigned long index) const {
    return _WmiParameterSet(m_inParameters).get(index);
}

WmiParameter WmiMethod::getInParameter(const _bstr_t& name) const {
    return _WmiParameterSet(m_inParameters).get(name);
}

WmiParameter WmiMethod::getOutParameter(unsigned long index) const {
    return _WmiParameterSet(m_outParameters).get(index);
}

WmiParameter WmiMethod::getOutParameter(const _bstr_t& name) const {
    return _WmiParameterSet(m_outParameters).get(name);
}

unsigned long WmiMethod::getQualifierCount() const {
    return _WmiQualifierSet(m_qualifiers).getCount();
}

WmiQualifier WmiMethod::getQualifier(unsigned long index) const {
    return _WmiQualifierSet(m_qualifiers).get(index);
}

WmiQualifier WmiMethod::getQualifier(const _bstr_t& name) const {
    return _WmiQualifierSet(m_qualifiers).get(name);
}

} // namespace DEZE
