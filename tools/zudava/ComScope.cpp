#include "ComScope.h"

namespace tool {

ComScope::ComScope() {
    const HRESULT status = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(status))
        throw DEZE::WmiException(status, L"CoInitializeEx() failed");
    // Impersonation lets WMI read on the caller's behalf, as the connection's proxy blanket
    // asks. A process that already set its security (RPC_E_TOO_LATE) keeps it.
    const HRESULT security =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE) {
        CoUninitialize();
        throw DEZE::WmiException(security, L"CoInitializeSecurity() failed");
    }
}

ComScope::~ComScope() {
    DEZE::WmiConnectionFactory::reset();
    CoUninitialize();
}

} // namespace tool
