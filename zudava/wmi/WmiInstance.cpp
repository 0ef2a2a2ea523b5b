#include "zudava/wmi/WmiInstance.h"

#include "zudava/wmi/_WmiInstanceMaking.h"

namespace DEZE {

WmiInstance::WmiInstance(const IWbemClassObjectPtr& object) : WmiObject(object) {
    _wmiCheckInstance(*this);
}

WmiInstance::WmiInstance(const _bstr_t& nameSpace, const _bstr_t& className)
    : WmiObject(IWbemClassObjectPtr()) {
    _wmiSpawnInstance(nameSpace, className, pointer());
}

WmiInstance::WmiInstance(const WmiInstance& other) : WmiObject(other) {}

WmiInstance& WmiInstance::operator=(const WmiInstance& other) {
    WmiObject::operator=(other);
    return *this;
}

WmiInstance::~WmiInstance() = default;

} // namespace DEZE
