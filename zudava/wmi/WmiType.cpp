#include "zudava/wmi/WmiType.h"

#include "zudava/wmi/CimTypes.h"

namespace DEZE {

WmiType::WmiType(long cimType) : m_type(cimType) {}

WmiType::WmiType(const _variant_t& value) {
    const cim::TypeInfo* info = cim::findByCarrier(V_VT(&value));
    m_type = info ? info->type : static_cast<long>(CIM_ILLEGAL);
}

WmiType::operator long() const {
    return m_type;
}

WmiType::operator unsigned short() const {
    const cim::TypeInfo* info = cim::find(cim::elementType(m_type));
    if (!info)
        return VT_EMPTY;
    if (cim::isArray(m_type))
        return static_cast<unsigned short>(info->carrier | VT_ARRAY);
    return info->carrier;
}

_bstr_t WmiType::toString() const {
    const cim::TypeInfo* info = cim::find(cim::elementType(m_type));
    _bstr_t name(info ? info->name : L"unknown");
    if (cim::isArray(m_type))
        name += L"[]";
    return name;
}

} // namespace DEZE
