// IWbemServices over the repository; see services.h.
#include "services.h"

#include "callresult.h"
#include "enumerator.h"

#include <oleauto.h>

#include <atomic>
#include <new>

namespace zp::wbem {
namespace {

std::atomic<QueryHandler> g_queryHandler{nullptr};
std::atomic<QueryHandler> g_notificationQueryHandler{nullptr};
std::atomic<SinkHandler> g_sinkHandler{nullptr};
std::atomic<AsyncQueryHandler> g_notificationAsyncHandler{nullptr};
std::atomic<CancelHandler> g_cancelHandler{nullptr};

bool semisynchronous(LONG flags, IWbemCallResult** result) {
    return (flags & WBEM_FLAG_RETURN_IMMEDIATELY) && result;
}

// Ends a call. A semisynchronous call succeeds and reports its status through the call result;
// a synchronous one returns its status, and also gives a call result when asked for one (which
// is how a caller reads the path that PutInstance stored).
HRESULT finish(HRESULT status, LONG flags, IWbemCallResult** result,
               ComRef<IWbemClassObject> object = {}, std::wstring text = {},
               ComRef<IWbemServices> services = {}) {
    if (!result)
        return status;
    *result = CallResult::create(status, std::move(object), std::move(text), std::move(services));
    if (!*result)
        return WBEM_E_OUT_OF_MEMORY;
    return (flags & WBEM_FLAG_RETURN_IMMEDIATELY) ? WBEM_S_NO_ERROR : status;
}

// Reports a finished call to an asynchronous caller's sink.
HRESULT report(IWbemObjectSink* sink, HRESULT status, const ObjectList& objects = {},
               const std::wstring& text = {}) {
    if (!objects.empty()) {
        std::vector<IWbemClassObject*> pointers;
        for (const auto& object : objects)
            pointers.push_back(object.get());
        sink->Indicate(static_cast<LONG>(pointers.size()), pointers.data());
    }
    BSTR param =
        text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    sink->SetStatus(WBEM_STATUS_COMPLETE, status, param, nullptr);
    SysFreeString(param);
    return WBEM_S_NO_ERROR;
}

// Everything an enumerator yields, for an asynchronous caller.
HRESULT drain(IEnumWbemClassObject* enumerator, ObjectList& objects) {
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        const HRESULT hr =
            enumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &object, &returned);
        if (FAILED(hr))
            return hr;
        if (returned == 0)
            return WBEM_S_NO_ERROR;
        objects.push_back(ComRef<IWbemClassObject>::adopt(object));
    }
}

} // namespace

void setQueryHandler(QueryHandler handler) {
    g_queryHandler = handler;
}

void setNotificationQueryHandler(QueryHandler handler) {
    g_notificationQueryHandler = handler;
}

void setSinkHandler(SinkHandler handler) {
    g_sinkHandler = handler;
}

void setNotificationAsyncHandler(AsyncQueryHandler handler) {
    g_notificationAsyncHandler = handler;
}

void setCancelHandler(CancelHandler handler) {
    g_cancelHandler = handler;
}

Services::Services(Repository& repository, NamespaceRef ns)
    : m_repository(repository), m_ns(std::move(ns)) {}

IWbemServices* Services::create(Repository& repository, NamespaceRef ns) {
    return new (std::nothrow) Services(repository, std::move(ns));
}

HRESULT STDMETHODCALLTYPE Services::OpenNamespace(const BSTR nameSpace, LONG flags, IWbemContext*,
                                                  IWbemServices** working,
                                                  IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    if (!nameSpace || !*nameSpace || (!working && !semisynchronous(flags, result)))
        return WBEM_E_INVALID_PARAMETER;
    if (working)
        *working = nullptr;
    std::wstring child(nameSpace);
    for (wchar_t& c : child) {
        if (c == L'/')
            c = L'\\';
    }
    NamespaceRef ns;
    HRESULT hr = m_repository.findNamespace(m_ns.name + L"\\" + child, ns);
    ComRef<IWbemServices> opened;
    if (SUCCEEDED(hr)) {
        opened = ComRef<IWbemServices>::adopt(Services::create(m_repository, ns));
        if (!opened)
            hr = WBEM_E_OUT_OF_MEMORY;
    }
    if (semisynchronous(flags, result))
        return finish(hr, flags, result, {}, {}, opened);
    if (SUCCEEDED(hr))
        *working = opened.detach();
    return finish(hr, flags, result);
}

HRESULT STDMETHODCALLTYPE Services::CancelAsyncCall(IWbemObjectSink* sink) {
    // Every other asynchronous call has ended by the time it returns: only event subscriptions
    // can still be waiting for their sink.
    const CancelHandler handler = g_cancelHandler;
    return handler && sink ? handler(sink) : WBEM_E_INVALID_PARAMETER;
}

HRESULT STDMETHODCALLTYPE Services::QueryObjectSink(LONG, IWbemObjectSink** sink) {
    if (!sink)
        return WBEM_E_INVALID_PARAMETER;
    *sink = nullptr;
    const SinkHandler handler = g_sinkHandler;
    return handler ? handler(m_ns, sink) : WBEM_E_NOT_SUPPORTED;
}

HRESULT STDMETHODCALLTYPE Services::GetObject(const BSTR path, LONG flags, IWbemContext*,
                                              IWbemClassObject** object, IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    const bool semi = semisynchronous(flags, result);
    if (!object && !semi)
        return WBEM_E_INVALID_PARAMETER;
    if (object && !semi)
        *object = nullptr;
    ComRef<IWbemClassObject> found;
    HRESULT hr;
    if (!path || !*path) {
        // No path: a new, empty class for the caller to define.
        found = ComRef<IWbemClassObject>::adopt(newClass());
        hr = found ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
    } else {
        hr = m_repository.getObject(m_ns, path, found.put());
    }
    if (semi)
        return finish(hr, flags, result, found);
    if (SUCCEEDED(hr))
        *object = ComRef<IWbemClassObject>(found).detach();
    return finish(hr, flags, result, found);
}

HRESULT STDMETHODCALLTYPE Services::GetObjectAsync(const BSTR path, LONG flags,
                                                   IWbemContext* context, IWbemObjectSink* sink) {
    if (!sink)
        return WBEM_E_INVALID_PARAMETER;
    ComRef<IWbemClassObject> object;
    const HRESULT hr =
        GetObject(path, flags & ~WBEM_FLAG_RETURN_IMMEDIATELY, context, object.put(), nullptr);
    ObjectList objects;
    if (SUCCEEDED(hr))
        objects.push_back(object);
    return report(sink, hr, objects);
}

HRESULT STDMETHODCALLTYPE Services::PutClass(IWbemClassObject* object, LONG flags, IWbemContext*,
                                             IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    if (!object)
        return WBEM_E_INVALID_PARAMETER;
    return finish(m_repository.putClass(m_ns, object, flags), flags, result);
}

HRESULT STDMETHODCALLTYPE Services::PutClassAsync(IWbemClassObject* object, LONG flags,
                                                  IWbemContext*, IWbemObjectSink* sink) {
    if (!sink || !object)
        return WBEM_E_INVALID_PARAMETER;
    return report(sink, m_repository.putClass(m_ns, object, flags));
}

HRESULT STDMETHODCALLTYPE Services::DeleteClass(const BSTR className, LONG flags, IWbemContext*,
                                                IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    if (!className)
        return WBEM_E_INVALID_PARAMETER;
    return finish(m_repository.deleteClass(m_ns, className), flags, result);
}

HRESULT STDMETHODCALLTYPE Services::DeleteClassAsync(const BSTR className, LONG, IWbemContext*,
                                                     IWbemObjectSink* sink) {
    if (!sink || !className)
        return WBEM_E_INVALID_PARAMETER;
    return report(sink, m_repository.deleteClass(m_ns, className));
}

HRESULT STDMETHODCALLTYPE Services::CreateClassEnum(const BSTR superclass, LONG flags,
                                                    IWbemContext*,
                                                    IEnumWbemClassObject** enumerator) {
    if (!enumerator)
        return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    ObjectList classes;
    const HRESULT hr =
        m_repository.classes(m_ns, superclass, (flags & WBEM_FLAG_SHALLOW) == 0, classes);
    if (FAILED(hr))
        return hr;
    return Enumerator::create(listSource(std::move(classes)), (flags & WBEM_FLAG_FORWARD_ONLY) != 0,
                              enumerator);
}

HRESULT STDMETHODCALLTYPE Services::CreateClassEnumAsync(const BSTR superclass, LONG flags,
                                                         IWbemContext*, IWbemObjectSink* sink) {
    if (!sink)
        return WBEM_E_INVALID_PARAMETER;
    ObjectList classes;
    const HRESULT hr =
        m_repository.classes(m_ns, superclass, (flags & WBEM_FLAG_SHALLOW) == 0, classes);
    return report(sink, hr, classes);
}

HRESULT STDMETHODCALLTYPE Services::PutInstance(IWbemClassObject* instance, LONG flags,
                                                IWbemContext*, IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    if (!instance)
        return WBEM_E_INVALID_PARAMETER;
    std::wstring path;
    const HRESULT hr = m_repository.putInstance(m_ns, instance, flags, path);
    return finish(hr, flags, result, {}, path);
}

HRESULT STDMETHODCALLTYPE Services::PutInstanceAsync(IWbemClassObject* instance, LONG flags,
                                                     IWbemContext*, IWbemObjectSink* sink) {
    if (!sink || !instance)
        return WBEM_E_INVALID_PARAMETER;
    std::wstring path;
    const HRESULT hr = m_repository.putInstance(m_ns, instance, flags, path);
    return report(sink, hr, {}, path);
}

HRESULT STDMETHODCALLTYPE Services::DeleteInstance(const BSTR path, LONG flags, IWbemContext*,
                                                   IWbemCallResult** result) {
    if (result)
        *result = nullptr;
    if (!path)
        return WBEM_E_INVALID_PARAMETER;
    return finish(m_repository.deleteInstance(m_ns, path), flags, result);
}

HRESULT STDMETHODCALLTYPE Services::DeleteInstanceAsync(const BSTR path, LONG, IWbemContext*,
                                                        IWbemObjectSink* sink) {
    if (!sink || !path)
        return WBEM_E_INVALID_PARAMETER;
    return report(sink, m_repository.deleteInstance(m_ns, path));
}

HRESULT STDMETHODCALLTYPE Services::CreateInstanceEnum(const BSTR className, LONG flags,
                                                       IWbemContext*,
                                                       IEnumWbemClassObject** enumerator) {
    if (!enumerator || !className)
        return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    std::vector<RowId> classes;
    const HRESULT hr =
        m_repository.instanceClasses(m_ns, className, (flags & WBEM_FLAG_SHALLOW) == 0, classes);
    if (FAILED(hr))
        return hr;
    return Enumerator::create(instanceSource(m_repository, m_ns, std::move(classes)),
                              (flags & WBEM_FLAG_FORWARD_ONLY) != 0, enumerator);
}

HRESULT STDMETHODCALLTYPE Services::CreateInstanceEnumAsync(const BSTR className, LONG flags,
                                                            IWbemContext* context,
                                                            IWbemObjectSink* sink) {
    if (!sink || !className)
        return WBEM_E_INVALID_PARAMETER;
    ComRef<IEnumWbemClassObject> enumerator;
    HRESULT hr = CreateInstanceEnum(className, (flags & WBEM_FLAG_SHALLOW) | WBEM_FLAG_FORWARD_ONLY,
                                    context, enumerator.put());
    ObjectList objects;
    if (SUCCEEDED(hr))
        hr = drain(enumerator.get(), objects);
    return report(sink, hr, objects);
}

HRESULT STDMETHODCALLTYPE Services::ExecQuery(const BSTR language, const BSTR query, LONG flags,
                                              IWbemContext* context,
                                              IEnumWbemClassObject** enumerator) {
    if (!enumerator || !language || !query)
        return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    const QueryHandler handler = g_queryHandler;
    return handler ? handler(this, m_ns, language, query, flags, context, enumerator)
                   : WBEM_E_NOT_SUPPORTED;
}

HRESULT STDMETHODCALLTYPE Services::ExecQueryAsync(const BSTR language, const BSTR query,
                                                   LONG flags, IWbemContext* context,
                                                   IWbemObjectSink* sink) {
    if (!sink)
        return WBEM_E_INVALID_PARAMETER;
    ComRef<IEnumWbemClassObject> enumerator;
    HRESULT hr =
        ExecQuery(language, query, flags | WBEM_FLAG_FORWARD_ONLY, context, enumerator.put());
    if (hr == WBEM_E_NOT_SUPPORTED || hr == WBEM_E_INVALID_PARAMETER)
        return hr;
    ObjectList objects;
    if (SUCCEEDED(hr))
        hr = drain(enumerator.get(), objects);
    return report(sink, hr, objects);
}

HRESULT STDMETHODCALLTYPE Services::ExecNotificationQuery(const BSTR language, const BSTR query,
                                                          LONG flags, IWbemContext* context,
                                                          IEnumWbemClassObject** enumerator) {
    if (!enumerator || !language || !query)
        return WBEM_E_INVALID_PARAMETER;
    *enumerator = nullptr;
    const QueryHandler handler = g_notificationQueryHandler;
    return handler ? handler(this, m_ns, language, query, flags, context, enumerator)
                   : WBEM_E_NOT_SUPPORTED;
}

HRESULT STDMETHODCALLTYPE Services::ExecNotificationQueryAsync(const BSTR language,
                                                               const BSTR query, LONG flags,
                                                               IWbemContext* context,
                                                               IWbemObjectSink* sink) {
    if (!sink || !language || !query)
        return WBEM_E_INVALID_PARAMETER;
    const AsyncQueryHandler handler = g_notificationAsyncHandler;
    return handler ? handler(this, m_ns, language, query, flags, context, sink)
                   : WBEM_E_NOT_SUPPORTED;
}

// The repository holds no method providers: a method has nobody to run it.
HRESULT STDMETHODCALLTYPE Services::ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                               IWbemClassObject*, IWbemClassObject** out,
                                               IWbemCallResult** result) {
    if (out)
        *out = nullptr;
    if (result)
        *result = nullptr;
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT STDMETHODCALLTYPE Services::ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IWbemClassObject*, IWbemObjectSink* sink) {
    return sink ? WBEM_E_NOT_SUPPORTED : WBEM_E_INVALID_PARAMETER;
}

} // namespace zp::wbem
