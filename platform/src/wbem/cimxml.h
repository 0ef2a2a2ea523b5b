// CIM-XML (the DMTF's DSP0201 representation) of class objects: the writer and the reader behind
// the WbemObjectTextSrc object. Not installed.
//
// Every text the writer makes is valid against the DMTF DTD 2.3.1. Where that DTD cannot say a
// WMI type (arrays of references, embedded objects), the property carries TYPE="string" and the
// CIMTYPE qualifier ("ref:Class", "object:Class") is written even when qualifiers are not asked
// for, so that the reader restores the type.
#pragma once

#include <wbemcli.h>
#include <comdef.h>

#include <string>
#include <vector>

namespace zp::wbem {

struct CimXmlOptions {
    bool wmiFormat = false;     // WMI_OBJ_TEXT_WMI_DTD_2_0: system properties too
    bool localOnly = false;     // only the members the class itself defines
    bool qualifiers = false;    // QUALIFIER elements
    bool classOrigin = false;   // CLASSORIGIN and PROPAGATED attributes
    bool excludeSystem = false; // no system properties even in the WMI format
    long pathLevel = 0;         // 0 CLASS/INSTANCE ... 3 VALUE.OBJECTWITHPATH
};

// The text of `object`. WBEM_E_INVALID_PARAMETER for a path level the object cannot give (its
// path is unknown because it is not stored, or an instance has no keys yet).
HRESULT writeCimXml(IWbemClassObject* object, const CimXmlOptions& options, std::wstring& text);

// A new object from CLASS, INSTANCE, VALUE.NAMEDOBJECT, VALUE.OBJECTWITHLOCALPATH or
// VALUE.OBJECTWITHPATH text. WBEM_E_INVALID_SYNTAX for anything else or malformed text.
HRESULT readCimXml(const wchar_t* text, size_t length, IWbemClassObject** object);

// An object path taken apart, as the path elements of CIM-XML need it. Read through the
// platform's IWbemPath object (the one path grammar of the system).
struct CimXmlPath {
    struct Key {
        std::wstring name; // empty for the one unnamed key of Class="v"
        _variant_t value;  // VT_BSTR (text and 64-bit numbers), VT_I4, VT_BOOL
        ULONG cimType = CIM_STRING;
    };
    bool hasServer = false;
    std::wstring server;
    std::vector<std::wstring> namespaces;
    std::wstring className;
    bool singleton = false;
    std::vector<Key> keys;
};

// WBEM_E_INVALID_OBJECT_PATH for text that is not an object path with a class.
HRESULT parseCimXmlPath(const std::wstring& text, CimXmlPath& path);
// The path's text: `\\server\ns:Class.Key="v"`, strings quoted with `\` before `"` and `\`.
std::wstring cimXmlPathText(const CimXmlPath& path);
// A key's value as KEYVALUE holds it (strings unquoted).
std::wstring cimXmlKeyText(const CimXmlPath::Key& key);

// Shared by both sides: UTF-16 (one unit per wchar_t) to UTF-8 and back; lone surrogates and
// malformed bytes become U+FFFD.
std::string toUtf8(const wchar_t* text, size_t length);
std::wstring fromUtf8(const char* text, size_t length);

} // namespace zp::wbem
