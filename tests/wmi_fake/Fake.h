// A recording stand-in for WMI: services, class objects, qualifier sets, enumerators, sinks, a
// locator, contexts and a text source. Every call is logged with its flags and its name or text
// argument, and any one call can be made to fail with a chosen status, which is how the tests
// reach failure paths that a real service cannot easily be made to take.
//
// The library creates the locator, the context and the text source with CoCreateInstance, and
// the platform's class table keeps the first class registered under an identifier, so these
// tests divert CoCreateInstance itself (Fake.cpp defines it in the test program, which the
// dynamic linker prefers) and pass every other class on to the platform. CoSetProxyBlanket is
// diverted the same way so that its arguments can be checked.
#pragma once

#include <comdef.h>
#include <wbemidl.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace fake {

struct Call {
    std::wstring method; // "IWbemClassObject::Next"
    long flags;          // the call's flags (or its timeout, flavor or count where it has none)
    std::wstring text;   // its name, path, query or resource argument, if any
};

// The log of every call made on fake objects, and the one failure to inject.
class Log {
public:
    void clear();
    // The `occurrence`-th call (from 1) of `method` returns `status` and does nothing else.
    void failOn(const std::wstring& method, HRESULT status, int occurrence = 1);
    // Records the call and returns the status it must fail with, or S_OK.
    HRESULT enter(const wchar_t* method, long flags, const wchar_t* text = nullptr);

    const std::vector<Call>& calls() const { return m_calls; }
    // "method flags text" per call, one line each, for readable comparisons.
    std::vector<std::wstring> lines() const;
    // The calls of `method` only.
    std::vector<Call> callsOf(const std::wstring& method) const;

private:
    // Calls may come from several threads (the connection factory's tests).
    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    std::wstring m_failMethod;
    HRESULT m_failStatus = S_OK;
    int m_failCountdown = 0;
};

Log& log();
// Fake objects alive now: every test ends with none.
int liveObjects();

class QualifierSet;
class ClassObject;

// Reference counting and QueryInterface for one interface.
template <typename Interface>
class Unknown : public Interface {
public:
    Unknown();
    virtual ~Unknown();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

private:
    std::atomic<ULONG> m_references{1};
};

class QualifierSet : public Unknown<IWbemQualifierSet> {
public:
    struct Entry {
        std::wstring name;
        _variant_t value;
        LONG flavor;
    };
    std::vector<Entry> entries;

    void add(const std::wstring& name, const _variant_t& value, LONG flavor = 0);

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, VARIANT* value, LONG flavor) override;
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetNames(LONG flags, SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;

private:
    size_t m_position = 0;
};

class ClassObject : public Unknown<IWbemClassObject> {
public:
    struct Property {
        std::wstring name;
        _variant_t value;
        CIMTYPE type;
        bool system;
        bool key;
        QualifierSet* qualifiers; // owned reference; null for system properties
    };
    struct Method {
        std::wstring name;
        ClassObject* in; // owned references, may be null
        ClassObject* out;
        QualifierSet* qualifiers;
    };

    // A class (genus 1) or an instance (genus 2) of `className`, with "__GENUS", "__CLASS" and
    // "__PATH" (null unless `path` is given) as system properties.
    ClassObject(long genus, const std::wstring& className, const std::wstring& path = L"");
    ~ClassObject() override;

    Property& addProperty(const std::wstring& name, const _variant_t& value, CIMTYPE type,
                          bool key = false);
    Method& addMethod(const std::wstring& name, ClassObject* in, ClassObject* out);
    QualifierSet* qualifiers() { return m_qualifiers; }
    const Property* find(const std::wstring& name) const;

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override;
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR qualifierName, LONG flags, VARIANT* qualifierValue,
                                       SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type,
                                   LONG* flavor) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR name,
                                                      IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override;
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG flags, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG flags, IWbemClassObject** created) override;
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** created) override;
    HRESULT STDMETHODCALLTYPE CompareTo(LONG flags, IWbemClassObject* other) override;
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR name, BSTR* className) override;
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override;
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                                        IWbemClassObject** out) override;
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* in,
                                        IWbemClassObject* out) override;
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                         IWbemClassObject** out) override;
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR name, IWbemQualifierSet** set) override;
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR name, BSTR* className) override;

    std::vector<Property> properties;
    std::vector<Method> methods;

private:
    bool included(const Property& property) const;

    QualifierSet* m_qualifiers;
    LONG m_enumFlags = 0;
    size_t m_position = 0;
    size_t m_methodPosition = 0;
};

class Enumerator : public Unknown<IEnumWbemClassObject> {
public:
    // Takes its own references.
    explicit Enumerator(const std::vector<ClassObject*>& objects);
    ~Enumerator() override;

    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override;
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG count, IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override;
    HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override;

private:
    std::vector<ClassObject*> m_objects;
    size_t m_position = 0;
};

class Sink : public Unknown<IWbemObjectSink> {
public:
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override;
    HRESULT STDMETHODCALLTYPE SetStatus(LONG flags, HRESULT status, BSTR text,
                                        IWbemClassObject* object) override;
    // The "__CLASS" of every object indicated.
    std::vector<std::wstring> indicated;
};

class CallResult : public Unknown<IWbemCallResult> {
public:
    HRESULT STDMETHODCALLTYPE GetResultObject(LONG timeout, IWbemClassObject** object) override;
    HRESULT STDMETHODCALLTYPE GetResultString(LONG timeout, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE GetResultServices(LONG timeout, IWbemServices** services) override;
    HRESULT STDMETHODCALLTYPE GetCallStatus(LONG timeout, LONG* status) override;
};

class Services : public Unknown<IWbemServices> {
public:
    ~Services() override;

    // What GetObject answers for a path (compared as text); takes a reference.
    void add(const std::wstring& path, ClassObject* object);
    // What the enumerations and queries give; takes references.
    void setResults(const std::vector<ClassObject*>& objects);
    // Whether QueryObjectSink gives a sink.
    bool giveSink = true;
    Sink* sink = nullptr; // the last sink given, while the services live
    // The context pointer of the last call that took one.
    IWbemContext* lastContext = nullptr;
    // What PutInstance was given, in call order (references held while the services live).
    std::vector<IWbemClassObject*> stored;

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR name, LONG flags, IWbemContext* context,
                                            IWbemServices** opened,
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
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR name, LONG flags, IWbemContext* context,
                                          IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR name, LONG flags, IWbemContext* context,
                                               IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR superclass, LONG flags,
                                              IWbemContext* context,
                                              IEnumWbemClassObject** enumerator) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR superclass, LONG flags,
                                                   IWbemContext* context,
                                                   IWbemObjectSink* sink) override;
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* object, LONG flags,
                                          IWbemContext* context, IWbemCallResult** result) override;
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* object, LONG flags,
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
    HRESULT enumerate(IEnumWbemClassObject** enumerator);

    std::vector<std::pair<std::wstring, ClassObject*>> m_objects;
    std::vector<ClassObject*> m_results;
};

// A context: named values, as the platform's would hold them.
class Context : public Unknown<IWbemContext> {
public:
    HRESULT STDMETHODCALLTYPE Clone(IWbemContext** copy) override;
    HRESULT STDMETHODCALLTYPE GetNames(LONG flags, SAFEARRAY** names) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override;
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR name, LONG flags, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR name, LONG flags, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name, LONG flags) override;
    HRESULT STDMETHODCALLTYPE DeleteAll() override;

    std::vector<std::pair<std::wstring, _variant_t>> values;

private:
    size_t m_position = 0;
};

// The text source: renders an object as "<CLASS NAME=\"x\"/>" and remembers the context values
// it was given as "name=value" texts.
class TextSource : public Unknown<IWbemObjectTextSrc> {
public:
    HRESULT STDMETHODCALLTYPE GetText(LONG flags, IWbemClassObject* object, ULONG format,
                                      IWbemContext* context, BSTR* text) override;
    HRESULT STDMETHODCALLTYPE CreateFromText(LONG flags, BSTR text, ULONG format,
                                             IWbemContext* context,
                                             IWbemClassObject** created) override;
};

class Locator : public Unknown<IWbemLocator> {
public:
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user,
                                            const BSTR password, const BSTR locale,
                                            LONG securityFlags, const BSTR authority,
                                            IWbemContext* context,
                                            IWbemServices** services) override;
};

// What the diverted runtime functions hand out and saw.
struct World {
    // The services every ConnectServer returns (a new reference each time); null: connect fails
    // with WBEM_E_INVALID_NAMESPACE.
    Services* services = nullptr;
    // CoCreateInstance of the locator, context or text source fails with this status, or
    // succeeds with no object when it is E_NOINTERFACE.
    HRESULT createStatus = S_OK;
    CLSID createFailing = GUID_NULL;
    // The arguments of the last CoSetProxyBlanket.
    DWORD blanket[5] = {};
    bool blanketNulls = false;
    HRESULT blanketStatus = S_OK;
    // The context values the text source saw last ("LocalOnly=false", ...).
    std::vector<std::wstring> textContext;
};

World& world();

} // namespace fake
