#pragma once

#include <comdef.h>

#include "zudava/Export.h"
#include "zudava/wmi/WmiConnection.h"

namespace DEZE {

// The process's connections to namespaces of the local WMI service, one per namespace.
//
// The first `create` for a namespace connects (locator, `ConnectServer` to "\\.\" and the
// namespace, proxy security); later calls return the cached connection. Namespaces are kept in
// lower case, so names that differ only in case share one connection. One process-wide lock
// serialises `create` (connecting included) and `reset`. Entries are never tested: a connection
// whose server side has gone stays cached until `reset`. COM must be initialised on the calling
// thread by the caller.
class ZUDAVA_API WmiConnectionFactory {
public:
    // The connection for `nameSpace` (such as root\cimv2; no server part). A failed connection
    // leaves the cache unchanged, so the next call tries again.
    static WmiConnection create(const _bstr_t& nameSpace);
    // Empties the cache. Connections handed out before stay usable.
    static void reset();

    WmiConnectionFactory& operator=(const WmiConnectionFactory&) { return *this; }
};

} // namespace DEZE
