// OLE Automation: BSTR strings.
//
// A BSTR points at its text; the 32-bit byte length sits in the four bytes before it and a NUL
// unit follows the text. With a 32-bit wchar_t the byte length of a string of n units is 4n.
#pragma once

#include "windef.h"
#include "oaidl.h"

ZP_BEGIN_C
ZP_API BSTR WINAPI SysAllocString(const OLECHAR* text);
ZP_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
ZP_API BSTR WINAPI SysAllocStringByteLen(LPCSTR bytes, UINT length);
ZP_API INT WINAPI SysReAllocString(BSTR* target, const OLECHAR* text);
ZP_API INT WINAPI SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
ZP_API void WINAPI SysFreeString(BSTR text);
ZP_API UINT WINAPI SysStringLen(BSTR text);
ZP_API UINT WINAPI SysStringByteLen(BSTR text);
ZP_END_C
