#include "wmi_fake/Fake.h"

#include <dlfcn.h>
#include <wctype.h>

#include <algorithm>

namespace fake {

namespace {

std::atomic<int> g_live{0};

bool sameName(const std::wstring& a, const wchar_t* b) {
    if (!b)
        return false;
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (towlower(static_cast<wint_t>(a[i])) != towlower(static_cast<wint_t>(b[i])))
            return false;
    }
    return i == a.size() && !b[i];
}

SAFEARRAY* namesArray(const std::vector<std::wstring>& names) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(names.size()));
    for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
        BSTR name = SysAllocString(names[static_cast<size_t>(i)].c_str());
        SafeArrayPutElement(array, &i, name);
        SysFreeString(name);
    }
    return array;
}

template <typename Interface>
void handOut(Interface* object, Interface** out) {
    if (object)
        object->AddRef();
    *out = object;
}

std::wstring textOf(const VARIANT& value) {
    if (V_VT(&value) == VT_BOOL)
        return V_BOOL(&value) ? L"true" : L"false";
    if (V_VT(&value) == VT_BSTR)
        return V_BSTR(&value) ? V_BSTR(&value) : L"";
    return L"?";
}

} // namespace

// ---- Log

void Log::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
    m_failMethod.clear();
    m_failCountdown = 0;
}

void Log::failOn(const std::wstring& method, HRESULT status, int occurrence) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failMethod = method;
    m_failStatus = status;
    m_failCountdown = occurrence;
}

HRESULT Log::enter(const wchar_t* method, long flags, const wchar_t* text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back({method, flags, text ? text : L""});
    if (m_failCountdown > 0 && m_failMethod == method && --m_failCountdown == 0)
        return m_failStatus;
    return S_OK;
}

std::vector<std::wstring> Log::lines() const {
    std::vector<std::wstring> result;
    for (const Call& call : m_calls) {
        std::wstring line = call.method + L" " + std::to_wstring(call.flags);
        if (!call.text.empty())
            line += L" " + call.text;
        result.push_back(line);
    }
    return result;
}

std::vector<Call> Log::callsOf(const std::wstring& method) const {
    std::vector<Call> result;
    for (const Call& call : m_calls) {
        if (call.method == method)
            result.push_back(call);
    }
    return result;
}

Log& log() {
    static Log instance;
    return instance;
}

int liveObjects() {
    return g_live.load();
}

World& world() {
    static World instance;
    return instance;
}

// ---- Unknown

template <typename Interface>
Unknown<Interface>::Unknown() {
    ++g_live;
}

template <typename Interface>
Unknown<Interface>::~Unknown() {
    --g_live;
}

template <typename Interface>
HRESULT Unknown<Interface>::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <typename Interface>
ULONG Unknown<Interface>::AddRef() {
    return ++m_references;
}

template <typename Interface>
ULONG Unknown<Interface>::Release() {
    const ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

template class Unknown<IWbemQualifierSet>;
template class Unknown<IWbemClassObject>;
template class Unknown<IEnumWbemClassObject>;
template class Unknown<IWbemObjectSink>;
template class Unknown<IWbemCallResult>;
template class Unknown<IWbemServices>;
template class Unknown<IWbemContext>;
template class Unknown<IWbemObjectTextSrc>;
template class Unknown<IWbemLocator>;

// ---- QualifierSet

void QualifierSet::add(const std::wstring& name, const _variant_t& value, LONG flavor) {
    entries.push_back({name, value, flavor});
}

HRESULT QualifierSet::Get(LPCWSTR name, LONG flags, VARIANT* value, LONG* flavor) {
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::Get", flags, name))
        return hr;
    for (const Entry& entry : entries) {
        if (sameName(entry.name, name)) {
            if (value)
                VariantCopy(value, const_cast<VARIANT*>(static_cast<const VARIANT*>(&entry.value)));
            if (flavor)
                *flavor = entry.flavor;
            return S_OK;
        }
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT QualifierSet::Put(LPCWSTR name, VARIANT* value, LONG flavor) {
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::Put", flavor, name))
        return hr;
    for (Entry& entry : entries) {
        if (sameName(entry.name, name)) {
            entry.value = *value;
            entry.flavor = flavor;
            return S_OK;
        }
    }
    add(name, *value, flavor);
    return S_OK;
}

HRESULT QualifierSet::Delete(LPCWSTR name) {
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::Delete", 0, name))
        return hr;
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        if (sameName(entry->name, name)) {
            entries.erase(entry);
            return S_OK;
        }
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT QualifierSet::GetNames(LONG flags, SAFEARRAY** names) {
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::GetNames", flags))
        return hr;
    std::vector<std::wstring> list;
    for (const Entry& entry : entries)
        list.push_back(entry.name);
    *names = namesArray(list);
    return S_OK;
}

HRESULT QualifierSet::BeginEnumeration(LONG flags) {
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::BeginEnumeration", flags))
        return hr;
    m_position = 0;
    return S_OK;
}

HRESULT QualifierSet::Next(LONG flags, BSTR* name, VARIANT* value, LONG* flavor) {
    const bool asks = name || value || flavor;
    if (HRESULT hr = log().enter(L"IWbemQualifierSet::Next", flags, asks ? L"fetch" : L"skip"))
        return hr;
    if (m_position >= entries.size())
        return WBEM_S_NO_MORE_DATA;
    const Entry& entry = entries[m_position++];
    if (name)
        *name = SysAllocString(entry.name.c_str());
    if (value)
        VariantCopy(value, const_cast<VARIANT*>(static_cast<const VARIANT*>(&entry.value)));
    if (flavor)
        *flavor = entry.flavor;
    return S_OK;
}

HRESULT QualifierSet::EndEnumeration() {
    return log().enter(L"IWbemQualifierSet::EndEnumeration", 0);
}

// ---- ClassObject

ClassObject::ClassObject(long genus, const std::wstring& className, const std::wstring& path)
    : m_qualifiers(new QualifierSet) {
    properties.push_back(
        {L"__GENUS", _variant_t(static_cast<LONG>(genus)), CIM_SINT32, true, false, nullptr});
    properties.push_back(
        {L"__CLASS", _variant_t(className.c_str()), CIM_STRING, true, false, nullptr});
    _variant_t pathValue;
    if (!path.empty())
        pathValue = path.c_str();
    else
        V_VT(&pathValue) = VT_NULL;
    properties.push_back({L"__PATH", pathValue, CIM_STRING, true, false, nullptr});
}

ClassObject::~ClassObject() {
    for (Property& property : properties) {
        if (property.qualifiers)
            property.qualifiers->Release();
    }
    for (Method& method : methods) {
        if (method.in)
            method.in->Release();
        if (method.out)
            method.out->Release();
        method.qualifiers->Release();
    }
    m_qualifiers->Release();
}

ClassObject::Property& ClassObject::addProperty(const std::wstring& name, const _variant_t& value,
                                                CIMTYPE type, bool key) {
    properties.push_back({name, value, type, false, key, new QualifierSet});
    if (key)
        properties.back().qualifiers->add(L"key", _variant_t(true));
    return properties.back();
}

ClassObject::Method& ClassObject::addMethod(const std::wstring& name, ClassObject* in,
                                            ClassObject* out) {
    methods.push_back({name, in, out, new QualifierSet});
    return methods.back();
}

const ClassObject::Property* ClassObject::find(const std::wstring& name) const {
    for (const Property& property : properties) {
        if (sameName(property.name, name.c_str()))
            return &property;
    }
    return nullptr;
}

bool ClassObject::included(const Property& property) const {
    if ((m_enumFlags & WBEM_FLAG_NONSYSTEM_ONLY) && property.system)
        return false;
    if ((m_enumFlags & WBEM_FLAG_KEYS_ONLY) && !property.key)
        return false;
    return true;
}

HRESULT ClassObject::GetQualifierSet(IWbemQualifierSet** set) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::GetQualifierSet", 0))
        return hr;
    handOut<IWbemQualifierSet>(m_qualifiers, set);
    return S_OK;
}

HRESULT ClassObject::Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type, LONG* flavor) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::Get", flags, name))
        return hr;
    const Property* property = find(name ? name : L"");
    if (!property)
        return WBEM_E_NOT_FOUND;
    if (value)
        VariantCopy(value, const_cast<VARIANT*>(static_cast<const VARIANT*>(&property->value)));
    if (type)
        *type = property->type;
    if (flavor)
        *flavor = 0;
    return S_OK;
}

HRESULT ClassObject::Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::Put", flags, name))
        return hr;
    for (Property& property : properties) {
        if (sameName(property.name, name)) {
            property.value = *value;
            return S_OK;
        }
    }
    addProperty(name, *value, type ? type : CIM_STRING);
    return S_OK;
}

HRESULT ClassObject::Delete(LPCWSTR) {
    return E_NOTIMPL;
}

HRESULT ClassObject::GetNames(LPCWSTR, LONG flags, VARIANT*, SAFEARRAY** names) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::GetNames", flags))
        return hr;
    const LONG saved = m_enumFlags;
    m_enumFlags = flags;
    std::vector<std::wstring> list;
    for (const Property& property : properties) {
        if (included(property))
            list.push_back(property.name);
    }
    m_enumFlags = saved;
    *names = namesArray(list);
    return S_OK;
}

HRESULT ClassObject::BeginEnumeration(LONG flags) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::BeginEnumeration", flags))
        return hr;
    m_enumFlags = flags;
    m_position = 0;
    return S_OK;
}

HRESULT ClassObject::Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) {
    const bool asks = name || value || type || flavor;
    if (HRESULT hr = log().enter(L"IWbemClassObject::Next", flags, asks ? L"fetch" : L"skip"))
        return hr;
    while (m_position < properties.size() && !included(properties[m_position]))
        ++m_position;
    if (m_position >= properties.size())
        return WBEM_S_NO_MORE_DATA;
    const Property& property = properties[m_position++];
    if (name)
        *name = SysAllocString(property.name.c_str());
    if (value)
        VariantCopy(value, const_cast<VARIANT*>(static_cast<const VARIANT*>(&property.value)));
    if (type)
        *type = property.type;
    if (flavor)
        *flavor = 0;
    return S_OK;
}

HRESULT ClassObject::EndEnumeration() {
    return log().enter(L"IWbemClassObject::EndEnumeration", 0);
}

HRESULT ClassObject::GetPropertyQualifierSet(LPCWSTR name, IWbemQualifierSet** set) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::GetPropertyQualifierSet", 0, name))
        return hr;
    const Property* property = find(name ? name : L"");
    if (!property)
        return WBEM_E_NOT_FOUND;
    if (property->system)
        return WBEM_E_SYSTEM_PROPERTY;
    handOut<IWbemQualifierSet>(property->qualifiers, set);
    return S_OK;
}

HRESULT ClassObject::Clone(IWbemClassObject**) {
    return E_NOTIMPL;
}

HRESULT ClassObject::GetObjectText(LONG, BSTR*) {
    return E_NOTIMPL;
}

HRESULT ClassObject::SpawnDerivedClass(LONG flags, IWbemClassObject** created) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::SpawnDerivedClass", flags))
        return hr;
    *created = new ClassObject(1, L"");
    return S_OK;
}

HRESULT ClassObject::SpawnInstance(LONG flags, IWbemClassObject** created) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::SpawnInstance", flags))
        return hr;
    auto* instance = new ClassObject(2, textOf(find(L"__CLASS")->value));
    for (const Property& property : properties) {
        if (!property.system)
            instance->addProperty(property.name, property.value, property.type, property.key);
    }
    *created = instance;
    return S_OK;
}

HRESULT ClassObject::CompareTo(LONG, IWbemClassObject*) {
    return E_NOTIMPL;
}

HRESULT ClassObject::GetPropertyOrigin(LPCWSTR, BSTR*) {
    return E_NOTIMPL;
}

HRESULT ClassObject::InheritsFrom(LPCWSTR) {
    return E_NOTIMPL;
}

HRESULT ClassObject::GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                               IWbemClassObject** out) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::GetMethod", flags, name))
        return hr;
    for (const Method& method : methods) {
        if (sameName(method.name, name)) {
            if (in)
                handOut<IWbemClassObject>(method.in, in);
            if (out)
                handOut<IWbemClassObject>(method.out, out);
            return S_OK;
        }
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT ClassObject::PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) {
    return E_NOTIMPL;
}

HRESULT ClassObject::DeleteMethod(LPCWSTR) {
    return E_NOTIMPL;
}

HRESULT ClassObject::BeginMethodEnumeration(LONG flags) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::BeginMethodEnumeration", flags))
        return hr;
    m_methodPosition = 0;
    return S_OK;
}

HRESULT ClassObject::NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                IWbemClassObject** out) {
    const bool asks = name || in || out;
    if (HRESULT hr = log().enter(L"IWbemClassObject::NextMethod", flags, asks ? L"fetch" : L"skip"))
        return hr;
    if (m_methodPosition >= methods.size())
        return WBEM_S_NO_MORE_DATA;
    const Method& method = methods[m_methodPosition++];
    if (name)
        *name = SysAllocString(method.name.c_str());
    if (in)
        handOut<IWbemClassObject>(method.in, in);
    if (out)
        handOut<IWbemClassObject>(method.out, out);
    return S_OK;
}

HRESULT ClassObject::EndMethodEnumeration() {
    return log().enter(L"IWbemClassObject::EndMethodEnumeration", 0);
}

HRESULT ClassObject::GetMethodQualifierSet(LPCWSTR name, IWbemQualifierSet** set) {
    if (HRESULT hr = log().enter(L"IWbemClassObject::GetMethodQualifierSet", 0, name))
        return hr;
    for (const Method& method : methods) {
        if (sameName(method.name, name)) {
            handOut<IWbemQualifierSet>(method.qualifiers, set);
            return S_OK;
        }
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT ClassObject::GetMethodOrigin(LPCWSTR, BSTR*) {
    return E_NOTIMPL;
}

// ---- Enumerator

Enumerator::Enumerator(const std::vector<ClassObject*>& objects) : m_objects(objects) {
    for (ClassObject* object : m_objects)
        object->AddRef();
}

Enumerator::~Enumerator() {
    for (ClassObject* object : m_objects)
        object->Release();
}

HRESULT Enumerator::Reset() {
    return E_NOTIMPL;
}

HRESULT Enumerator::Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) {
    if (HRESULT hr =
            log().enter(L"IEnumWbemClassObject::Next", timeout, std::to_wstring(count).c_str()))
        return hr;
    *returned = 0;
    while (*returned < count && m_position < m_objects.size()) {
        handOut<IWbemClassObject>(m_objects[m_position++], &objects[*returned]);
        ++*returned;
    }
    return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

HRESULT Enumerator::NextAsync(ULONG, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Enumerator::Clone(IEnumWbemClassObject**) {
    return E_NOTIMPL;
}

HRESULT Enumerator::Skip(LONG, ULONG) {
    return E_NOTIMPL;
}

// ---- Sink, CallResult

HRESULT Sink::Indicate(LONG count, IWbemClassObject** objects) {
    if (HRESULT hr = log().enter(L"IWbemObjectSink::Indicate", count))
        return hr;
    for (LONG i = 0; i < count; ++i) {
        _variant_t className;
        objects[i]->Get(L"__CLASS", 0, &className, nullptr, nullptr);
        indicated.push_back(textOf(className));
    }
    return S_OK;
}

HRESULT Sink::SetStatus(LONG, HRESULT, BSTR, IWbemClassObject*) {
    return E_NOTIMPL;
}

HRESULT CallResult::GetResultObject(LONG, IWbemClassObject**) {
    return E_NOTIMPL;
}

HRESULT CallResult::GetResultString(LONG, BSTR*) {
    return E_NOTIMPL;
}

HRESULT CallResult::GetResultServices(LONG, IWbemServices**) {
    return E_NOTIMPL;
}

HRESULT CallResult::GetCallStatus(LONG, LONG*) {
    return E_NOTIMPL;
}

// ---- Services

Services::~Services() {
    if (sink)
        sink->Release();
    for (auto& entry : m_objects)
        entry.second->Release();
    for (ClassObject* object : m_results)
        object->Release();
    for (IWbemClassObject* object : stored)
        object->Release();
}

void Services::add(const std::wstring& path, ClassObject* object) {
    object->AddRef();
    m_objects.emplace_back(path, object);
}

void Services::setResults(const std::vector<ClassObject*>& objects) {
    for (ClassObject* object : objects)
        object->AddRef();
    for (ClassObject* object : m_results)
        object->Release();
    m_results = objects;
}

HRESULT Services::enumerate(IEnumWbemClassObject** enumerator) {
    *enumerator = new Enumerator(m_results);
    return S_OK;
}

HRESULT Services::OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                IWbemCallResult**) {
    return E_NOTIMPL;
}

HRESULT Services::CancelAsyncCall(IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::QueryObjectSink(LONG flags, IWbemObjectSink** result) {
    if (HRESULT hr = log().enter(L"IWbemServices::QueryObjectSink", flags))
        return hr;
    if (!giveSink) {
        *result = nullptr;
        return S_OK;
    }
    if (sink)
        sink->Release();
    sink = new Sink;
    handOut<IWbemObjectSink>(sink, result);
    return S_OK;
}

HRESULT Services::GetObject(const BSTR path, LONG flags, IWbemContext* context,
                            IWbemClassObject** object, IWbemCallResult** result) {
    lastContext = context;
    if (HRESULT hr = log().enter(L"IWbemServices::GetObject", flags, path ? path : L"<null>"))
        return hr;
    if (result)
        return E_INVALIDARG;
    if (!path) {
        *object = new ClassObject(1, L"");
        return S_OK;
    }
    for (auto& entry : m_objects) {
        if (entry.first == path) {
            handOut<IWbemClassObject>(entry.second, object);
            return S_OK;
        }
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT Services::GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::PutClass(IWbemClassObject*, LONG flags, IWbemContext* context,
                           IWbemCallResult** result) {
    lastContext = context;
    if (HRESULT hr = log().enter(L"IWbemServices::PutClass", flags, result ? L"result" : nullptr))
        return hr;
    if (result)
        *result = new CallResult;
    return S_OK;
}

HRESULT Services::PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::DeleteClass(const BSTR name, LONG flags, IWbemContext* context,
                              IWbemCallResult**) {
    lastContext = context;
    return log().enter(L"IWbemServices::DeleteClass", flags, name);
}

HRESULT Services::DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::CreateClassEnum(const BSTR superclass, LONG flags, IWbemContext* context,
                                  IEnumWbemClassObject** enumerator) {
    lastContext = context;
    if (HRESULT hr = log().enter(L"IWbemServices::CreateClassEnum", flags, superclass))
        return hr;
    return enumerate(enumerator);
}

HRESULT Services::CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::PutInstance(IWbemClassObject* object, LONG flags, IWbemContext* context,
                              IWbemCallResult** result) {
    lastContext = context;
    if (result && *result)
        return E_INVALIDARG; // the caller must hand in a null pointer to be filled
    if (HRESULT hr =
            log().enter(L"IWbemServices::PutInstance", flags, result ? L"result" : nullptr))
        return hr;
    object->AddRef();
    stored.push_back(object);
    if (result)
        *result = new CallResult;
    return S_OK;
}

HRESULT Services::PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::DeleteInstance(const BSTR path, LONG flags, IWbemContext* context,
                                 IWbemCallResult**) {
    lastContext = context;
    return log().enter(L"IWbemServices::DeleteInstance", flags, path);
}

HRESULT Services::DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::CreateInstanceEnum(const BSTR className, LONG flags, IWbemContext* context,
                                     IEnumWbemClassObject** enumerator) {
    lastContext = context;
    if (HRESULT hr = log().enter(L"IWbemServices::CreateInstanceEnum", flags, className))
        return hr;
    return enumerate(enumerator);
}

HRESULT Services::CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::ExecQuery(const BSTR language, const BSTR query, LONG flags,
                            IWbemContext* context, IEnumWbemClassObject** enumerator) {
    lastContext = context;
    const std::wstring text =
        std::wstring(language ? language : L"") + L" " + (query ? query : L"");
    if (HRESULT hr = log().enter(L"IWbemServices::ExecQuery", flags, text.c_str()))
        return hr;
    return enumerate(enumerator);
}

HRESULT Services::ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                        IEnumWbemClassObject**) {
    return E_NOTIMPL;
}

HRESULT Services::ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) {
    return E_NOTIMPL;
}

HRESULT Services::ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                             IWbemClassObject**, IWbemCallResult**) {
    return E_NOTIMPL;
}

HRESULT Services::ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                  IWbemObjectSink*) {
    return E_NOTIMPL;
}

// ---- Context

HRESULT Context::Clone(IWbemContext**) {
    return E_NOTIMPL;
}

HRESULT Context::GetNames(LONG flags, SAFEARRAY** names) {
    if (HRESULT hr = log().enter(L"IWbemContext::GetNames", flags))
        return hr;
    std::vector<std::wstring> list;
    for (const auto& value : values)
        list.push_back(value.first);
    *names = namesArray(list);
    return S_OK;
}

HRESULT Context::BeginEnumeration(LONG flags) {
    if (HRESULT hr = log().enter(L"IWbemContext::BeginEnumeration", flags))
        return hr;
    m_position = 0;
    return S_OK;
}

HRESULT Context::Next(LONG flags, BSTR* name, VARIANT* value) {
    if (HRESULT hr = log().enter(L"IWbemContext::Next", flags))
        return hr;
    if (m_position >= values.size())
        return WBEM_S_NO_MORE_DATA;
    const auto& entry = values[m_position++];
    if (name)
        *name = SysAllocString(entry.first.c_str());
    if (value)
        VariantCopy(value, const_cast<VARIANT*>(static_cast<const VARIANT*>(&entry.second)));
    return S_OK;
}

HRESULT Context::EndEnumeration() {
    return log().enter(L"IWbemContext::EndEnumeration", 0);
}

HRESULT Context::SetValue(LPCWSTR name, LONG flags, VARIANT* value) {
    if (HRESULT hr = log().enter(L"IWbemContext::SetValue", flags, name))
        return hr;
    for (auto& entry : values) {
        if (sameName(entry.first, name)) {
            entry.second = *value;
            return S_OK;
        }
    }
    values.emplace_back(name, *value);
    return S_OK;
}

HRESULT Context::GetValue(LPCWSTR name, LONG flags, VARIANT* value) {
    if (HRESULT hr = log().enter(L"IWbemContext::GetValue", flags, name))
        return hr;
    for (auto& entry : values) {
        if (sameName(entry.first, name))
            return VariantCopy(value,
                               const_cast<VARIANT*>(static_cast<const VARIANT*>(&entry.second)));
    }
    return WBEM_E_NOT_FOUND;
}

HRESULT Context::DeleteValue(LPCWSTR, LONG) {
    return E_NOTIMPL;
}

HRESULT Context::DeleteAll() {
    return E_NOTIMPL;
}

// ---- TextSource

HRESULT TextSource::GetText(LONG flags, IWbemClassObject* object, ULONG format,
                            IWbemContext* context, BSTR* text) {
    if (HRESULT hr =
            log().enter(L"IWbemObjectTextSrc::GetText", flags, std::to_wstring(format).c_str()))
        return hr;
    world().textContext.clear();
    if (auto* values = dynamic_cast<Context*>(context)) {
        for (const auto& entry : values->values)
            world().textContext.push_back(entry.first + L"=" + textOf(entry.second));
    }
    if (!object)
        return WBEM_E_INVALID_PARAMETER;
    _variant_t className;
    object->Get(L"__CLASS", 0, &className, nullptr, nullptr);
    *text = SysAllocString((L"<CLASS NAME=\"" + textOf(className) + L"\"/>").c_str());
    return S_OK;
}

HRESULT TextSource::CreateFromText(LONG, BSTR, ULONG, IWbemContext*, IWbemClassObject**) {
    return E_NOTIMPL;
}

// ---- Locator

HRESULT Locator::ConnectServer(const BSTR resource, const BSTR user, const BSTR password,
                               const BSTR locale, LONG securityFlags, const BSTR authority,
                               IWbemContext* context, IWbemServices** services) {
    std::wstring text = resource ? resource : L"<null>";
    if (user || password || locale || authority || context)
        text += L" +credentials";
    if (HRESULT hr = log().enter(L"IWbemLocator::ConnectServer", securityFlags, text.c_str()))
        return hr;
    if (!world().services)
        return WBEM_E_INVALID_NAMESPACE;
    handOut<IWbemServices>(world().services, services);
    return S_OK;
}

} // namespace fake

// ---- The diverted runtime functions

namespace {

template <typename Function>
Function platformFunction(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool diverted(REFCLSID clsid) {
    return clsid == CLSID_WbemLocator || clsid == CLSID_WbemContext ||
           clsid == CLSID_WbemObjectTextSrc;
}

} // namespace

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext,
                                           REFIID riid, LPVOID* object) {
    if (!diverted(clsid)) {
        static const auto platform =
            platformFunction<HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*)>(
                "CoCreateInstance");
        return platform ? platform(clsid, outer, clsContext, riid, object) : REGDB_E_CLASSNOTREG;
    }
    *object = nullptr;
    const wchar_t* name = clsid == CLSID_WbemLocator   ? L"WbemLocator"
                          : clsid == CLSID_WbemContext ? L"WbemContext"
                                                       : L"WbemObjectTextSrc";
    fake::World& world = fake::world();
    if (HRESULT hr = fake::log().enter(L"CoCreateInstance", static_cast<long>(clsContext), name))
        return hr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (world.createFailing == clsid && world.createStatus != S_OK)
        return world.createStatus;
    IUnknown* made = clsid == CLSID_WbemLocator   ? static_cast<IUnknown*>(new fake::Locator)
                     : clsid == CLSID_WbemContext ? static_cast<IUnknown*>(new fake::Context)
                                                  : static_cast<IUnknown*>(new fake::TextSource);
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
}

extern "C" HRESULT WINAPI CoSetProxyBlanket(IUnknown* proxy, DWORD authnSvc, DWORD authzSvc,
                                            OLECHAR* principal, DWORD authnLevel, DWORD impLevel,
                                            RPC_AUTH_IDENTITY_HANDLE identity, DWORD capabilities) {
    fake::World& world = fake::world();
    fake::log().enter(L"CoSetProxyBlanket", 0);
    if (!proxy)
        return E_INVALIDARG;
    world.blanket[0] = authnSvc;
    world.blanket[1] = authzSvc;
    world.blanket[2] = authnLevel;
    world.blanket[3] = impLevel;
    world.blanket[4] = capabilities;
    world.blanketNulls = !principal && !identity;
    return world.blanketStatus;
}
