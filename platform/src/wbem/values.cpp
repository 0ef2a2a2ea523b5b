// CIM values: the one VARIANT form of each CIM type, conversions into it, equality and the text
// forms MOF and object paths write.
#include "values.h"

#include "classdef.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace zp::wbem {
namespace {

constexpr CIMTYPE kBaseMask = ~CIMTYPE(CIM_FLAG_ARRAY);

// A number read out of a VARIANT of any numeric type.
struct Number {
    enum Kind { Signed, Unsigned, Real } kind;
    int64_t s = 0;
    uint64_t u = 0;
    double d = 0;
};

bool readNumber(const VARIANT& v, Number& n) {
    switch (v.vt) {
    case VT_I1:
        n = {Number::Signed, v.cVal};
        return true;
    case VT_I2:
        n = {Number::Signed, v.iVal};
        return true;
    case VT_I4:
        n = {Number::Signed, v.lVal};
        return true;
    case VT_INT:
        n = {Number::Signed, v.intVal};
        return true;
    case VT_I8:
        n = {Number::Signed, v.llVal};
        return true;
    case VT_UI1:
        n = {Number::Unsigned, 0, v.bVal};
        return true;
    case VT_UI2:
        n = {Number::Unsigned, 0, v.uiVal};
        return true;
    case VT_UI4:
        n = {Number::Unsigned, 0, v.ulVal};
        return true;
    case VT_UINT:
        n = {Number::Unsigned, 0, v.uintVal};
        return true;
    case VT_UI8:
        n = {Number::Unsigned, 0, v.ullVal};
        return true;
    case VT_R4:
        n = {Number::Real, 0, 0, v.fltVal};
        return true;
    case VT_R8:
        n = {Number::Real, 0, 0, v.dblVal};
        return true;
    default:
        return false;
    }
}

// The number as an integer in [low, high], if it is one.
bool integerIn(const Number& n, int64_t low, uint64_t high, int64_t& out) {
    if (n.kind == Number::Real)
        return false;
    if (n.kind == Number::Signed) {
        if (n.s < low || (n.s >= 0 && static_cast<uint64_t>(n.s) > high))
            return false;
        out = n.s;
        return true;
    }
    if (n.u > high)
        return false;
    out = static_cast<int64_t>(n.u);
    return true;
}

// Decimal text of a 64-bit number, optionally signed; surrounding blanks are allowed.
bool parseInteger(const wchar_t* text, bool isSigned, int64_t& s, uint64_t& u) {
    if (!text)
        return false;
    while (*text == L' ' || *text == L'\t')
        ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') {
        negative = *text == L'-';
        ++text;
    }
    if (*text < L'0' || *text > L'9')
        return false;
    uint64_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - L'0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    while (*text == L' ' || *text == L'\t')
        ++text;
    if (*text)
        return false;
    if (isSigned) {
        if (negative ? value > uint64_t{1} << 63 : value > uint64_t(INT64_MAX))
            return false;
        s = negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
        return true;
    }
    if (negative && value != 0)
        return false;
    u = value;
    return true;
}

BSTR allocText(const std::wstring& text) {
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b)
        _com_issue_error(E_OUTOFMEMORY);
    return b;
}

std::wstring decimal(int64_t value) {
    return std::to_wstring(value);
}
std::wstring decimalUnsigned(uint64_t value) {
    return std::to_wstring(value);
}

// A scalar of a CIM type, from a scalar VARIANT (borrowed).
HRESULT coerceScalar(const VARIANT& v, CIMTYPE type, _variant_t& out) {
    Number n{};
    const bool numeric = readNumber(v, n);
    int64_t i = 0;
    switch (type) {
    case CIM_SINT8:
        if (!numeric || !integerIn(n, -128, 127, i))
            return WBEM_E_TYPE_MISMATCH;
        out.Clear();
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(i);
        return S_OK;
    case CIM_UINT8:
        if (v.vt == VT_I1) {
            i = static_cast<uint8_t>(v.cVal);
        } else if (!numeric || !integerIn(n, 0, 255, i)) {
            return WBEM_E_TYPE_MISMATCH;
        }
        out.Clear();
        out.vt = VT_UI1;
        out.bVal = static_cast<BYTE>(i);
        return S_OK;
    case CIM_SINT16:
        if (!numeric || !integerIn(n, INT16_MIN, INT16_MAX, i))
            return WBEM_E_TYPE_MISMATCH;
        out.Clear();
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(i);
        return S_OK;
    case CIM_UINT16:
        if (v.vt == VT_I2) {
            i = static_cast<uint16_t>(v.iVal);
        } else if (!numeric || !integerIn(n, 0, UINT16_MAX, i)) {
            return WBEM_E_TYPE_MISMATCH;
        }
        out.Clear();
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(i);
        return S_OK;
    case CIM_SINT32:
        if (!numeric || !integerIn(n, INT32_MIN, INT32_MAX, i))
            return WBEM_E_TYPE_MISMATCH;
        out.Clear();
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(i);
        return S_OK;
    case CIM_UINT32:
        // Held as VT_I4 with the same bits, so a negative VT_I4 is a value above 2^31.
        if (v.vt == VT_I4 || v.vt == VT_INT) {
            i = static_cast<uint32_t>(v.vt == VT_I4 ? v.lVal : v.intVal);
        } else if (!numeric || !integerIn(n, 0, UINT32_MAX, i)) {
            return WBEM_E_TYPE_MISMATCH;
        }
        out.Clear();
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(static_cast<uint32_t>(i));
        return S_OK;
    case CIM_SINT64: {
        int64_t s = 0;
        uint64_t u = 0;
        if (v.vt == VT_BSTR) {
            if (!parseInteger(v.bstrVal, true, s, u))
                return WBEM_E_TYPE_MISMATCH;
        } else if (!numeric || !integerIn(n, INT64_MIN, INT64_MAX, s)) {
            return WBEM_E_TYPE_MISMATCH;
        }
        BSTR text = allocText(decimal(s));
        out.Clear();
        out.vt = VT_BSTR;
        out.bstrVal = text;
        return S_OK;
    }
    case CIM_UINT64: {
        int64_t s = 0;
        uint64_t u = 0;
        if (v.vt == VT_BSTR) {
            if (!parseInteger(v.bstrVal, false, s, u))
                return WBEM_E_TYPE_MISMATCH;
        } else if (v.vt == VT_I8) {
            u = static_cast<uint64_t>(v.llVal);
        } else if (numeric && n.kind == Number::Unsigned) {
            u = n.u;
        } else if (numeric && n.kind == Number::Signed && n.s >= 0) {
            u = static_cast<uint64_t>(n.s);
        } else {
            return WBEM_E_TYPE_MISMATCH;
        }
        BSTR text = allocText(decimalUnsigned(u));
        out.Clear();
        out.vt = VT_BSTR;
        out.bstrVal = text;
        return S_OK;
    }
    case CIM_REAL32:
    case CIM_REAL64: {
        if (!numeric)
            return WBEM_E_TYPE_MISMATCH;
        const double d = n.kind == Number::Real     ? n.d
                         : n.kind == Number::Signed ? static_cast<double>(n.s)
                                                    : static_cast<double>(n.u);
        out.Clear();
        if (type == CIM_REAL32) {
            out.vt = VT_R4;
            out.fltVal = static_cast<float>(d);
        } else {
            out.vt = VT_R8;
            out.dblVal = d;
        }
        return S_OK;
    }
    case CIM_BOOLEAN:
        if (v.vt != VT_BOOL)
            return WBEM_E_TYPE_MISMATCH;
        out.Clear();
        out.vt = VT_BOOL;
        out.boolVal = v.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case CIM_STRING:
    case CIM_DATETIME:
    case CIM_REFERENCE: {
        if (v.vt != VT_BSTR)
            return WBEM_E_TYPE_MISMATCH;
        BSTR text =
            v.bstrVal ? SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal)) : SysAllocString(L"");
        if (!text)
            return WBEM_E_OUT_OF_MEMORY;
        out.Clear();
        out.vt = VT_BSTR;
        out.bstrVal = text;
        return S_OK;
    }
    case CIM_CHAR16:
        if (v.vt == VT_BSTR && SysStringLen(v.bstrVal) == 1) {
            i = static_cast<uint16_t>(v.bstrVal[0]);
        } else if (!numeric || !integerIn(n, INT16_MIN, UINT16_MAX, i)) {
            return WBEM_E_TYPE_MISMATCH;
        }
        out.Clear();
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(static_cast<uint16_t>(i));
        return S_OK;
    case CIM_OBJECT: {
        if (v.vt != VT_UNKNOWN && v.vt != VT_DISPATCH)
            return WBEM_E_TYPE_MISMATCH;
        if (!v.punkVal) {
            out.Clear();
            out.vt = VT_NULL;
            return S_OK;
        }
        IWbemClassObject* object = nullptr;
        if (FAILED(
                v.punkVal->QueryInterface(IID_IWbemClassObject, reinterpret_cast<void**>(&object))))
            return WBEM_E_TYPE_MISMATCH;
        // The caller keeps its object: what is stored is a copy it cannot change afterwards.
        IWbemClassObject* copy = nullptr;
        const HRESULT hr = object->Clone(&copy);
        object->Release();
        if (FAILED(hr))
            return hr;
        out.Clear();
        out.vt = VT_UNKNOWN;
        out.punkVal = copy;
        return S_OK;
    }
    default:
        return WBEM_E_TYPE_MISMATCH;
    }
}

// Element `index` of a one-dimensional array as a VARIANT that borrows its data.
bool borrowElement(SAFEARRAY* array, VARTYPE vt, ULONG index, VARIANT& element) {
    const BYTE* data = static_cast<const BYTE*>(array->pvData) + size_t(index) * array->cbElements;
    if (vt == VT_VARIANT) {
        element = *reinterpret_cast<const VARIANT*>(data);
        return !(element.vt & (VT_ARRAY | VT_BYREF));
    }
    VariantInit(&element);
    element.vt = vt;
    memcpy(&element.llVal, data, array->cbElements <= 8 ? array->cbElements : 8);
    return true;
}

ULONG elementCount(SAFEARRAY* array) {
    return array && array->cDims == 1 ? array->rgsabound[0].cElements : 0;
}

// Appends `element` (canonical) into slot `index` of an array made by SafeArrayCreateVector.
void storeElement(SAFEARRAY* array, ULONG index, _variant_t& element) {
    BYTE* data = static_cast<BYTE*>(array->pvData) + size_t(index) * array->cbElements;
    VARIANT raw = element.Detach();
    memcpy(data, &raw.llVal, array->cbElements);
}

} // namespace

VARTYPE variantTypeOf(CIMTYPE type) {
    VARTYPE vt = VT_NULL;
    switch (type & kBaseMask) {
    case CIM_SINT8:
    case CIM_SINT16:
    case CIM_CHAR16:
        vt = VT_I2;
        break;
    case CIM_UINT8:
        vt = VT_UI1;
        break;
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
        vt = VT_I4;
        break;
    case CIM_SINT64:
    case CIM_UINT64:
    case CIM_STRING:
    case CIM_DATETIME:
    case CIM_REFERENCE:
        vt = VT_BSTR;
        break;
    case CIM_REAL32:
        vt = VT_R4;
        break;
    case CIM_REAL64:
        vt = VT_R8;
        break;
    case CIM_BOOLEAN:
        vt = VT_BOOL;
        break;
    case CIM_OBJECT:
        vt = VT_UNKNOWN;
        break;
    default:
        return VT_NULL;
    }
    return (type & CIM_FLAG_ARRAY) ? VARTYPE(vt | VT_ARRAY) : vt;
}

bool isValidCimType(CIMTYPE type) {
    if (type & ~CIMTYPE(CIM_FLAG_ARRAY | 0xFFF))
        return false;
    return variantTypeOf(type) != VT_NULL;
}

CIMTYPE cimTypeOfVariant(VARTYPE vt) {
    const CIMTYPE array = (vt & VT_ARRAY) ? CIM_FLAG_ARRAY : 0;
    switch (vt & ~VT_ARRAY) {
    case VT_I1:
        return CIM_SINT8 | array;
    case VT_UI1:
        return CIM_UINT8 | array;
    case VT_I2:
        return CIM_SINT16 | array;
    case VT_UI2:
        return CIM_UINT16 | array;
    case VT_I4:
    case VT_INT:
        return CIM_SINT32 | array;
    case VT_UI4:
    case VT_UINT:
        return CIM_UINT32 | array;
    case VT_I8:
        return CIM_SINT64 | array;
    case VT_UI8:
        return CIM_UINT64 | array;
    case VT_R4:
        return CIM_REAL32 | array;
    case VT_R8:
        return CIM_REAL64 | array;
    case VT_BOOL:
        return CIM_BOOLEAN | array;
    case VT_BSTR:
        return CIM_STRING | array;
    case VT_UNKNOWN:
        return CIM_OBJECT | array;
    default:
        return -1;
    }
}

const wchar_t* cimTypeName(CIMTYPE type) {
    switch (type & kBaseMask) {
    case CIM_SINT8:
        return L"sint8";
    case CIM_UINT8:
        return L"uint8";
    case CIM_SINT16:
        return L"sint16";
    case CIM_UINT16:
        return L"uint16";
    case CIM_SINT32:
        return L"sint32";
    case CIM_UINT32:
        return L"uint32";
    case CIM_SINT64:
        return L"sint64";
    case CIM_UINT64:
        return L"uint64";
    case CIM_REAL32:
        return L"real32";
    case CIM_REAL64:
        return L"real64";
    case CIM_BOOLEAN:
        return L"boolean";
    case CIM_STRING:
        return L"string";
    case CIM_DATETIME:
        return L"datetime";
    case CIM_REFERENCE:
        return L"ref";
    case CIM_CHAR16:
        return L"char16";
    case CIM_OBJECT:
        return L"object";
    default:
        return L"";
    }
}

HRESULT coerceValue(const VARIANT& value, CIMTYPE type, _variant_t& result) {
    try {
        if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
            result.Clear();
            result.vt = VT_NULL;
            return S_OK;
        }
        if (value.vt & VT_BYREF)
            return WBEM_E_TYPE_MISMATCH;
        const bool isArray = (type & CIM_FLAG_ARRAY) != 0;
        if (((value.vt & VT_ARRAY) != 0) != isArray)
            return WBEM_E_TYPE_MISMATCH;
        if (!isArray)
            return coerceScalar(value, type, result);

        SAFEARRAY* source = value.parray;
        if (source && source->cDims != 1)
            return WBEM_E_TYPE_MISMATCH;
        const VARTYPE sourceType = value.vt & ~VT_ARRAY;
        const CIMTYPE base = type & kBaseMask;
        const VARTYPE targetType = variantTypeOf(base);
        const ULONG count = elementCount(source);
        SAFEARRAY* target = SafeArrayCreateVector(targetType, 0, count);
        if (!target)
            return WBEM_E_OUT_OF_MEMORY;
        _variant_t built;
        built.vt = VARTYPE(VT_ARRAY | targetType);
        built.parray = target;
        for (ULONG i = 0; i < count; ++i) {
            VARIANT element;
            if (!borrowElement(source, sourceType, i, element))
                return WBEM_E_TYPE_MISMATCH;
            if (element.vt == VT_NULL || element.vt == VT_EMPTY)
                return WBEM_E_TYPE_MISMATCH;
            _variant_t converted;
            const HRESULT hr = coerceScalar(element, base, converted);
            if (FAILED(hr))
                return hr;
            if (converted.vt == VT_NULL)
                return WBEM_E_TYPE_MISMATCH;
            storeElement(target, i, converted);
        }
        VARIANT raw = built.Detach();
        result.Clear();
        result.Attach(raw);
        return S_OK;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

bool sameValue(const VARIANT& a, const VARIANT& b, bool ignoreCase) {
    if (a.vt != b.vt)
        return false;
    if (a.vt & VT_ARRAY) {
        const ULONG count = elementCount(a.parray);
        if (count != elementCount(b.parray))
            return false;
        const VARTYPE vt = a.vt & ~VT_ARRAY;
        for (ULONG i = 0; i < count; ++i) {
            VARIANT x, y;
            borrowElement(a.parray, vt, i, x);
            borrowElement(b.parray, vt, i, y);
            if (!sameValue(x, y, ignoreCase))
                return false;
        }
        return true;
    }
    switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return true;
    case VT_BSTR: {
        const UINT la = SysStringLen(a.bstrVal), lb = SysStringLen(b.bstrVal);
        if (ignoreCase)
            return sameName(a.bstrVal ? a.bstrVal : L"", la, b.bstrVal ? b.bstrVal : L"", lb);
        return la == lb && (la == 0 || wmemcmp(a.bstrVal, b.bstrVal, la) == 0);
    }
    case VT_UNKNOWN: {
        if (!a.punkVal || !b.punkVal)
            return a.punkVal == b.punkVal;
        IWbemClassObject* x = nullptr;
        IWbemClassObject* y = nullptr;
        bool same = a.punkVal == b.punkVal;
        if (!same && SUCCEEDED(a.punkVal->QueryInterface(IID_IWbemClassObject, (void**)&x)) &&
            SUCCEEDED(b.punkVal->QueryInterface(IID_IWbemClassObject, (void**)&y)))
            same = x->CompareTo(ignoreCase ? WBEM_FLAG_IGNORE_CASE : 0, y) == WBEM_S_SAME;
        if (x)
            x->Release();
        if (y)
            y->Release();
        return same;
    }
    case VT_R4:
        return a.fltVal == b.fltVal || (std::isnan(a.fltVal) && std::isnan(b.fltVal));
    case VT_R8:
        return a.dblVal == b.dblVal || (std::isnan(a.dblVal) && std::isnan(b.dblVal));
    case VT_BOOL:
        return (a.boolVal != 0) == (b.boolVal != 0);
    case VT_I1:
    case VT_UI1:
        return a.bVal == b.bVal;
    case VT_I2:
    case VT_UI2:
        return a.iVal == b.iVal;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return a.lVal == b.lVal;
    case VT_I8:
    case VT_UI8:
        return a.llVal == b.llVal;
    default:
        return false;
    }
}

std::wstring mofString(const wchar_t* text, size_t length) {
    std::wstring out;
    out.reserve(length + 2);
    out += L'"';
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        case L'\b':
            out += L"\\b";
            break;
        case L'\f':
            out += L"\\f";
            break;
        default:
            if (c < 0x20) {
                wchar_t escape[8];
                swprintf(escape, 8, L"\\x%04X", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += L'"';
    return out;
}

namespace {

std::wstring realText(double value, bool single) {
    if (std::isnan(value) || std::isinf(value))
        return L"0";
    wchar_t buffer[64];
    swprintf(buffer, 64, single ? L"%.9g" : L"%.17g", value);
    std::wstring text = buffer;
    // Written so that it reads back as a real, not an integer.
    if (text.find_first_of(L".eE") == std::wstring::npos)
        text += L".0";
    return text;
}

std::wstring objectText(IUnknown* unknown) {
    IWbemClassObject* object = nullptr;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IWbemClassObject, (void**)&object)))
        return L"NULL";
    BSTR text = nullptr;
    std::wstring out = L"NULL";
    if (SUCCEEDED(object->GetObjectText(0, &text)) && text) {
        out.assign(text, SysStringLen(text));
        // An embedded instance is written without its closing semicolon.
        while (!out.empty() && (out.back() == L'\n' || out.back() == L';'))
            out.pop_back();
    }
    SysFreeString(text);
    object->Release();
    return out;
}

std::wstring scalarMof(const VARIANT& v, CIMTYPE type) {
    switch (v.vt) {
    case VT_NULL:
    case VT_EMPTY:
        return L"NULL";
    case VT_BOOL:
        return v.boolVal ? L"TRUE" : L"FALSE";
    case VT_BSTR:
        if (type == CIM_SINT64 || type == CIM_UINT64)
            return std::wstring(v.bstrVal ? v.bstrVal : L"0");
        return mofString(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal));
    case VT_UI1:
        return decimal(v.bVal);
    case VT_I2:
        if (type == CIM_CHAR16) {
            const wchar_t c = static_cast<wchar_t>(static_cast<uint16_t>(v.iVal));
            if (c == L'\'' || c == L'\\')
                return std::wstring(L"'\\") + c + L"'";
            if (c < 0x20 || c == 0x7F)
                return decimal(static_cast<uint16_t>(v.iVal));
            return std::wstring(L"'") + c + L"'";
        }
        return decimal(v.iVal);
    case VT_I4:
        if (type == CIM_UINT32)
            return decimalUnsigned(static_cast<uint32_t>(v.lVal));
        return decimal(v.lVal);
    case VT_R4:
        return realText(v.fltVal, true);
    case VT_R8:
        return realText(v.dblVal, false);
    case VT_UNKNOWN:
        return objectText(v.punkVal);
    default: {
        Number n{};
        if (readNumber(v, n))
            return n.kind == Number::Signed ? decimal(n.s) : decimalUnsigned(n.u);
        return L"NULL";
    }
    }
}

} // namespace

std::wstring mofValue(const VARIANT& value, CIMTYPE type) {
    const CIMTYPE base = type & kBaseMask;
    if (!(value.vt & VT_ARRAY))
        return scalarMof(value, base);
    std::wstring out = L"{";
    const VARTYPE vt = value.vt & ~VT_ARRAY;
    const ULONG count = elementCount(value.parray);
    for (ULONG i = 0; i < count; ++i) {
        VARIANT element;
        borrowElement(value.parray, vt, i, element);
        if (i)
            out += L", ";
        out += scalarMof(element, base);
    }
    out += L'}';
    return out;
}

std::wstring keyValueText(const VARIANT& value, CIMTYPE type, bool fold) {
    switch (value.vt) {
    case VT_BSTR: {
        if (type == CIM_SINT64 || type == CIM_UINT64)
            return std::wstring(value.bstrVal ? value.bstrVal : L"0");
        std::wstring text = L"\"";
        const UINT length = SysStringLen(value.bstrVal);
        for (UINT i = 0; i < length; ++i) {
            wchar_t c = value.bstrVal[i];
            if (c == L'"' || c == L'\\')
                text += L'\\';
            if (fold && c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - (L'a' - L'A'));
            else if (fold && c > 0x7F)
                c = foldName(std::wstring(1, c))[0];
            text += c;
        }
        text += L'"';
        return text;
    }
    case VT_I2:
        if (type == CIM_CHAR16)
            return decimal(static_cast<uint16_t>(value.iVal));
        return decimal(value.iVal);
    default:
        return scalarMof(value, type);
    }
}

bool isQualifierVariant(const VARIANT& value) {
    switch (value.vt & ~VT_ARRAY) {
    case VT_I4:
    case VT_R8:
    case VT_BSTR:
    case VT_BOOL:
        break;
    default:
        return false;
    }
    if (value.vt & VT_ARRAY)
        return value.parray && value.parray->cDims == 1;
    return true;
}

} // namespace zp::wbem
