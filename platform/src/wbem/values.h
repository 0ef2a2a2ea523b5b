// CIM values as class objects hold them: each CIM type has one VARIANT form (the one Get
// returns), and every value written is converted to it first. Not installed.
#pragma once

#include <wbemcli.h>
#include <comdef.h>

#include <string>

namespace zp::wbem {

// The VARIANT type a value of `type` is held and returned as (VT_ARRAY added for arrays).
VARTYPE variantTypeOf(CIMTYPE type);
// Whether `type` is a CIM type a property can have (an array of one included).
bool isValidCimType(CIMTYPE type);
// The CIM type of a new property given only its value: VT_I4 is sint32, VT_BSTR string, and so
// on; -1 for a VARIANT no property can hold.
CIMTYPE cimTypeOfVariant(VARTYPE vt);
// "sint32", "string", "datetime", "ref", "object", ... (without array brackets).
const wchar_t* cimTypeName(CIMTYPE type);

// Converts `value` to the form of `type`. VT_EMPTY and VT_NULL give VT_NULL. Numbers convert by
// value when they fit (an unsigned property also takes the signed VARIANT of its width, as its
// own values come back); embedded objects are copied. WBEM_E_TYPE_MISMATCH otherwise.
HRESULT coerceValue(const VARIANT& value, CIMTYPE type, _variant_t& result);

// Whether two values held in canonical form are equal; strings without regard to case when
// `ignoreCase`.
bool sameValue(const VARIANT& a, const VARIANT& b, bool ignoreCase = false);

// A value as MOF writes it (`"text"`, `42`, `TRUE`, `{1, 2}`), `type` deciding how numbers held
// in wider or narrower VARIANTs read (uint32 from VT_I4).
std::wstring mofValue(const VARIANT& value, CIMTYPE type);
// A MOF string literal of `text`.
std::wstring mofString(const wchar_t* text, size_t length);

// A key value as an object path writes it: numbers bare, strings and references quoted with `\`
// before `"` and `\`, booleans TRUE/FALSE. With `fold`, strings are in upper case, so that keys
// that differ only in case give one text, as WMI matches them.
std::wstring keyValueText(const VARIANT& value, CIMTYPE type, bool fold);

// Qualifier values: VT_I4, VT_R8, VT_BSTR, VT_BOOL, or an array of one of them.
bool isQualifierVariant(const VARIANT& value);

} // namespace zp::wbem
