// IWbemServices over the repository, bound to one namespace. Every call is answered at once;
// semisynchronous calls (WBEM_FLAG_RETURN_IMMEDIATELY with a call result) get a completed
// IWbemCallResult, and asynchronous ones report to their sink before they return, except event
// subscriptions, which report until they are cancelled. Not installed.
#pragma once

#include "repository.h"

#include <wbemcli.h>

#include "../com/unknown.h"


namespace zp::wbem {

// The services' hooks for what other parts of the service answer: WQL queries, and the object
// sink that events are indicated on. Unset, ExecQuery and QueryObjectSink answer
// WBEM_E_NOT_SUPPORTED.
using QueryHandler = HRESULT (*)(IWbemServices* services, const NamespaceRef& ns,
                                 const wchar_t* language, const wchar_t* query, LONG flags,
                                 IWbemContext* context, IEnumWbemClassObject** enumerator);
using SinkHandler = HRESULT (*)(const NamespaceRef& ns, IWbemObjectSink** sink);
void setQueryHandler(QueryHandler handler);
void setNotificationQueryHandler(QueryHandler handler);
void setSinkHandler(SinkHandler handler);
// Event subscriptions that report to a caller's sink, and their cancellation: the only
// asynchronous calls still running when they return. Unset, ExecNotificationQueryAsync answers
// WBEM_E_NOT_SUPPORTED and CancelAsyncCall WBEM_E_INVALID_PARAMETER.
using AsyncQueryHandler = HRESULT (*)(IWbemServices* services, const NamespaceRef& ns,
                                      const wchar_t* language, const wchar_t* query, LONG flags,
                                      IWbemContext* context, IWbemObjectSink* sink);
using CancelHandler = HRESULT (*)(IWbemObjectSink* sink);
void setNotificationAsyncHandler(AsyncQueryHandler handler);
void setCancelHandler(CancelHandler handler);

class Services final : public com::Unknown<Services, IWbemServices> {
public:
    static IWbemServices* create(Repository& repository, NamespaceRef ns);

    const NamespaceRef& nameSpace() const { return m_ns; }
    Repository& repository() const { return m_repository; }

    // IWbemServices, in the SDK's order
    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR nameSpace, LONG flags, IWbemContext* context,
                                            IWbemServices** working,
                                            IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG flags, IWbemObjectSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG flags, IWbemContext* context,
                                        IWbemClassObject** object,
                                        IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                       IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* object, LONG flags,
                                            IWbemContext* context, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR className, LONG flags, IWbemContext* context,
                                          IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR className, LONG flags,
                                               IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR superclass, LONG flags,
                                              IWbemContext* context,
                                              IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR superclass, LONG flags,
                                                   IWbemContext* context,
                                                   IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* instance, LONG flags,
                                          IWbemContext* context, IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* instance, LONG flags,
                                               IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR path, LONG flags,
                                                  IWbemContext* context,
                                                  IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR className, LONG flags,
                                                 IWbemContext* context,
                                                 IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR className, LONG flags,
                                                      IWbemContext* context,
                                                      IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags,
                                        IWbemContext* context,
                                        IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR language, const BSTR query, LONG flags,
                                             IWbemContext* context, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR language, const BSTR query,
                                                    LONG flags, IWbemContext* context,
                                                    IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR language, const BSTR query,
                                                         LONG flags, IWbemContext* context,
                                                         IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG flags,
                                         IWbemContext* context, IWbemClassObject* in,
                                         IWbemClassObject** out, IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR path, const BSTR method, LONG flags,
                                              IWbemContext* context, IWbemClassObject* in,
                                              IWbemObjectSink* sink) override;

private:
    Services(Repository& repository, NamespaceRef ns);
    friend Unknown;
    ~Services() = default;

    Repository& m_repository;
    const NamespaceRef m_ns;
};

} // namespace zp::wbem
