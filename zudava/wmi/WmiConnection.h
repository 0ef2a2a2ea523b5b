#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiPointers.h"

namespace DEZE {

// A namespace of the local WMI service and its connected, secured `IWbemServices`.
//
// Connections come from `WmiConnectionFactory::create`, which caches one per namespace; copies
// share the interface and the text.
class ZUDAVA_API WmiConnection {
public:
    WmiConnection(IWbemServicesPtr& services, const _bstr_t& nameSpace);
    WmiConnection(const WmiConnection& other);
    WmiConnection& operator=(const WmiConnection& other);
    ~WmiConnection();

    // The namespace as the cache holds it: in lower case.
    _bstr_t getNameSpace() const;
    // The connected services interface, for the library's own WMI calls.
    const IWbemServicesPtr& getServices() const;

private:
    IWbemServicesPtr m_services;
    _bstr_t m_nameSpace;
};

} // namespace DEZE
