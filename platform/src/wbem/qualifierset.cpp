// IWbemQualifierSet over a class object's object, property or method qualifiers.
#include "qualifierset.h"

namespace zp::wbem {
namespace {

bool validNamesFlags(LONG flags) {
    return flags == 0 || flags == WBEM_FLAG_LOCAL_ONLY || flags == WBEM_FLAG_PROPAGATED_ONLY;
}

} // namespace

QualifierSet::QualifierSet(ClassObject* owner, ClassObject::Target target, std::wstring name)
    : m_owner(owner), m_target(target), m_name(std::move(name)) {
    m_owner->AddRef();
}

QualifierSet::~QualifierSet() {
    m_owner->Release();
}

HRESULT QualifierSet::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemQualifierSet) {
        *object = static_cast<IWbemQualifierSet*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG QualifierSet::AddRef() {
    return m_refs.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG QualifierSet::Release() {
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

HRESULT QualifierSet::selected(LONG flags, QualifierList& list) const {
    QualifierList all;
    const HRESULT hr = m_owner->qualifiers(m_target, m_name, all);
    if (FAILED(hr))
        return hr;
    if (flags != WBEM_FLAG_LOCAL_ONLY && flags != WBEM_FLAG_PROPAGATED_ONLY) {
        list = all;
        return S_OK;
    }
    list.clear();
    for (const Qualifier& q : all) {
        const bool propagated = (q.flavor & WBEM_FLAVOR_ORIGIN_PROPAGATED) != 0;
        if ((flags == WBEM_FLAG_LOCAL_ONLY && propagated) ||
            (flags == WBEM_FLAG_PROPAGATED_ONLY && !propagated))
            continue;
        list.push_back(q);
    }
    return S_OK;
}

HRESULT QualifierSet::Get(LPCWSTR name, LONG flags, VARIANT* value, LONG* flavor) {
    if (!name || flags != 0)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    try {
        QualifierList list;
        const HRESULT hr = m_owner->qualifiers(m_target, m_name, list);
        if (FAILED(hr))
            return hr;
        const int at = findQualifier(list, name);
        if (at < 0)
            return WBEM_E_NOT_FOUND;
        const Qualifier& q = list[static_cast<size_t>(at)];
        if (value) {
            VARIANT copy;
            VariantInit(&copy);
            if (FAILED(VariantCopy(&copy, const_cast<_variant_t*>(&q.value))))
                return WBEM_E_OUT_OF_MEMORY;
            *value = copy;
        }
        if (flavor)
            *flavor = q.flavor;
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::Put(LPCWSTR name, VARIANT* value, LONG flavor) {
    if (!name || !name[0] || !value)
        return WBEM_E_INVALID_PARAMETER;
    // Names with a leading or trailing underscore are the system's.
    const size_t length = wcslen(name);
    if (name[0] == L'_' || name[length - 1] == L'_')
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    try {
        return m_owner->putQualifier(m_target, m_name, name, *value, flavor);
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::Delete(LPCWSTR name) {
    if (!name)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    try {
        return m_owner->deleteQualifier(m_target, m_name, name);
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::GetNames(LONG flags, SAFEARRAY** names) {
    if (!names || !validNamesFlags(flags))
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    try {
        QualifierList list;
        const HRESULT hr = selected(flags, list);
        if (FAILED(hr))
            return hr;
        SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(list.size()));
        if (!array)
            return WBEM_E_OUT_OF_MEMORY;
        BSTR* slots = static_cast<BSTR*>(array->pvData);
        for (size_t i = 0; i < list.size(); ++i) {
            slots[i] =
                SysAllocStringLen(list[i].name.data(), static_cast<UINT>(list[i].name.size()));
            if (!slots[i]) {
                SafeArrayDestroy(array);
                return WBEM_E_OUT_OF_MEMORY;
            }
        }
        *names = array;
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::BeginEnumeration(LONG flags) {
    if (!validNamesFlags(flags))
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    try {
        QualifierList list;
        const HRESULT hr = selected(flags, list);
        if (FAILED(hr))
            return hr;
        auto names = std::make_unique<std::vector<std::wstring>>();
        for (const Qualifier& q : list)
            names->push_back(q.name);
        m_enumeration = std::move(names);
        m_position = 0;
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::Next(LONG flags, BSTR* name, VARIANT* value, LONG* flavor) {
    if (flags != 0)
        return WBEM_E_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    if (!m_enumeration)
        return WBEM_E_UNEXPECTED;
    try {
        QualifierList list;
        const HRESULT hr = m_owner->qualifiers(m_target, m_name, list);
        if (FAILED(hr))
            return hr;
        while (m_position < m_enumeration->size()) {
            const std::wstring& next = (*m_enumeration)[m_position++];
            const int at = findQualifier(list, next.c_str());
            if (at < 0)
                continue; // deleted since the enumeration began
            const Qualifier& q = list[static_cast<size_t>(at)];
            BSTR text = nullptr;
            if (name) {
                text = SysAllocStringLen(q.name.data(), static_cast<UINT>(q.name.size()));
                if (!text)
                    return WBEM_E_OUT_OF_MEMORY;
            }
            if (value) {
                VARIANT copy;
                VariantInit(&copy);
                if (FAILED(VariantCopy(&copy, const_cast<_variant_t*>(&q.value)))) {
                    SysFreeString(text);
                    return WBEM_E_OUT_OF_MEMORY;
                }
                *value = copy;
            }
            if (name)
                *name = text;
            if (flavor)
                *flavor = q.flavor;
            return S_OK;
        }
        return WBEM_S_NO_MORE_DATA;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

HRESULT QualifierSet::EndEnumeration() {
    std::lock_guard<std::mutex> hold(m_owner->m_lock);
    m_enumeration.reset();
    m_position = 0;
    return S_OK;
}

} // namespace zp::wbem
