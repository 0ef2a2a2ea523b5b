// VARIANT life cycle and conversions.
//
// Conversions go through a temporary: the destination is only replaced (cleared, then given the
// result) when the conversion succeeded, so a failed one leaves it as it was. Integers convert by
// value with range checks (DISP_E_OVERFLOW), reals round half to even, booleans are -1 and 0,
// and text is read and written the way the "C"/English locale writes numbers.
#include <windows.h>

#include <ctype.h>
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

bool isExtraType(VARTYPE vt) {
    return (vt & (VT_VECTOR | VT_RESERVED)) != 0;
}

HRESULT validateType(VARTYPE vt) {
    const VARTYPE extra = vt & ~VARTYPE(VT_TYPEMASK);
    const VARTYPE base = vt & VT_TYPEMASK;
    if (isExtraType(extra))
        return DISP_E_BADVARTYPE;
    if (base < VT_VOID || base == VT_RECORD) {
        if ((extra & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL)
            return DISP_E_BADVARTYPE;
        if (base != 15)
            return S_OK;
    }
    return DISP_E_BADVARTYPE;
}

// The kinds of value a conversion reads and writes.
enum class Kind { Empty, Signed, Unsigned, Real, Bool, Text, Other };

Kind kindOf(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
        return Kind::Empty;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
        return Kind::Signed;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
        return Kind::Unsigned;
    case VT_R4:
    case VT_R8:
        return Kind::Real;
    case VT_BOOL:
        return Kind::Bool;
    case VT_BSTR:
        return Kind::Text;
    default:
        return Kind::Other;
    }
}

int64_t readSigned(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_I1:
        return V_I1(&v);
    case VT_I2:
        return V_I2(&v);
    case VT_I4:
        return V_I4(&v);
    case VT_INT:
        return V_INT(&v);
    default:
        return V_I8(&v);
    }
}

uint64_t readUnsigned(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_UI1:
        return V_UI1(&v);
    case VT_UI2:
        return V_UI2(&v);
    case VT_UI4:
        return V_UI4(&v);
    case VT_UINT:
        return V_UINT(&v);
    default:
        return V_UI8(&v);
    }
}

unsigned widthOf(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return 4;
    default:
        return 8;
    }
}

uint64_t maskOf(VARTYPE vt) {
    const unsigned width = widthOf(vt);
    return width == 8 ? UINT64_MAX : (uint64_t(1) << (8 * width)) - 1;
}

// Stores an integer given as sign and magnitude into an integer type, or reports overflow.
HRESULT storeInteger(VARIANT& out, VARTYPE vt, bool negative, uint64_t magnitude) {
    int64_t low = 0;
    uint64_t high = 0; // the largest magnitude for non-negative values
    switch (vt) {
    case VT_I1:
        low = INT8_MIN, high = INT8_MAX;
        break;
    case VT_I2:
        low = INT16_MIN, high = INT16_MAX;
        break;
    case VT_I4:
    case VT_INT:
        low = INT32_MIN, high = INT32_MAX;
        break;
    case VT_I8:
        low = INT64_MIN, high = INT64_MAX;
        break;
    case VT_UI1:
        high = UINT8_MAX;
        break;
    case VT_UI2:
        high = UINT16_MAX;
        break;
    case VT_UI4:
    case VT_UINT:
        high = UINT32_MAX;
        break;
    case VT_UI8:
        high = UINT64_MAX;
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (negative && magnitude != 0) {
        const uint64_t lowest =
            low < 0 ? uint64_t(-(low + 1)) + 1 : 0; // the largest negative magnitude
        if (magnitude > lowest)
            return DISP_E_OVERFLOW;
    } else if (magnitude > high) {
        return DISP_E_OVERFLOW;
    }
    const uint64_t bits = negative ? uint64_t(0) - magnitude : magnitude;
    switch (vt) {
    case VT_I1:
        V_I1(&out) = CHAR(int8_t(bits));
        break;
    case VT_UI1:
        V_UI1(&out) = BYTE(bits);
        break;
    case VT_I2:
    case VT_UI2:
        V_UI2(&out) = USHORT(bits);
        break;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
        V_UI4(&out) = ULONG(bits);
        break;
    default:
        V_UI8(&out) = bits;
        break;
    }
    return S_OK;
}

// Rounds half to even and stores into an integer type.
HRESULT storeReal(VARIANT& out, VARTYPE vt, double value) {
    if (std::isnan(value))
        return DISP_E_OVERFLOW;
    double rounded = nearbyint(value); // the default rounding mode is to nearest, ties to even
    const bool negative = rounded < 0;
    const double magnitude = negative ? -rounded : rounded;
    if (magnitude >= 18446744073709551616.0)
        return DISP_E_OVERFLOW;
    return storeInteger(out, vt, negative, uint64_t(magnitude));
}

// A parsed number: decimal digits (no leading zeros), value = digits * 10^exponent.
struct Number {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f' ||
           c == 0xA0;
}

// Reads a number as Automation does with its standard flags: blanks around it, a leading or
// trailing sign or parentheses for a negative value, thousands separators in the integer part,
// a decimal point, an exponent, and "&H" (hexadecimal) and "&O" (octal) integers.
HRESULT parseNumber(const wchar_t* text, size_t length, Number& number) {
    size_t i = 0;
    auto at = [&](size_t k) -> wchar_t { return k < length ? text[k] : L'\0'; };
    while (i < length && isBlank(text[i]))
        ++i;
    size_t end = length;
    while (end > i && isBlank(text[end - 1]))
        --end;
    if (i == end)
        return DISP_E_TYPEMISMATCH;
    length = end;

    bool parens = false;
    bool signSeen = false;
    if (at(i) == L'(') {
        parens = true;
        ++i;
    } else if (at(i) == L'+' || at(i) == L'-') {
        number.negative = at(i) == L'-';
        signSeen = true;
        ++i;
    }

    if (at(i) == L'&' &&
        (at(i + 1) == L'h' || at(i + 1) == L'H' || at(i + 1) == L'o' || at(i + 1) == L'O')) {
        const unsigned base = (at(i + 1) == L'h' || at(i + 1) == L'H') ? 16 : 8;
        i += 2;
        uint64_t value = 0;
        size_t start = i;
        for (; i < length; ++i) {
            const wchar_t c = text[i];
            unsigned d;
            if (c >= L'0' && c <= L'9')
                d = unsigned(c - L'0');
            else if (base == 16 && c >= L'a' && c <= L'f')
                d = unsigned(c - L'a' + 10);
            else if (base == 16 && c >= L'A' && c <= L'F')
                d = unsigned(c - L'A' + 10);
            else
                break;
            if (d >= base)
                break;
            if (value > (UINT64_MAX - d) / base)
                return DISP_E_OVERFLOW;
            value = value * base + d;
        }
        if (i == start || i != length || parens)
            return DISP_E_TYPEMISMATCH;
        number.digits = std::to_string(value);
        number.digits.erase(0, number.digits.find_first_not_of('0'));
        return S_OK;
    }

    bool anyDigit = false;
    long pointShift = 0;
    bool inFraction = false;
    for (; i < length; ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9') {
            anyDigit = true;
            if (inFraction)
                --pointShift;
            if (!(number.digits.empty() && c == L'0'))
                number.digits.push_back(char(c));
            else if (inFraction)
                continue;
        } else if (c == L',' && !inFraction && anyDigit) {
            continue;
        } else if (c == L'.' && !inFraction) {
            inFraction = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return DISP_E_TYPEMISMATCH;
    // Leading zeros of the fraction were counted in the shift but not kept as digits.
    number.exponent = pointShift;
    if (number.digits.empty())
        number.exponent = 0;

    if (at(i) == L'e' || at(i) == L'E') {
        size_t k = i + 1;
        bool expNegative = false;
        if (at(k) == L'+' || at(k) == L'-') {
            expNegative = at(k) == L'-';
            ++k;
        }
        if (at(k) >= L'0' && at(k) <= L'9') {
            long exponent = 0;
            for (; at(k) >= L'0' && at(k) <= L'9'; ++k) {
                if (exponent < 100000)
                    exponent = exponent * 10 + (at(k) - L'0');
            }
            number.exponent += expNegative ? -exponent : exponent;
            i = k;
        }
    }

    if (parens) {
        if (at(i) != L')')
            return DISP_E_TYPEMISMATCH;
        ++i;
        number.negative = true;
    } else if (!signSeen && (at(i) == L'+' || at(i) == L'-')) {
        number.negative = at(i) == L'-';
        ++i;
    }
    if (i != length)
        return DISP_E_TYPEMISMATCH;
    // Trailing zeros of the digits move into the exponent.
    while (!number.digits.empty() && number.digits.back() == '0') {
        number.digits.pop_back();
        ++number.exponent;
    }
    return S_OK;
}

HRESULT numberToInteger(const Number& number, VARIANT& out, VARTYPE vt) {
    if (number.digits.empty())
        return storeInteger(out, vt, false, 0);
    const long integerDigits = long(number.digits.size()) + number.exponent;
    if (integerDigits > 20)
        return DISP_E_OVERFLOW;
    uint64_t value = 0;
    for (long k = 0; k < integerDigits; ++k) {
        const unsigned d =
            k < long(number.digits.size()) ? unsigned(number.digits[size_t(k)] - '0') : 0;
        if (value > (UINT64_MAX - d) / 10)
            return DISP_E_OVERFLOW;
        value = value * 10 + d;
    }
    // Round the dropped fraction half to even.
    if (integerDigits >= 0 && size_t(integerDigits) < number.digits.size()) {
        const char first = number.digits[size_t(integerDigits)];
        const bool restNonZero =
            number.digits.size() > size_t(integerDigits) + 1; // no trailing zeros
        if (first > '5' || (first == '5' && (restNonZero || (value & 1)))) {
            if (value == UINT64_MAX)
                return DISP_E_OVERFLOW;
            ++value;
        }
    }
    return storeInteger(out, vt, number.negative, value);
}

double numberToDouble(const Number& number) {
    if (number.digits.empty())
        return 0.0;
    std::string text = number.negative ? "-" : "";
    text += number.digits;
    text += 'e';
    text += std::to_string(number.exponent);
    return strtod(text.c_str(), nullptr);
}

bool equalsNoCase(const wchar_t* text, size_t length, const wchar_t* word) {
    const size_t wordLength = wcslen(word);
    if (length != wordLength)
        return false;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z')
            c = wchar_t(c - L'A' + L'a');
        if (c != word[i])
            return false;
    }
    return true;
}

HRESULT textToVariant(BSTR text, VARIANT& out, VARTYPE vt) {
    const size_t length = SysStringLen(text);
    const wchar_t* chars = text ? text : L"";
    if (vt == VT_BOOL) {
        // The words match exactly, without blanks around them.
        if (equalsNoCase(chars, length, L"true")) {
            V_BOOL(&out) = VARIANT_TRUE;
            return S_OK;
        }
        if (equalsNoCase(chars, length, L"false")) {
            V_BOOL(&out) = VARIANT_FALSE;
            return S_OK;
        }
    }
    Number number;
    HRESULT hr = parseNumber(chars, length, number);
    if (FAILED(hr))
        return hr;
    switch (kindOf(vt)) {
    case Kind::Bool:
        if (std::isinf(numberToDouble(number)))
            return DISP_E_OVERFLOW;
        V_BOOL(&out) = number.digits.empty() ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    case Kind::Real: {
        const double value = numberToDouble(number);
        if (std::isinf(value) || (vt == VT_R4 && fabs(value) > FLT_MAX))
            return DISP_E_OVERFLOW;
        if (vt == VT_R4)
            V_R4(&out) = float(value);
        else
            V_R8(&out) = value;
        return S_OK;
    }
    default:
        return numberToInteger(number, out, vt);
    }
}

// Writes a real the way Automation shows it: up to `digits` significant digits, no trailing
// zeros, an exponent only for very large or small values, and no negative zero.
BSTR realToText(double value, int digits) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%.*G", digits, value);
    if (buffer[0] == '-') {
        bool zero = true;
        for (const char* p = buffer + 1; *p && *p != 'E'; ++p)
            zero = zero && (*p == '0' || *p == '.');
        if (zero)
            memmove(buffer, buffer + 1, strlen(buffer));
    }
    wchar_t wide[64];
    size_t n = 0;
    for (; buffer[n]; ++n)
        wide[n] = wchar_t(buffer[n]);
    return SysAllocStringLen(wide, UINT(n));
}

BSTR integerToText(bool negative, uint64_t magnitude) {
    wchar_t buffer[24];
    wchar_t* p = buffer + 24;
    do {
        *--p = wchar_t(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative)
        *--p = L'-';
    return SysAllocStringLen(p, UINT(buffer + 24 - p));
}

// Converts a scalar of one of the supported kinds; `out` receives the data field only.
HRESULT coerce(VARIANT& out, const VARIANT& in, USHORT flags, VARTYPE vt) {
    const VARTYPE from = V_VT(&in);
    // Anything becomes null; null becomes nothing else, not even empty.
    if (vt == VT_NULL)
        return S_OK;
    if (from == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY)
        return S_OK;
    const Kind source = kindOf(from);
    const Kind target = kindOf(vt);
    if (source == Kind::Other || target == Kind::Other)
        return DISP_E_TYPEMISMATCH;
    if (source == Kind::Text && target == Kind::Text) {
        BSTR copy = SysAllocStringByteLen(reinterpret_cast<const char*>(V_BSTR(&in)),
                                          SysStringByteLen(V_BSTR(&in)));
        if (!copy && V_BSTR(&in))
            return E_OUTOFMEMORY;
        V_BSTR(&out) = copy ? copy : SysAllocStringLen(nullptr, 0);
        return V_BSTR(&out) ? S_OK : E_OUTOFMEMORY;
    }
    if (source == Kind::Text)
        return textToVariant(V_BSTR(&in), out, vt);

    // A number (or empty, or a boolean) to text, a boolean or another number.
    bool negative = false;
    uint64_t magnitude = 0;
    double real = 0.0;
    bool isReal = false;
    switch (source) {
    case Kind::Signed: {
        const int64_t v = readSigned(in);
        negative = v < 0;
        magnitude = negative ? uint64_t(0) - uint64_t(v) : uint64_t(v);
        break;
    }
    case Kind::Unsigned:
        magnitude = readUnsigned(in);
        break;
    case Kind::Bool:
        negative = V_BOOL(&in) != 0 && V_BOOL(&in) < 0;
        magnitude = V_BOOL(&in) < 0 ? uint64_t(-int64_t(V_BOOL(&in))) : uint64_t(V_BOOL(&in));
        break;
    case Kind::Real:
        isReal = true;
        real = from == VT_R4 ? double(V_R4(&in)) : V_R8(&in);
        break;
    default:
        break;
    }

    switch (target) {
    case Kind::Text: {
        BSTR text;
        if (source == Kind::Empty)
            text = SysAllocStringLen(nullptr, 0);
        else if (source == Kind::Bool && (flags & VARIANT_ALPHABOOL))
            text = SysAllocString(V_BOOL(&in) ? L"True" : L"False");
        else if (isReal)
            text = realToText(real, from == VT_R4 ? 7 : 15);
        else
            text = integerToText(negative, magnitude);
        if (!text)
            return E_OUTOFMEMORY;
        V_BSTR(&out) = text;
        return S_OK;
    }
    case Kind::Bool:
        V_BOOL(&out) = (isReal ? real != 0.0 : magnitude != 0) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case Kind::Real: {
        double value = isReal ? real : (negative ? -double(magnitude) : double(magnitude));
        if (!isReal && negative && magnitude == uint64_t(1) << 63)
            value = -9223372036854775808.0;
        if (vt == VT_R4) {
            if (fabs(value) > FLT_MAX && !std::isinf(value))
                return DISP_E_OVERFLOW;
            V_R4(&out) = float(value);
        } else {
            V_R8(&out) = value;
        }
        return S_OK;
    }
    default:
        if (isReal)
            return storeReal(out, vt, real);
        if ((source == Kind::Bool && target == Kind::Unsigned) ||
            (source != target && source != Kind::Bool && widthOf(from) == widthOf(vt))) {
            // Between signed and unsigned types of one width the bits are kept, and so are a
            // boolean's in an unsigned type (true is all ones), as Automation has always done.
            const uint64_t bits = source == Kind::Unsigned ? magnitude
                                  : negative               ? uint64_t(0) - magnitude
                                                           : magnitude;
            const uint64_t masked = bits & maskOf(vt);
            if (target == Kind::Signed) {
                const uint64_t sign = uint64_t(1) << (8 * widthOf(vt) - 1);
                if (masked & sign)
                    return storeInteger(out, vt, true, (maskOf(vt) - masked) + 1);
            }
            return storeInteger(out, vt, false, masked);
        }
        return storeInteger(out, vt, negative, magnitude);
    }
}

} // namespace

ZP_EXTERN_C void WINAPI VariantInit(VARIANTARG* variant) {
    if (variant)
        V_VT(variant) = VT_EMPTY;
}

ZP_EXTERN_C HRESULT WINAPI VariantClear(VARIANTARG* variant) {
    if (!variant)
        return E_INVALIDARG;
    const HRESULT hr = validateType(V_VT(variant));
    if (FAILED(hr))
        return hr;
    const VARTYPE vt = V_VT(variant);
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            const HRESULT destroyed = SafeArrayDestroy(V_ARRAY(variant));
            if (FAILED(destroyed))
                return destroyed;
        } else if (vt == VT_BSTR) {
            SysFreeString(V_BSTR(variant));
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (V_UNKNOWN(variant))
                V_UNKNOWN(variant)->Release();
        }
    }
    V_VT(variant) = VT_EMPTY;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI VariantCopy(VARIANTARG* target, VARIANTARG* source) {
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    HRESULT hr = validateType(V_VT(source));
    if (FAILED(hr))
        return hr;
    hr = VariantClear(target);
    if (FAILED(hr))
        return hr;
    VARIANT copy = *source;
    const VARTYPE vt = V_VT(source);
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            if (V_ARRAY(source)) {
                hr = SafeArrayCopy(V_ARRAY(source), &V_ARRAY(&copy));
                if (FAILED(hr))
                    return hr;
            }
        } else if (vt == VT_BSTR) {
            // A null string is copied as an empty one.
            V_BSTR(&copy) = SysAllocStringByteLen(reinterpret_cast<const char*>(V_BSTR(source)),
                                                  SysStringByteLen(V_BSTR(source)));
            if (!V_BSTR(&copy))
                return E_OUTOFMEMORY;
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (V_UNKNOWN(source))
                V_UNKNOWN(source)->AddRef();
        }
    }
    *target = copy;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* target, VARIANTARG* source, LCID,
                                               USHORT flags, VARTYPE vt) {
    if (!target || !source)
        return E_INVALIDARG;
    HRESULT hr = validateType(V_VT(source));
    if (SUCCEEDED(hr))
        hr = validateType(vt);
    if (FAILED(hr))
        return hr;
    if (V_VT(source) == vt)
        return VariantCopy(target, source);
    if (V_VT(source) & VT_BYREF)
        return DISP_E_TYPEMISMATCH;
    if ((V_VT(source) & VT_ARRAY) || (vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    VARIANT result;
    VariantInit(&result);
    hr = coerce(result, *source, flags, vt);
    if (FAILED(hr))
        return hr;
    V_VT(&result) = vt;
    hr = VariantClear(target);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *target = result;
    return S_OK;
}

ZP_EXTERN_C HRESULT WINAPI VariantChangeType(VARIANTARG* target, VARIANTARG* source, USHORT flags,
                                             VARTYPE vt) {
    return VariantChangeTypeEx(target, source, LOCALE_USER_DEFAULT, flags, vt);
}
