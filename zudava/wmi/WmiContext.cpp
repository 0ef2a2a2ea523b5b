#include "zudava/wmi/WmiContext.h"

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/WmiType.h"
#include "zudava/wmi/_WmiCalls.h"

namespace DEZE {

namespace {

const wchar_t kLocalOnly[] = L"LocalOnly";
const wchar_t kIncludeQualifiers[] = L"IncludeQualifiers";
const wchar_t kClassOrigin[] = L"ClassOrigin";
const wchar_t kExcludeSystemProperties[] = L"ExcludeSystemProperties";
const wchar_t kPropertyList[] = L"__PUT_EXT_PROPERTIES";

// The result of the lookup is not judged: an absent value leaves the VARIANT empty, which reads
// as false.
bool readOption(const IWbemContextPtr& context, const wchar_t* name) {
    if (!context)
        return false;
    _variant_t value;
    context->GetValue(name, 0, &value);
    if (V_VT(&value) == VT_BOOL)
        return V_BOOL(&value) != VARIANT_FALSE;
    _variant_t converted;
    _com_util::CheckError(VariantChangeType(&converted, &value, 0, VT_BOOL));
    return V_BOOL(&converted) == VARIANT_TRUE;
}

// A write that fails leaves the context as it was; the options report no platform failure.
void writeOption(const IWbemContextPtr& context, const wchar_t* name, bool on) {
    if (!context)
        return;
    _variant_t value;
    V_VT(&value) = VT_BOOL;
    V_BOOL(&value) = on ? VARIANT_TRUE : VARIANT_FALSE;
    context->SetValue(name, 0, &value);
}

void requireContext(const IWbemContextPtr& context) {
    if (!context)
        throwLibraryError(L"Index out of bounds");
}

WmiProperty propertyOf(const _bstr_t& name, const _variant_t& value) {
    return WmiProperty(name, value, static_cast<long>(WmiType(value)), nullptr);
}

} // namespace

WmiContext::WmiContext() {
    IWbemContext* created = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_WbemContext, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWbemContext, reinterpret_cast<void**>(&created));
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    if (!created)
        throwLibraryError(L"Failed to create IWbemContext");
    m_context.Attach(created);
}

WmiContext::WmiContext(const IWbemContextPtr& context) : m_context(context) {}

WmiContext::WmiContext(const WmiContext& other) = default;

WmiContext& WmiContext::operator=(const WmiContext& other) = default;

WmiContext::~WmiContext() = default;

bool WmiContext::getLocalOnly() const {
    return readOption(m_context, kLocalOnly);
}

bool WmiContext::getIncludeQualifiers() const {
    return readOption(m_context, kIncludeQualifiers);
}

bool WmiContext::getIncludeClassOrigin() const {
    return readOption(m_context, kClassOrigin);
}

bool WmiContext::getExcludeSystemProperties() const {
    return readOption(m_context, kExcludeSystemProperties);
}

void WmiContext::setLocalOnly(bool value) {
    writeOption(m_context, kLocalOnly, value);
}

void WmiContext::setIncludeQualifiers(bool value) {
    writeOption(m_context, kIncludeQualifiers, value);
}

void WmiContext::setIncludeClassOrigin(bool value) {
    writeOption(m_context, kClassOrigin, value);
}

void WmiContext::setExcludeSystemProperties(bool value) {
    writeOption(m_context, kExcludeSystemProperties, value);
}

WmiArray WmiContext::getPropertyList() const {
    _variant_t value;
    if (m_context)
        m_context->GetValue(kPropertyList, 0, &value);
    // Only an array of strings is a property list; anything else gives the empty list.
    const SAFEARRAY* list = V_VT(&value) == (VT_ARRAY | VT_BSTR)
                                ? static_cast<const SAFEARRAY*>(V_ARRAY(&value))
                                : nullptr;
    return WmiArray(list, CIM_STRING);
}

void WmiContext::setPropertyList(const WmiArray& /*list*/) {}

unsigned long WmiContext::getPropertyCount() const {
    if (!m_context)
        return 0;
    _WmiSafeArrayOut names;
    throwIfFailed(m_context->GetNames(0, &names), L"IWbemClassObject::GetNames() failed");
    return names.count();
}

WmiProperty WmiContext::getProperty(unsigned long index) const {
    requireContext(m_context);
    IWbemContext* context = m_context;
    throwIfFailed(context->BeginEnumeration(0), L"IWbemClassObject::BeginEnumeration() failed");
    auto enumeration = _wmiEnumerationScope([context] { return context->EndEnumeration(); });
    for (unsigned long skipped = 0; skipped < index; ++skipped) {
        _WmiBstrOut name;
        _variant_t value;
        const HRESULT hr = context->Next(0, &name, &value);
        if (hr != S_OK) {
            // The end of the values comes to light in the fetch below.
            throwIfFailed(hr, L"IWbemClassObject::Next() failed");
            break;
        }
    }
    _WmiBstrOut name;
    _variant_t value;
    const HRESULT hr = context->Next(0, &name, &value);
    if (hr != S_OK)
        throw WmiException(hr, L"Index out of bounds");
    throwIfFailed(enumeration.end(), L"IWbemClassObject::EndEnumeration() failed");
    return propertyOf(name.release(), value);
}

WmiProperty WmiContext::getProperty(const _bstr_t& name) const {
    requireContext(m_context);
    _variant_t value;
    throwIfFailed(m_context->GetValue(name, 0, &value), L"IWbemClassObject::Get() failed");
    return propertyOf(name, value);
}

void WmiContext::setProperty(const WmiProperty& property) {
    requireContext(m_context);
    _variant_t value = property.getValue();
    throwIfFailed(m_context->SetValue(property.getName(), 0, &value),
                  L"IWbemClassObject::Put() failed");
}

const IWbemContextPtr& WmiContext::getContext() const {
    return m_context;
}

} // namespace DEZE
