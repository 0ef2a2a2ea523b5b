// OLE Automation: BSTR strings, VARIANTs and SAFEARRAYs.
//
// A BSTR points at its text; the 32-bit byte length sits in the four bytes before it and a NUL
// unit follows the text. With a 32-bit wchar_t the byte length of a string of n units is 4n.
#pragma once

#include "windef.h"
#include "oaidl.h"

// Sources are declared without const, as mingw-w64 declares them, so that code written here
// also builds there.

// Flags of VariantChangeType.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10

ZP_BEGIN_C
ZP_API BSTR WINAPI SysAllocString(const OLECHAR* text);
ZP_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
ZP_API BSTR WINAPI SysAllocStringByteLen(LPCSTR bytes, UINT length);
ZP_API INT WINAPI SysReAllocString(BSTR* target, const OLECHAR* text);
ZP_API INT WINAPI SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
ZP_API void WINAPI SysFreeString(BSTR text);
ZP_API UINT WINAPI SysStringLen(BSTR text);
ZP_API UINT WINAPI SysStringByteLen(BSTR text);

ZP_API void WINAPI VariantInit(VARIANTARG* variant);
ZP_API HRESULT WINAPI VariantClear(VARIANTARG* variant);
ZP_API HRESULT WINAPI VariantCopy(VARIANTARG* target, VARIANTARG* source);
ZP_API HRESULT WINAPI VariantChangeType(VARIANTARG* target, VARIANTARG* source, USHORT flags,
                                        VARTYPE vt);
ZP_API HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* target, VARIANTARG* source, LCID lcid,
                                          USHORT flags, VARTYPE vt);

ZP_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
ZP_API SAFEARRAY* WINAPI SafeArrayCreateVectorEx(VARTYPE vt, LONG lowerBound, ULONG elements,
                                                 PVOID extra);
ZP_API HRESULT WINAPI SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** target);
ZP_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
ZP_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* element);
ZP_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* element);
ZP_API HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound);
ZP_API HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound);
ZP_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
ZP_API UINT WINAPI SafeArrayGetDim(SAFEARRAY* array);
ZP_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* array);
ZP_API HRESULT WINAPI SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound);
ZP_API HRESULT WINAPI SafeArrayLock(SAFEARRAY* array);
ZP_API HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* array);
ZP_API HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* array, void** data);
ZP_API HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* array);
ZP_END_C
