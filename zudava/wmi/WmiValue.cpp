#include "zudava/wmi/WmiValue.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <string>

#include "zudava/wmi/WmiType.h"

namespace DEZE {

namespace {

constexpr long kArrayFlag = 0x2000;

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

// How a type is written, and how much room its text takes in an array.
enum class Form {
    Null,
    Signed16,
    Signed32,
    Unsigned8,
    Unsigned16,
    Unsigned32,
    Real32,
    Real64,
    Char16,
    Boolean,
    Text,
    Unsupported
};

Form formOf(long cimType) {
    switch (cimType) {
    case 0:
        return Form::Null;
    case 2:
    case 16:
        return Form::Signed16;
    case 3:
        return Form::Signed32;
    case 17:
        return Form::Unsigned8;
    case 18:
        return Form::Unsigned16;
    case 19:
        return Form::Unsigned32;
    case 4:
        return Form::Real32;
    case 5:
        return Form::Real64;
    case 103:
        return Form::Char16;
    case 11:
        return Form::Boolean;
    case 8:
    case 20:
    case 21:
    case 101:
    case 102:
        return Form::Text;
    default:
        return Form::Unsupported;
    }
}

// Room per array element, as the value's text form is expected to need.
size_t roomPerElement(long cimType) {
    switch (cimType) {
    case 4:
    case 5:
        return 67;
    case 8:
        return 515;
    case 11:
        return 9;
    case 20:
    case 21:
        return 23;
    case 101:
        return 29;
    case 102:
        return 1027;
    case 103:
        return 8;
    default:
        return 23;
    }
}

size_t roomForScalar(long cimType) {
    switch (cimType) {
    case 8:
        return 512;
    case 11:
        return 6;
    case 20:
    case 21:
        return 20;
    case 101:
        return 26;
    case 102:
        return 1024;
    default:
        return 64;
    }
}

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

// Appends one scalar whose data sits at `data`, read as the given form.
void appendScalar(std::wstring& out, Form form, const Element& data) {
    wchar_t buffer[20];
    switch (form) {
    case Form::Null:
        out.append(L"<null>");
        break;
    case Form::Signed16:
        appendFormatted(out, buffer, _snwprintf_s(buffer, 20, _TRUNCATE, L"%d", int(data.i2)));
        break;
    case Form::Signed32:
        appendFormatted(out, buffer, _snwprintf_s(buffer, 20, _TRUNCATE, L"%d", int(data.i4)));
        break;
    case Form::Unsigned8:
        appendFormatted(out, buffer,
                        _snwprintf_s(buffer, 20, _TRUNCATE, L"%u", unsigned(data.ui1)));
        break;
    case Form::Unsigned16:
        appendFormatted(
            out, buffer,
            _snwprintf_s(buffer, 20, _TRUNCATE, L"%hu", static_cast<unsigned>(data.i4)));
        break;
    case Form::Unsigned32:
        appendFormatted(out, buffer,
                        _snwprintf_s(buffer, 20, _TRUNCATE, L"%u", static_cast<unsigned>(data.i4)));
        break;
    case Form::Real32:
        appendReal(out, L"%.7e", double(data.r4));
        break;
    case Form::Real64:
        appendReal(out, L"%.16e", data.r8);
        break;
    case Form::Char16: {
        wchar_t character[5];
        const int written = _snwprintf_s(character, 5, _TRUNCATE, L"%c",
                                         static_cast<int>(static_cast<unsigned short>(data.i2)));
        // A NUL character ends the text it is in.
        out.append(character, written > 0 ? wcslen(character) : 0);
        break;
    }
    case Form::Boolean:
        out.append(data.b ? L"true" : L"false");
        break;
    case Form::Text:
        if (data.text)
            out.append(data.text, wcslen(data.text));
        break;
    case Form::Unsupported:
        out.append(L"<unsupported type>");
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

void appendArray(std::wstring& out, const VARIANT& value, long elementType) {
    const Form form = formOf(elementType);
    const VARTYPE expected = static_cast<unsigned short>(WmiType(elementType));
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
    out.reserve(out.size() +
                static_cast<size_t>(int64_t(upper) - lower) * roomPerElement(elementType));
    for (LONG index = lower;; ++index) {
        Element element;
        memset(&element, 0, sizeof element);
        SafeArrayGetElement(array, &index, &element);
        if (actual != expected && (expected == VT_BSTR || actual == VT_BSTR)) {
            // Text read as a number, or a number read as text, would follow garbage.
            Element zero;
            memset(&zero, 0, sizeof zero);
            appendScalar(out, form, zero);
        } else {
            appendScalar(out, form, element);
        }
        releaseElement(actual, element);
        if (index == upper)
            break;
        out.append(L", ");
    }
}

bool isArrayElementType(long cimType) {
    switch (cimType) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 8:
    case 11:
    case 16:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 101:
    case 102:
    case 103:
        return true;
    default:
        return false;
    }
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
    } else if ((m_type & kArrayFlag) && isArrayElementType(m_type & ~kArrayFlag)) {
        appendArray(text, *this, m_type & ~kArrayFlag);
    } else {
        const Form form = (m_type & kArrayFlag) ? Form::Unsupported : formOf(m_type);
        text.reserve(roomForScalar(m_type));
        Element data;
        memset(&data, 0, sizeof data);
        // The data field is read as the type's carrier; text is only followed when the VARIANT
        // really holds text.
        memcpy(&data, &V_BYREF(this), sizeof(V_I8(this)));
        if (form == Form::Text && V_VT(this) != VT_BSTR)
            data.text = nullptr;
        appendScalar(text, form, data);
    }
    BSTR result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    return _bstr_t(result, false);
}

} // namespace DEZE
