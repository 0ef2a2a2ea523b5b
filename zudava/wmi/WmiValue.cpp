#include "zudava/wmi/WmiValue.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "zudava/wmi/CimTypes.h"
#include "zudava/wmi/WmiObject.h"

namespace DEZE {

namespace {

// What one element of a type looks like in memory, big enough for any SAFEARRAY element so that
// an array of another type than expected is never read or written past its end.
union Element {
    SHORT i2;
    LONG i4;
    BYTE ui1;
    FLOAT r4;
    DOUBLE r8;
    VARIANT_BOOL b;
    BSTR text;
    IUnknown* object;
    VARIANT variant;
    DECIMAL decimal;
};

using cim::TextForm;
using cim::TypeInfo;

// Text reserved for a value whose type has no text form.
constexpr size_t kUnsupportedRoom = 64;

// Appends what the runtime's wide printf made of one number.
template <size_t N>
void appendFormatted(std::wstring& out, wchar_t (&buffer)[N], int written) {
    if (written < 0)
        written = static_cast<int>(wcslen(buffer));
    out.append(buffer, static_cast<size_t>(written));
}

// Runtimes differ in how many exponent digits they print; the text form always has three.
void appendReal(std::wstring& out, const wchar_t* format, double value) {
    wchar_t buffer[64];
    int written = _snwprintf_s(buffer, 64, _TRUNCATE, format, value);
    if (written < 0)
        written = static_cast<int>(wcslen(buffer));
    const wchar_t* e = wcschr(buffer, L'e');
    if (e && (e[1] == L'+' || e[1] == L'-') && wcslen(e + 2) == 2 && written + 1 < 64) {
        const size_t at = static_cast<size_t>(e + 2 - buffer);
        out.append(buffer, at);
        out.push_back(L'0');
        out.append(buffer + at, static_cast<size_t>(written) - at);
        return;
    }
    out.append(buffer, static_cast<size_t>(written));
}

// An embedded object is its XML text and a null one empty text. An interface that is no WMI
// object has no text form.
void appendObject(std::wstring& out, IUnknown* object) {
    if (!object)
        return;
    const IWbemClassObjectPtr embedded(object);
    if (!embedded) {
        out.append(L"<unsupported type>");
        return;
    }
    const _bstr_t xml = WmiObject(embedded).toXml();
    out.append(static_cast<const wchar_t*>(xml) ? static_cast<const wchar_t*>(xml) : L"",
               xml.length());
}

// Appends one scalar of the given type (null: a type without a text form) whose data sits at
// `data`, read as the type's carrier.
void appendScalar(std::wstring& out, const TypeInfo* type, const Element& data) {
    if (!type) {
        out.append(L"<unsupported type>");
        return;
    }
    wchar_t buffer[20];
    switch (type->form) {
    case TextForm::Null:
        out.append(L"<null>");
        break;
    case TextForm::Signed16:
        appendFormatted(out, buffer, _snwprintf_s(buffer, 20, _TRUNCATE, L"%d", int(data.i2)));
        break;
    case TextForm::Signed32:
        appendFormatted(out, buffer, _snwprintf_s(buffer, 20, _TRUNCATE, L"%d", int(data.i4)));
        break;
    case TextForm::Unsigned8:
        appendFormatted(out, buffer,
                        _snwprintf_s(buffer, 20, _TRUNCATE, L"%u", unsigned(data.ui1)));
        break;
    case TextForm::Unsigned16:
        appendFormatted(
            out, buffer,
            _snwprintf_s(buffer, 20, _TRUNCATE, L"%hu", static_cast<unsigned>(data.i4)));
        break;
    case TextForm::Unsigned32:
        appendFormatted(out, buffer,
                        _snwprintf_s(buffer, 20, _TRUNCATE, L"%u", static_cast<unsigned>(data.i4)));
        break;
    case TextForm::Real32:
        appendReal(out, L"%.7e", double(data.r4));
        break;
    case TextForm::Real64:
        appendReal(out, L"%.16e", data.r8);
        break;
    case TextForm::Char16: {
        wchar_t character[5];
        const int written = _snwprintf_s(character, 5, _TRUNCATE, L"%c",
                                         static_cast<int>(static_cast<unsigned short>(data.i2)));
        // A NUL character ends the text it is in.
        out.append(character, written > 0 ? wcslen(character) : 0);
        break;
    }
    case TextForm::Boolean:
        out.append(data.b ? L"true" : L"false");
        break;
    case TextForm::Text:
        if (data.text)
            out.append(data.text, wcslen(data.text));
        break;
    case TextForm::Object:
        appendObject(out, data.object);
        break;
    }
}

// Releases what a fetched array element of `vt` owns.
void releaseElement(VARTYPE vt, Element& element) {
    switch (vt) {
    case VT_BSTR:
        SysFreeString(element.text);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (element.object)
            element.object->Release();
        break;
    case VT_VARIANT:
        VariantClear(&element.variant);
        break;
    default:
        break;
    }
}

void appendArray(std::wstring& out, const VARIANT& value, const TypeInfo& elementType) {
    const VARTYPE expected = elementType.carrier;
    // Only a VARIANT that really holds an array has one to read.
    SAFEARRAY* array = (V_VT(&value) & VT_ARRAY) ? V_ARRAY(&value) : nullptr;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    if (upper < lower)
        return;
    VARTYPE actual = expected;
    if (array && FAILED(SafeArrayGetVartype(array, &actual)))
        actual = VT_EMPTY;
    out.reserve(out.size() + static_cast<size_t>(int64_t(upper) - lower) * elementType.elementRoom);
    for (LONG index = lower;; ++index) {
        Element element;
        memset(&element, 0, sizeof element);
        SafeArrayGetElement(array, &index, &element);
        const bool isInterface = actual == VT_UNKNOWN || actual == VT_DISPATCH;
        if (actual != expected && (expected == VT_BSTR || actual == VT_BSTR ||
                                   (expected == VT_UNKNOWN && !isInterface))) {
            // Text read as a number, a number read as text or as an interface would follow
            // garbage.
            Element zero;
            memset(&zero, 0, sizeof zero);
            appendScalar(out, &elementType, zero);
        } else {
            appendScalar(out, &elementType, element);
        }
        releaseElement(actual, element);
        if (index == upper)
            break;
        out.append(L", ");
    }
}

// The element type of an array type that has a text form; null for any other type.
const TypeInfo* printableElementType(long cimType) {
    if (!cim::isArray(cimType))
        return nullptr;
    const TypeInfo* element = cim::find(cim::elementType(cimType));
    if (!element || !element->arrayElement)
        return nullptr;
    return element;
}

} // namespace

WmiValue::WmiValue(const _variant_t& value, long cimType) : _variant_t(), m_type(cimType) {
    _com_util::CheckError(VariantCopy(this, const_cast<_variant_t*>(&value)));
    if (V_VT(this) == VT_EMPTY)
        V_VT(this) = VT_NULL;
}

WmiValue::WmiValue(const WmiValue& other) : _variant_t(), m_type(other.m_type) {
    _com_util::CheckError(VariantCopy(this, const_cast<WmiValue*>(&other)));
}

WmiValue& WmiValue::operator=(const WmiValue& other) {
    if (this != &other) {
        _com_util::CheckError(VariantCopy(this, const_cast<WmiValue*>(&other)));
        m_type = other.m_type;
    }
    return *this;
}

WmiValue::~WmiValue() {
    VariantClear(this);
}

long WmiValue::getType() const {
    return m_type;
}

_bstr_t WmiValue::toString() const {
    std::wstring text;
    if (V_VT(this) == VT_NULL) {
        text = L"<null>";
    } else if (const TypeInfo* element = printableElementType(m_type)) {
        appendArray(text, *this, *element);
    } else {
        // Arrays of types without a text form are unsupported as a whole.
        const TypeInfo* type = cim::isArray(m_type) ? nullptr : cim::find(m_type);
        text.reserve(type ? type->scalarRoom : kUnsupportedRoom);
        Element data;
        memset(&data, 0, sizeof data);
        // The data field is read as the type's carrier; text is only followed when the VARIANT
        // really holds text.
        memcpy(&data, &V_BYREF(this), sizeof(V_I8(this)));
        if (type && type->form == TextForm::Text && V_VT(this) != VT_BSTR)
            data.text = nullptr;
        if (type && type->form == TextForm::Object && V_VT(this) != VT_UNKNOWN &&
            V_VT(this) != VT_DISPATCH)
            data.object = nullptr;
        appendScalar(text, type, data);
    }
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(result, false);
}

} // namespace DEZE
