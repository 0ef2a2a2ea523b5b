#include "zudava/wmi/WmiConnectionFactory.h"

#include <wchar.h>
#include <wctype.h>

#include <map>
#include <string>

#include "zudava/foundation/Raise.h"
#include "zudava/os/Mutex.h"
#include "zudava/os/MutexLock.h"

namespace DEZE {

namespace {

// The `_bstr_t` order: code unit by code unit as unsigned 16-bit values, a prefix first.
struct NameSpaceOrder {
    bool operator()(const _bstr_t& a, const _bstr_t& b) const {
        const wchar_t* x = a;
        const wchar_t* y = b;
        const unsigned int lengthA = a.length();
        const unsigned int lengthB = b.length();
        const unsigned int common = lengthA < lengthB ? lengthA : lengthB;
        for (unsigned int i = 0; i < common; ++i) {
            const auto unitA = static_cast<unsigned short>(x[i]);
            const auto unitB = static_cast<unsigned short>(y[i]);
            if (unitA != unitB)
                return unitA < unitB;
        }
        return lengthA < lengthB;
    }
};

// Built when the library is loaded; the cache releases its connections when it is unloaded.
Mutex factoryMutex;
std::map<_bstr_t, IWbemServicesPtr, NameSpaceOrder> cache;

_bstr_t lowerCase(const _bstr_t& text) {
    std::wstring lower(static_cast<const wchar_t*>(text) ? static_cast<const wchar_t*>(text) : L"",
                       text.length());
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(static_cast<wint_t>(c)));
    BSTR copy = SysAllocStringLen(lower.data(), static_cast<UINT>(lower.size()));
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(copy, false);
}

IWbemServicesPtr connect(const _bstr_t& key) {
    IWbemLocatorPtr locator;
    const HRESULT created = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    if (FAILED(created) && created != E_NOINTERFACE)
        _com_issue_error(created);
    if (!locator)
        throwLibraryError(L"Failed to create IWbemLocator");
    // Always the local machine.
    const _bstr_t resource = _bstr_t(L"\\\\.\\") + key;
    IWbemServicesPtr services;
    throwIfFailed(
        locator->ConnectServer(resource, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
        L"IWbemLocator::ConnectServer() failed");
    throwIfFailed(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE),
                  L"::CoSetProxyBlanket() failed");
    return services;
}

} // namespace

WmiConnection WmiConnectionFactory::create(const _bstr_t& nameSpace) {
    const _bstr_t key = lowerCase(nameSpace);
    // Held while connecting too: one namespace is never connected twice at once.
    MutexLock lock(factoryMutex);
    auto entry = cache.find(key);
    if (entry == cache.end())
        entry = cache.emplace(key, connect(key)).first;
    return WmiConnection(entry->second, entry->first);
}

void WmiConnectionFactory::reset() {
    MutexLock lock(factoryMutex);
    cache.clear();
}

} // namespace DEZE
