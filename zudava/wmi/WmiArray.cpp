#include "zudava/wmi/WmiArray.h"

#include <string.h>

#include <string>

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/CimTypes.h"
#include "zudava/wmi/WmiType.h"
#include "zudava/wmi/WmiValue.h"

namespace DEZE {

namespace {

SAFEARRAY* mutableArray(const SAFEARRAY* array) {
    return const_cast<SAFEARRAY*>(array);
}

SAFEARRAY* copyOf(const SAFEARRAY* source) {
    SAFEARRAY* copy = nullptr;
    throwIfFailed(SafeArrayCopy(mutableArray(source), &copy), L"::SafeArrayCopy() failed");
    return copy;
}

SAFEARRAY* createVector(VARTYPE vt, ULONG count) {
    SAFEARRAY* array = SafeArrayCreateVectorEx(vt, 0, count, nullptr);
    if (!array)
        throwLibraryError(L"::SafeArrayCreateVector() failed");
    return array;
}

VARTYPE vartypeOf(const SAFEARRAY* array) {
    VARTYPE vt = VT_EMPTY;
    throwIfFailed(SafeArrayGetVartype(mutableArray(array), &vt), L"::SafeArrayGetVartype() failed");
    return vt;
}

// Holds a SAFEARRAY until it is handed on.
struct ArrayGuard {
    SAFEARRAY* array;
    ~ArrayGuard() { SafeArrayDestroy(array); }
    SAFEARRAY* release() {
        SAFEARRAY* result = array;
        array = nullptr;
        return result;
    }
};

// The element as `SafeArrayPutElement` wants it: strings and interfaces by value, everything
// else by address.
void* putArgument(VARTYPE vt, VARIANT& element) {
    if (vt == VT_BSTR)
        return V_BSTR(&element);
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
        return V_UNKNOWN(&element);
    return &V_BYREF(&element);
}

} // namespace

WmiArray::WmiArray(const SAFEARRAY* source, long cimType)
    : m_array(nullptr), m_type(cim::elementType(cimType)) {
    m_array = source ? copyOf(source) : createVector(elementVartype(), 0);
}

WmiArray::WmiArray(const SAFEARRAY* source, long cimType, unsigned long count)
    : m_array(nullptr), m_type(cim::elementType(cimType)) {
    const VARTYPE vt = elementVartype();
    if (source && vartypeOf(source) != vt)
        throwLibraryError(L"type mismatch");
    ArrayGuard fresh{createVector(vt, static_cast<ULONG>(count))};
    if (source) {
        for (ULONG i = 0; i < static_cast<ULONG>(count); ++i) {
            LONG index = static_cast<LONG>(i);
            _variant_t element;
            throwIfFailed(SafeArrayGetElement(mutableArray(source), &index, &V_BYREF(&element)),
                          L"::SafeArrayGetElement() failed");
            V_VT(&element) = vt; // now owned by the variant
            throwIfFailed(SafeArrayPutElement(fresh.array, &index, putArgument(vt, element)),
                          L"::SafeArrayPutElement() failed");
        }
    }
    m_array = fresh.release();
}

WmiArray::WmiArray(const WmiArray& other) : m_array(nullptr), m_type(other.m_type) {
    if (other.m_array)
        m_array = copyOf(other.m_array);
}

WmiArray& WmiArray::operator=(const WmiArray& other) {
    if (this == &other)
        return *this;
    SafeArrayDestroy(m_array);
    m_array = nullptr;
    if (other.m_array) {
        m_type = other.m_type;
        m_array = copyOf(other.m_array);
    }
    return *this;
}

WmiArray::~WmiArray() {
    if (m_array)
        SafeArrayDestroy(m_array);
}

WmiArray::operator SAFEARRAY*() {
    return m_array;
}

WmiArray::operator const SAFEARRAY*() const {
    return m_array;
}

long WmiArray::getType() const {
    return m_type;
}

VARTYPE WmiArray::elementVartype() const {
    return static_cast<unsigned short>(WmiType(m_type));
}

unsigned long WmiArray::getElementCount() const {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(m_array, 1, &lower);
    SafeArrayGetUBound(m_array, 1, &upper);
    return static_cast<ULONG>(upper - lower + 1);
}

_variant_t WmiArray::getElement(unsigned long index) const {
    const VARTYPE vt = vartypeOf(m_array);
    _variant_t result;
    LONG position = static_cast<LONG>(index);
    HRESULT hr;
    if (vt == VT_VARIANT || vt == VT_DECIMAL) {
        // These elements are larger than a VARIANT's data field.
        VARIANT element;
        VariantInit(&element);
        hr = SafeArrayGetElement(m_array, &position,
                                 vt == VT_VARIANT ? static_cast<void*>(&element)
                                                  : &V_DECIMAL(&element));
        throwIfFailed(hr, L"::SafeArrayGetElement() failed");
        if (vt == VT_DECIMAL)
            V_VT(&element) = VT_DECIMAL;
        result.Attach(element);
        return result;
    }
    hr = SafeArrayGetElement(m_array, &position, &V_BYREF(&result));
    throwIfFailed(hr, L"::SafeArrayGetElement() failed");
    V_VT(&result) = vt;
    return result;
}

void WmiArray::setElement(unsigned long index, const _variant_t& value) {
    const VARTYPE vt = vartypeOf(m_array);
    if (vt != elementVartype())
        throwLibraryError(L"type mismatch");
    LONG position = static_cast<LONG>(index);
    HRESULT hr;
    if (vt == VT_BSTR) {
        _variant_t converted;
        BSTR text;
        if (V_VT(&value) == VT_BSTR) {
            text = V_BSTR(&value);
        } else {
            _com_util::CheckError(
                VariantChangeType(&converted, const_cast<_variant_t*>(&value), 0, VT_BSTR));
            text = V_BSTR(&converted);
        }
        if (SysStringByteLen(text) == 0) {
            // An empty text is kept as an empty string, never as a null one.
            _bstr_t empty(L"");
            hr = SafeArrayPutElement(m_array, &position, static_cast<wchar_t*>(empty));
        } else {
            hr = SafeArrayPutElement(m_array, &position, text);
        }
    } else if (vt == VT_UNKNOWN) {
        IUnknown* object = nullptr;
        if (V_VT(&value) == VT_UNKNOWN || V_VT(&value) == VT_DISPATCH)
            object = V_UNKNOWN(&value);
        else if (V_VT(&value) != VT_EMPTY && V_VT(&value) != VT_NULL)
            _com_issue_error(DISP_E_TYPEMISMATCH); // no interface to store
        hr = SafeArrayPutElement(m_array, &position, object);
    } else {
        hr = SafeArrayPutElement(m_array, &position, const_cast<void**>(&V_BYREF(&value)));
    }
    throwIfFailed(hr, L"::SafeArrayPutElement() failed");
}

void WmiArray::addElement(const _variant_t& value) {
    const ULONG count = static_cast<ULONG>(getElementCount());
    SAFEARRAYBOUND bound = {count + 1, 0};
    throwIfFailed(SafeArrayRedim(m_array, &bound), L"::SafeArrayRedim() failed");
    setElement(count, value);
}

void WmiArray::removeElement(unsigned long index) {
    const ULONG count = static_cast<ULONG>(getElementCount());
    const ULONG last = count - 1;
    for (ULONG i = static_cast<ULONG>(index); i < last; ++i)
        setElement(i, getElement(i + 1));
    SAFEARRAYBOUND bound = {last, 0};
    throwIfFailed(SafeArrayRedim(m_array, &bound), L"::SafeArrayRedim() failed");
}

_bstr_t WmiArray::toString() const {
    const ULONG count = static_cast<ULONG>(getElementCount());
    std::wstring text;
    for (ULONG i = 0; i < count; ++i) {
        const _bstr_t element = WmiValue(getElement(i), m_type).toString();
        text.append(static_cast<const wchar_t*>(element), element.length());
        if (i + 1 < count)
            text.append(L", ");
    }
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(result, false);
}

} // namespace DEZE
