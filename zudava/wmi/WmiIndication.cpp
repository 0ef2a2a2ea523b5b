#include "zudava/wmi/WmiIndication.h"

#include "zudava/wmi/_WmiInstanceMaking.h"

namespace DEZE {

WmiIndication::WmiIndication(const IWbemClassObjectPtr& object) : WmiObject(object) {
    _wmiCheckInstance(*this);
}

WmiIndication::WmiIndication(const _bstr_t& nameSpace, const _bstr_t& className)
    : WmiObject(IWbemClassObjectPtr()) {
    _wmiSpawnInstance(nameSpace, className, pointer());
}

WmiIndication::WmiIndication(const WmiIndication& other) : WmiObject(other) {}

WmiIndication& WmiIndication::operator=(const WmiIndication& other) {
    WmiObject::operator=(other);
    return *this;
}

WmiIndication::~WmiIndication() = default;

} // namespace DEZE
