#include "zudava/wmi/WmiParameter.h"

namespace DEZE {

WmiParameter::WmiParameter(const _bstr_t& name, const _variant_t& value, long type,
                           IWbemQualifierSet* qualifiers)
    : WmiProperty(name, value, type, qualifiers) {}

WmiParameter::WmiParameter(const WmiParameter& other) = default;

WmiParameter& WmiParameter::operator=(const WmiParameter& other) = default;

WmiParameter::~WmiParameter() = default;

} // namespace DEZE
