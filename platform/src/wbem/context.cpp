// The call context (IWbemContext): named values that travel with a WMI call.
//
// Values keep the order in which their names were first set; names compare without regard to
// case and keep the spelling they were first set with. One mutex guards each context, so that
// threads may share it, the enumeration position included (as on Windows, there is one position
// per context, not per caller).
#include <windows.h>
#include <wbemidl.h>

#include "../com/classes.h"
#include "../com/unknown.h"
#include "names.h"
#include "ownedvariant.h"

#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace zp::wbem {
namespace {

struct NamedValue {
    std::wstring name;
    OwnedVariant value;
};

class WbemContext final : public com::Unknown<WbemContext, IWbemContext> {
public:
    static HRESULT create(REFIID riid, void** object) noexcept {
        WbemContext* context = new (std::nothrow) WbemContext;
        if (!context)
            return E_OUTOFMEMORY;
        const HRESULT hr = context->QueryInterface(riid, object);
        context->Release();
        return hr;
    }

    // IWbemContext, in the SDK's order
    HRESULT STDMETHODCALLTYPE Clone(IWbemContext** copy) override {
        if (!copy)
            return WBEM_E_INVALID_PARAMETER;
        *copy = nullptr;
        WbemContext* made = new (std::nothrow) WbemContext;
        if (!made)
            return WBEM_E_OUT_OF_MEMORY;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            const HRESULT hr = made->copyValuesFrom(m_values);
            if (FAILED(hr)) {
                made->Release();
                return hr;
            }
        }
        *copy = made;
        return WBEM_S_NO_ERROR;
    }

    // The names as a vector of strings with lower bound 0, in the order they were first set.
    HRESULT STDMETHODCALLTYPE GetNames(LONG flags, SAFEARRAY** names) override {
        if (flags != 0 || !names)
            return WBEM_E_INVALID_PARAMETER;
        *names = nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(m_values.size()));
        if (!array)
            return WBEM_E_OUT_OF_MEMORY;
        BSTR* slots = nullptr;
        SafeArrayAccessData(array, reinterpret_cast<void**>(&slots));
        for (size_t i = 0; i < m_values.size(); ++i) {
            slots[i] = SysAllocStringLen(m_values[i].name.data(),
                                         static_cast<UINT>(m_values[i].name.size()));
            if (!slots[i]) {
                SafeArrayUnaccessData(array);
                SafeArrayDestroy(array);
                return WBEM_E_OUT_OF_MEMORY;
            }
        }
        SafeArrayUnaccessData(array);
        *names = array;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override {
        if (flags != 0)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_enumerating = true;
        m_position = 0;
        return WBEM_S_NO_ERROR;
    }

    // Either output may be null when the caller wants only the other one.
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value) override {
        if (flags != 0)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_enumerating)
            return WBEM_E_UNEXPECTED;
        if (m_position >= m_values.size())
            return WBEM_S_NO_MORE_DATA;
        NamedValue& current = m_values[m_position];
        BSTR copiedName = nullptr;
        if (name) {
            copiedName =
                SysAllocStringLen(current.name.data(), static_cast<UINT>(current.name.size()));
            if (!copiedName)
                return WBEM_E_OUT_OF_MEMORY;
        }
        if (value) {
            VariantInit(value);
            const HRESULT hr = VariantCopy(value, &current.value.get());
            if (FAILED(hr)) {
                SysFreeString(copiedName);
                return hr;
            }
        }
        if (name)
            *name = copiedName;
        ++m_position;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE EndEnumeration() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_enumerating = false;
        m_position = 0;
        return WBEM_S_NO_ERROR;
    }

    // A name set before keeps its place and its first spelling; only its value changes. A value
    // that cannot be copied leaves the context as it was.
    HRESULT STDMETHODCALLTYPE SetValue(LPCWSTR name, LONG flags, VARIANT* value) override {
        if (!name || flags != 0 || !value)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_mutex);
        NamedValue* existing = find(name);
        if (existing) {
            OwnedVariant copy;
            const HRESULT hr = copy.copyFrom(*value);
            if (FAILED(hr))
                return hr;
            existing->value = std::move(copy);
            return WBEM_S_NO_ERROR;
        }
        m_values.emplace_back();
        m_values.back().name = name;
        const HRESULT hr = m_values.back().value.copyFrom(*value);
        if (FAILED(hr)) {
            m_values.pop_back();
            return hr;
        }
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE GetValue(LPCWSTR name, LONG flags, VARIANT* value) override {
        if (!name || flags != 0 || !value)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_mutex);
        NamedValue* existing = find(name);
        if (!existing)
            return WBEM_E_NOT_FOUND;
        VariantInit(value);
        return VariantCopy(value, &existing->value.get());
    }

    // An enumeration in progress goes on with the value after the deleted one.
    HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name, LONG flags) override {
        if (!name || flags != 0)
            return WBEM_E_INVALID_PARAMETER;
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_values.size(); ++i) {
            if (sameName(m_values[i].name, name)) {
                m_values.erase(m_values.begin() + static_cast<ptrdiff_t>(i));
                if (i < m_position)
                    --m_position;
                return WBEM_S_NO_ERROR;
            }
        }
        return WBEM_E_NOT_FOUND;
    }

    HRESULT STDMETHODCALLTYPE DeleteAll() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values.clear();
        m_position = 0;
        return WBEM_S_NO_ERROR;
    }

private:
    WbemContext() = default;
    friend Unknown;
    ~WbemContext() = default;

    NamedValue* find(LPCWSTR name) {
        for (NamedValue& entry : m_values) {
            if (sameName(entry.name, name))
                return &entry;
        }
        return nullptr;
    }

    // Called on a new context that no other thread sees yet.
    HRESULT copyValuesFrom(std::vector<NamedValue>& source) {
        m_values = std::vector<NamedValue>(source.size());
        for (size_t i = 0; i < source.size(); ++i) {
            m_values[i].name = source[i].name;
            const HRESULT hr = m_values[i].value.copyFrom(source[i].value.get());
            if (FAILED(hr))
                return hr;
        }
        return WBEM_S_NO_ERROR;
    }

    std::mutex m_mutex;
    std::vector<NamedValue> m_values;
    bool m_enumerating = false;
    size_t m_position = 0;
};

const zp::com::ClassRegistration registration{CLSID_WbemContext, &WbemContext::create};

} // namespace
} // namespace zp::wbem
