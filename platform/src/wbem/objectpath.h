// The object paths the services read: `Class`, `Class.Key="v",Other=2`, `Class="v"`, `Class=@`,
// each optionally after `namespace:` or `\\server\namespace:` (slashes work as backslashes).
// A small parser of the repository's own, strict about what it accepts. Not installed.
#pragma once

#include <windows.h>
#include <comutil.h>

#include <string>
#include <vector>

namespace zp::wbem {

struct PathKey {
    std::wstring name; // empty for the unnamed key of `Class="v"`
    _variant_t value;  // VT_BSTR for quoted text and 64-bit numbers, VT_I4, VT_R8, VT_BOOL
};

struct ObjectPath {
    std::wstring server;    // empty when the path names none
    std::wstring nameSpace; // backslash-separated; empty when the path names none
    std::wstring className;
    bool isInstance = false; // keys or `=@` follow the class name
    bool singleton = false;  // `Class=@`
    std::vector<PathKey> keys;
};

// WBEM_E_INVALID_OBJECT_PATH for anything that is not such a path (empty text included).
HRESULT parseObjectPath(const wchar_t* text, ObjectPath& path);

// Whether `server` names this machine: ".", "localhost" or the machine's name, in any case.
bool isLocalServer(const std::wstring& server);

// The machine name as WMI reports it (__SERVER): the host name in upper case.
const std::wstring& machineName();

} // namespace zp::wbem
