// Text conversion, comparison and escaping.
//
// Three families, each with its own encoding:
//  - W2A, w2a, A2W, a2w, b2a: wide text to and from the system's ANSI code page;
//  - make_string, make_wstring: UTF-16 to and from UTF-8, by the library's own coder;
//  - length, compare, Escaping: narrow and wide text as it stands.
// All are stateless and may be called from any thread.
#pragma once

#include <string>

#include "zudava/Export.h"

namespace DEZE {

// Units before the first NUL; 0 for a null pointer or an empty string.
ZUDAVA_API unsigned long length(const char* text);
ZUDAVA_API unsigned long length(const std::string& text);
ZUDAVA_API unsigned long length(const wchar_t* text);
ZUDAVA_API unsigned long length(const std::wstring& text);

// Case-insensitive comparison of the NUL-terminated contents (the runtime's _stricmp and
// _wcsicmp): negative, 0 or positive. Null pointers are not allowed.
ZUDAVA_API long compare(const char* a, const char* b);
ZUDAVA_API long compare(const std::string& a, const std::string& b);
ZUDAVA_API long compare(const wchar_t* a, const wchar_t* b);
ZUDAVA_API long compare(const std::wstring& a, const std::wstring& b);

// Wide text to the ANSI code page, up to its first NUL; empty for null or unconvertible text.
ZUDAVA_API std::string W2A(const wchar_t* text);
ZUDAVA_API std::string w2a(const std::wstring& text);
// `length` bytes of ANSI code page text (-1: up to the NUL) to wide text, without a leading byte
// order mark and cut at the first NUL; empty when the platform cannot convert it.
ZUDAVA_API std::wstring A2W(const char* text, int length);
ZUDAVA_API std::wstring a2w(const std::string& text);
// A BSTR or other NUL-terminated wide text to the ANSI code page; empty for null. A conversion
// failure raises `_com_error`.
ZUDAVA_API std::string b2a(wchar_t* const bstr);

// UTF-16 to UTF-8, one unit at a time: a surrogate becomes its own three-byte form.
ZUDAVA_API std::string make_string(const std::wstring& text);
ZUDAVA_API std::string make_string(const wchar_t* text);
ZUDAVA_API std::string make_string(const char* text);
// UTF-8 to UTF-16, leniently: continuation bytes are not checked, four- to six-byte forms keep
// their last three bytes, a byte that starts nothing becomes '?', and a decoded NUL ends the text.
ZUDAVA_API std::wstring make_wstring(const std::string& text);
ZUDAVA_API std::wstring make_wstring(const char* text);
ZUDAVA_API std::wstring make_wstring(const wchar_t* text);

// Writes the backslash escape of `c` (\a \b \t \n \v \f \r \" \' \\) or `c` itself, then a NUL,
// into `buffer` (at least 3 bytes) and returns `buffer`.
ZUDAVA_API char* Escaping(char* buffer, char c);
// Every byte of `text` escaped; NUL bytes are dropped.
ZUDAVA_API std::string Escaping(const std::string& text);

} // namespace DEZE
