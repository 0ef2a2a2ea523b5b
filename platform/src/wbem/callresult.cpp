// Completed call results; see callresult.h.
#include "callresult.h"

#include <oleauto.h>

#include <new>

namespace zp::wbem {

CallResult::CallResult(HRESULT status, ComRef<IWbemClassObject> object, std::wstring text,
                       ComRef<IWbemServices> services)
    : m_status(status), m_object(std::move(object)), m_text(std::move(text)),
      m_services(std::move(services)) {}

IWbemCallResult* CallResult::create(HRESULT status, ComRef<IWbemClassObject> object,
                                    std::wstring text, ComRef<IWbemServices> services) {
    return new (std::nothrow)
        CallResult(status, std::move(object), std::move(text), std::move(services));
}

// A failed call answers every request for its product with its own status; a call that
// produced no such thing answers WBEM_E_INVALID_OPERATION.
HRESULT STDMETHODCALLTYPE CallResult::GetResultObject(LONG, IWbemClassObject** object) {
    if (!object)
        return WBEM_E_INVALID_PARAMETER;
    *object = nullptr;
    if (FAILED(m_status))
        return m_status;
    if (!m_object)
        return WBEM_E_INVALID_OPERATION;
    *object = ComRef<IWbemClassObject>(m_object).detach();
    return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE CallResult::GetResultString(LONG, BSTR* text) {
    if (!text)
        return WBEM_E_INVALID_PARAMETER;
    *text = nullptr;
    if (FAILED(m_status))
        return m_status;
    if (m_text.empty())
        return WBEM_E_INVALID_OPERATION;
    *text = SysAllocStringLen(m_text.data(), static_cast<UINT>(m_text.size()));
    return *text ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

HRESULT STDMETHODCALLTYPE CallResult::GetResultServices(LONG, IWbemServices** services) {
    if (!services)
        return WBEM_E_INVALID_PARAMETER;
    *services = nullptr;
    if (FAILED(m_status))
        return m_status;
    if (!m_services)
        return WBEM_E_INVALID_OPERATION;
    *services = ComRef<IWbemServices>(m_services).detach();
    return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE CallResult::GetCallStatus(LONG, LONG* status) {
    if (!status)
        return WBEM_E_INVALID_PARAMETER;
    *status = m_status;
    return WBEM_S_NO_ERROR;
}

} // namespace zp::wbem
