// CIM-XML (the DMTF's DSP0201 representation) of class objects: the writer and the reader behind
// the WbemObjectTextSrc object. Not installed.
//
// Every text the writer makes is valid against the DMTF DTD 2.3.1. Where that DTD cannot say a
// WMI type (arrays of references, embedded objects), the property carries TYPE="string" and the
// CIMTYPE qualifier ("ref:Class", "object:Class") is written even when qualifiers are not asked
// for, so that the reader restores the type.
#pragma once

#include <wbemcli.h>

#include <string>

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

// Shared by both sides: UTF-16 (one unit per wchar_t) to UTF-8 and back; lone surrogates and
// malformed bytes become U+FFFD.
std::string toUtf8(const wchar_t* text, size_t length);
std::wstring fromUtf8(const char* text, size_t length);

} // namespace zp::wbem
