// Process security: CoInitializeSecurity once per process, CoSetProxyBlanket on an interface.
//
// Every object of this platform lives in the caller's process, so there is no transport whose
// authentication these settings could change. The functions keep Windows' rules (who may call
// them, when, with which arguments) so that code written for a remote service runs unchanged.
#include "apartment.h"

#include <atomic>

namespace {

std::atomic<bool> g_securityInitialised{false};

bool validAuthenticationLevel(DWORD level) {
    return level <= RPC_C_AUTHN_LEVEL_PKT_PRIVACY;
}

bool validImpersonationLevel(DWORD level) {
    return level <= RPC_C_IMP_LEVEL_DELEGATE;
}

} // namespace

ZP_EXTERN_C HRESULT WINAPI CoInitializeSecurity(PSECURITY_DESCRIPTOR /*securityDescriptor*/,
                                                LONG authnSvcCount,
                                                SOLE_AUTHENTICATION_SERVICE* authnSvc,
                                                void* /*reserved1*/, DWORD authnLevel,
                                                DWORD impLevel, void* /*authList*/,
                                                DWORD /*capabilities*/, void* /*reserved3*/) {
    if (!zp::com::threadMayUseCom())
        return CO_E_NOTINITIALIZED;
    if (authnSvcCount < -1 || (authnSvcCount > 0 && !authnSvc) ||
        !validAuthenticationLevel(authnLevel) || !validImpersonationLevel(impLevel))
        return E_INVALIDARG;
    // The first call sets the process's security; later ones are too late, from any thread.
    bool expected = false;
    if (!g_securityInitialised.compare_exchange_strong(expected, true, std::memory_order_acq_rel))
        return RPC_E_TOO_LATE;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD /*authnSvc*/,
                                             DWORD /*authzSvc*/, OLECHAR* /*serverPrincipalName*/,
                                             DWORD authnLevel, DWORD impLevel,
                                             RPC_AUTH_IDENTITY_HANDLE /*authInfo*/,
                                             DWORD /*capabilities*/) {
    if (!proxy)
        return E_INVALIDARG;
    if (!zp::com::threadMayUseCom())
        return CO_E_NOTINITIALIZED;
    if (!validAuthenticationLevel(authnLevel) || !validImpersonationLevel(impLevel))
        return E_INVALIDARG;
    return S_OK;
}
