// WbemLocator: IWbemLocator::ConnectServer onto the machine's repository.
#include "objectpath.h"
#include "repository.h"
#include "services.h"

#include "../com/classes.h"
#include "../com/unknown.h"

#include <wbemcli.h>

#include <new>

namespace zp::wbem {
namespace {

// What a remote machine name gets: there is no transport to other machines.
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BA); // RPC_S_SERVER_UNAVAILABLE

class Locator final : public com::Unknown<Locator, IWbemLocator> {
public:
    // Takes root\cimv2, \\.\root\cimv2, \\MACHINE\root\cimv2 and //./root/cimv2, in any case.
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR,
                                            const BSTR, LONG, const BSTR, IWbemContext*,
                                            IWbemServices** services) override {
        if (!services || !resource)
            return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        std::wstring text(resource);
        for (wchar_t& c : text) {
            if (c == L'/')
                c = L'\\';
        }
        std::wstring server = L".";
        if (text.size() >= 2 && text[0] == L'\\' && text[1] == L'\\') {
            const std::size_t end = text.find(L'\\', 2);
            server = text.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
            text = end == std::wstring::npos ? std::wstring() : text.substr(end + 1);
        }
        if (server.empty())
            return WBEM_E_INVALID_PARAMETER;
        if (!isLocalServer(server))
            return kServerUnavailable;
        // A local connection runs as the caller: another user's credentials have no meaning.
        if (user && *user)
            return WBEM_E_LOCAL_CREDENTIALS;
        if (text.empty() || text.front() == L'\\' || text.back() == L'\\')
            return WBEM_E_INVALID_NAMESPACE;
        Repository* repository = nullptr;
        HRESULT hr = Repository::machine(repository);
        if (FAILED(hr))
            return hr;
        NamespaceRef ns;
        hr = repository->findNamespace(text, ns);
        if (FAILED(hr))
            return hr;
        *services = Services::create(*repository, ns);
        return *services ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
    }

private:
};

HRESULT createLocator(REFIID riid, void** object) {
    Locator* locator = new (std::nothrow) Locator;
    if (!locator)
        return E_OUTOFMEMORY;
    const HRESULT hr = locator->QueryInterface(riid, object);
    locator->Release();
    return hr;
}

const zp::com::ClassRegistration g_registration{CLSID_WbemLocator, &createLocator};

} // namespace
} // namespace zp::wbem
