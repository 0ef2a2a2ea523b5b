// WMI object paths as data: the grammar that reads their text, and the text each of
// IWbemPath::GetText's forms writes. No COM here: the WbemDefPath object (path.cpp) wraps this,
// and the repository may use it directly. Not installed.
//
//   path      = [server] [namespaces [":"]] [relative]           (one form at least)
//   server    = ("\\" | "//") name [sep]                         name: up to "\", "/" or ":"
//   namespaces= [sep] component (sep component)* [sep]           sep: "\" or "/"
//   relative  = class ["=@" | "=" value | "." key ("," key)*]
//   key       = identifier "=" value
//   value     = '"' text '"' | integer | TRUE | FALSE            text: \" and \\ are escapes
//
// A text without ":" is a namespace path when it holds a separator (or has a server), else a
// relative path; with WBEMPATH_TREAT_SINGLE_IDENT_AS_NS a lone identifier is a namespace. No
// blanks anywhere outside quotes. Integers type as CIM_SINT32 (VT_I4) when they fit, else as
// CIM_SINT64 or CIM_UINT64 carried as decimal text (VT_BSTR), as WMI carries 64-bit values;
// TRUE and FALSE (any case) as CIM_BOOLEAN; quoted text as CIM_STRING, references included.
#pragma once

#include <windows.h>

#include <wbemcli.h>

#include "names.h"
#include "ownedvariant.h"

#include <string>
#include <vector>

namespace zp::wbem {

struct ParsedPathKey {
    std::wstring name; // empty for the one unnamed key of Class="v"
    OwnedVariant value;
    ULONG cimType = CIM_STRING;
};

struct ParsedPath {
    bool hasServer = false;
    std::wstring server;
    std::vector<std::wstring> namespaces;
    bool hasClass = false;
    std::wstring className;
    std::vector<ParsedPathKey> keys;
    bool singleton = false;

    void clear();
};

// Reads `text` under the SetText `mode` (already checked) into `out`. False for malformed text
// or a form the mode refuses; `out` is then unspecified, so callers parse into a scratch object.
bool parsePath(const wchar_t* text, ULONG mode, ParsedPath& out);

// Appends the text of one GetText form (exactly one of the WBEMPATH_GET_* bits, or none).
void renderPath(const ParsedPath& path, LONG form, std::wstring& out);

// "A=1,B=\"x\"": the keys as a relative path writes them (quoted = strings in quotes).
void renderKeys(const ParsedPath& path, bool quoted, std::wstring& out);

// One value as a path writes it; `quoted` puts text values in quotes with their escapes.
void renderValue(const ParsedPathKey& key, bool quoted, std::wstring& out);

// The WBEMPATH_INFO_* bits that describe `path`.
ULONGLONG pathInfo(const ParsedPath& path);

// CIM identifiers: a letter or "_" (or any unit from U+0080), then also digits.
bool isIdentifier(const wchar_t* begin, const wchar_t* end);

// Whether `type` may type a key, and `vt` carry its value.
bool isKeyType(ULONG type);
bool isKeyCarrier(VARTYPE vt);

} // namespace zp::wbem
