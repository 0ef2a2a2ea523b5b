// IWbemCallResult for semisynchronous calls. The repository answers at once, so a call result
// is complete when the call returns: it holds the call's status and what the call produced.
// Not installed.
#pragma once

#include "comref.h"

#include <wbemcli.h>

#include "../com/unknown.h"

#include <string>

namespace zp::wbem {

class CallResult final : public com::Unknown<CallResult, IWbemCallResult> {
public:
    // `text` is what GetResultString gives (the __RELPATH a put stored), empty for none.
    static IWbemCallResult* create(HRESULT status, ComRef<IWbemClassObject> object = {},
                                   std::wstring text = {}, ComRef<IWbemServices> services = {});

    // IWbemCallResult, in the SDK's order
    HRESULT STDMETHODCALLTYPE GetResultObject(LONG timeout, IWbemClassObject** object) override;
    HRESULT STDMETHODCALLTYPE GetResultString(LONG timeout, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE GetResultServices(LONG timeout, IWbemServices** services) override;
    HRESULT STDMETHODCALLTYPE GetCallStatus(LONG timeout, LONG* status) override;

private:
    CallResult(HRESULT status, ComRef<IWbemClassObject> object, std::wstring text,
               ComRef<IWbemServices> services);
    friend Unknown;
    ~CallResult() = default;

    const HRESULT m_status;
    const ComRef<IWbemClassObject> m_object;
    const std::wstring m_text;
    const ComRef<IWbemServices> m_services;
};

} // namespace zp::wbem
