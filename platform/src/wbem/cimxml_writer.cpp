// The CIM-XML writer. It reads the object only through IWbemClassObject, so it writes any
// implementation's objects, and embedded objects by the same path.
//
// Text rules: `<`, `&`, `>` and `"` are written as entities; CR (and TAB and LF inside
// attributes) as character references, so that XML's end-of-line and attribute normalisation
// cannot change them; every character XML 1.0 cannot carry (C0 controls other than TAB, LF and
// CR, lone surrogates, U+FFFE and U+FFFF) becomes U+FFFD.
#include "cimxml.h"

#include "comref.h"
#include "names.h"
#include "values.h"

#include <comdef.h>
#include <wmiutils.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace zp::wbem {
namespace {

constexpr int kMaxDepth = 32; // embedded objects inside embedded objects

void escape(const wchar_t* text, size_t length, bool attribute, std::wstring& out) {
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        switch (c) {
        case L'<':
            out += L"&lt;";
            continue;
        case L'>':
            out += L"&gt;";
            continue;
        case L'&':
            out += L"&amp;";
            continue;
        case L'"':
            out += L"&quot;";
            continue;
        case L'\r':
            out += L"&#13;";
            continue;
        case L'\t':
            out += attribute ? L"&#9;" : L"\t";
            continue;
        case L'\n':
            out += attribute ? L"&#10;" : L"\n";
            continue;
        default:
            break;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out += c;
            out += text[++i];
        } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF ||
                   static_cast<uint32_t>(c) > 0xFFFF) {
            out += L'\xFFFD';
        } else {
            out += c;
        }
    }
}

void escape(const std::wstring& text, bool attribute, std::wstring& out) {
    escape(text.data(), text.size(), attribute, out);
}

void attribute(const wchar_t* name, const std::wstring& value, std::wstring& out) {
    out += L' ';
    out += name;
    out += L"=\"";
    escape(value, true, out);
    out += L'"';
}

std::wstring bstrText(BSTR text) {
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// A value read as a 64-bit integer from whichever integer VARIANT carries it.
bool integerOf(const VARIANT& v, int64_t& out) {
    switch (v.vt) {
    case VT_UI1:
        out = v.bVal;
        return true;
    case VT_I1:
        out = v.cVal;
        return true;
    case VT_I2:
        out = v.iVal;
        return true;
    case VT_UI2:
        out = v.uiVal;
        return true;
    case VT_I4:
        out = v.lVal;
        return true;
    case VT_UI4:
        out = v.ulVal;
        return true;
    case VT_I8:
        out = v.llVal;
        return true;
    case VT_UI8:
        out = static_cast<int64_t>(v.ullVal);
        return true;
    case VT_BOOL:
        out = v.boolVal ? 1 : 0;
        return true;
    default:
        return false;
    }
}

template <typename T>
std::wstring shortest(T value) {
    if (std::isnan(value))
        return L"NaN";
    if (std::isinf(value))
        return value < 0 ? L"-INF" : L"INF";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::wstring(buffer, result.ptr);
}

// One scalar value as VALUE text, `type` being its CIM type without the array bit.
std::wstring scalarText(const VARIANT& v, CIMTYPE type) {
    int64_t n = 0;
    switch (type) {
    case CIM_BOOLEAN:
        return (v.vt == VT_BOOL ? v.boolVal != VARIANT_FALSE : (integerOf(v, n) && n)) ? L"TRUE"
                                                                                       : L"FALSE";
    case CIM_REAL32:
        if (v.vt == VT_R4)
            return shortest(v.fltVal);
        return v.vt == VT_R8 ? shortest(v.dblVal) : std::wstring();
    case CIM_REAL64:
        if (v.vt == VT_R8)
            return shortest(v.dblVal);
        return v.vt == VT_R4 ? shortest(static_cast<double>(v.fltVal)) : std::wstring();
    case CIM_CHAR16:
        if (!integerOf(v, n))
            return bstrText(v.vt == VT_BSTR ? v.bstrVal : nullptr);
        return std::wstring(1, static_cast<wchar_t>(static_cast<uint16_t>(n)));
    case CIM_UINT8:
    case CIM_UINT16:
    case CIM_UINT32:
    case CIM_SINT8:
    case CIM_SINT16:
    case CIM_SINT32:
    case CIM_UINT64:
    case CIM_SINT64:
        if (v.vt == VT_BSTR)
            return bstrText(v.bstrVal);
        if (!integerOf(v, n))
            return std::wstring();
        switch (type) {
        case CIM_UINT8:
            n = static_cast<uint8_t>(n);
            break;
        case CIM_UINT16:
            n = static_cast<uint16_t>(n);
            break;
        case CIM_UINT32:
            n = static_cast<uint32_t>(n);
            break;
        case CIM_SINT8:
            n = static_cast<int8_t>(n);
            break;
        case CIM_SINT16:
            n = static_cast<int16_t>(n);
            break;
        case CIM_SINT32:
            n = static_cast<int32_t>(n);
            break;
        case CIM_UINT64:
            return std::to_wstring(static_cast<uint64_t>(n));
        default:
            break;
        }
        return std::to_wstring(n);
    default:
        return v.vt == VT_BSTR ? bstrText(v.bstrVal) : std::wstring();
    }
}

// XML's names for the CIM types the DTD knows; "string" for the rest (references and objects
// travel as text).
const wchar_t* xmlTypeName(CIMTYPE type) {
    const CIMTYPE base = type & ~CIMTYPE(CIM_FLAG_ARRAY);
    if (base == CIM_REFERENCE || base == CIM_OBJECT)
        return L"string";
    return cimTypeName(base);
}

class Writer {
public:
    Writer(const CimXmlOptions& options, int depth) : m_options(options), m_depth(depth) {}

    HRESULT object(IWbemClassObject* object, std::wstring& out);

private:
    HRESULT body(IWbemClassObject* object, bool isClass, std::wstring& out);
    HRESULT qualifiers(IWbemQualifierSet* set, bool forceCimType, std::wstring& out,
                       const std::vector<std::wstring>& always = {});
    HRESULT value(const VARIANT& v, CIMTYPE type, std::wstring& out);
    HRESULT valueReference(const std::wstring& path, std::wstring& out);
    HRESULT property(IWbemClassObject* object, const std::wstring& name, bool isClass, bool system,
                     std::wstring& out);
    HRESULT method(IWbemClassObject* object, const std::wstring& name, IWbemClassObject* in,
                   IWbemClassObject* outSignature, std::wstring& out);

    const CimXmlOptions& m_options;
    const int m_depth;
};

std::wstring stringProperty(IWbemClassObject* object, const wchar_t* name) {
    _variant_t v;
    if (FAILED(object->Get(name, 0, &v, nullptr, nullptr)) || v.vt != VT_BSTR)
        return std::wstring();
    return bstrText(v.bstrVal);
}

void namespacePath(const std::wstring& nameSpace, std::wstring& out) {
    out += L"<LOCALNAMESPACEPATH>";
    size_t start = 0;
    while (start <= nameSpace.size()) {
        size_t end = nameSpace.find_first_of(L"\\/", start);
        if (end == std::wstring::npos)
            end = nameSpace.size();
        if (end > start) {
            out += L"<NAMESPACE";
            attribute(L"NAME", nameSpace.substr(start, end - start), out);
            out += L"/>";
        }
        start = end + 1;
    }
    out += L"</LOCALNAMESPACEPATH>";
}

void keyValue(const CimXmlPath::Key& key, std::wstring& out) {
    const wchar_t* kind = L"string";
    if (key.cimType == CIM_BOOLEAN)
        kind = L"boolean";
    else if (key.cimType != CIM_STRING && key.cimType != CIM_REFERENCE &&
             key.cimType != CIM_DATETIME && key.cimType != CIM_CHAR16)
        kind = L"numeric";
    out += L"<KEYVALUE VALUETYPE=\"";
    out += kind;
    out += L"\">";
    escape(cimXmlKeyText(key), false, out);
    out += L"</KEYVALUE>";
}

void instanceName(const CimXmlPath& path, std::wstring& out) {
    out += L"<INSTANCENAME";
    attribute(L"CLASSNAME", path.className, out);
    out += L">";
    if (path.keys.size() == 1 && path.keys[0].name.empty()) {
        keyValue(path.keys[0], out);
    } else {
        for (const CimXmlPath::Key& key : path.keys) {
            out += L"<KEYBINDING";
            attribute(L"NAME", key.name, out);
            out += L">";
            keyValue(key, out);
            out += L"</KEYBINDING>";
        }
    }
    out += L"</INSTANCENAME>";
}

std::wstring joinNamespaces(const CimXmlPath& path) {
    std::wstring text;
    for (const std::wstring& component : path.namespaces) {
        if (!text.empty())
            text += L'\\';
        text += component;
    }
    return text;
}

// The path elements of a parsed path: INSTANCEPATH, LOCALINSTANCEPATH or INSTANCENAME for an
// instance, CLASSPATH, LOCALCLASSPATH or CLASSNAME for a class.
void pathElements(const CimXmlPath& path, std::wstring& out) {
    const bool isInstance = path.singleton || !path.keys.empty();
    const bool full = path.hasServer && !path.namespaces.empty();
    const bool local = !full && !path.namespaces.empty();
    const wchar_t* outer = isInstance ? (full    ? L"INSTANCEPATH"
                                         : local ? L"LOCALINSTANCEPATH"
                                                 : nullptr)
                                      : (full    ? L"CLASSPATH"
                                         : local ? L"LOCALCLASSPATH"
                                                 : nullptr);
    if (outer) {
        out += L"<";
        out += outer;
        out += L">";
        if (full) {
            out += L"<NAMESPACEPATH><HOST>";
            escape(path.server, false, out);
            out += L"</HOST>";
        }
        namespacePath(joinNamespaces(path), out);
        if (full)
            out += L"</NAMESPACEPATH>";
    }
    if (isInstance) {
        instanceName(path, out);
    } else {
        out += L"<CLASSNAME";
        attribute(L"NAME", path.className, out);
        out += L"/>";
    }
    if (outer) {
        out += L"</";
        out += outer;
        out += L">";
    }
}

HRESULT Writer::valueReference(const std::wstring& text, std::wstring& out) {
    CimXmlPath path;
    const HRESULT hr = parseCimXmlPath(text, path);
    if (FAILED(hr))
        return hr;
    out += L"<VALUE.REFERENCE>";
    pathElements(path, out);
    out += L"</VALUE.REFERENCE>";
    return S_OK;
}

HRESULT Writer::value(const VARIANT& v, CIMTYPE type, std::wstring& out) {
    const CIMTYPE base = type & ~CIMTYPE(CIM_FLAG_ARRAY);
    if (v.vt == VT_NULL || v.vt == VT_EMPTY)
        return S_OK;
    auto scalar = [&](const VARIANT& item) -> HRESULT {
        if (item.vt == VT_NULL || item.vt == VT_EMPTY ||
            ((item.vt == VT_UNKNOWN || item.vt == VT_BSTR) && !item.punkVal)) {
            out += L"<VALUE.NULL/>";
            return S_OK;
        }
        out += L"<VALUE>";
        if (base == CIM_OBJECT) {
            if (item.vt != VT_UNKNOWN)
                return WBEM_E_TYPE_MISMATCH;
            ComRef<IWbemClassObject> embedded;
            if (FAILED(item.punkVal->QueryInterface(IID_IWbemClassObject,
                                                    reinterpret_cast<void**>(embedded.put()))))
                return WBEM_E_TYPE_MISMATCH;
            if (m_depth >= kMaxDepth)
                return WBEM_E_INVALID_PARAMETER;
            CimXmlOptions inner = m_options;
            inner.pathLevel = 0;
            std::wstring text;
            const HRESULT hr = Writer(inner, m_depth + 1).object(embedded.get(), text);
            if (FAILED(hr))
                return hr;
            escape(text, false, out);
        } else {
            escape(scalarText(item, base), false, out);
        }
        out += L"</VALUE>";
        return S_OK;
    };
    if (!(v.vt & VT_ARRAY)) {
        if (base == CIM_REFERENCE)
            return v.vt == VT_BSTR ? valueReference(bstrText(v.bstrVal), out)
                                   : WBEM_E_TYPE_MISMATCH;
        return scalar(v);
    }
    SAFEARRAY* array = (v.vt & VT_BYREF) ? *v.pparray : v.parray;
    LONG lower = 0, upper = -1;
    if (array) {
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
    }
    out += L"<VALUE.ARRAY>";
    for (LONG i = lower; i <= upper; ++i) {
        _variant_t item;
        item.vt = static_cast<VARTYPE>(v.vt & VT_TYPEMASK);
        // VT_BSTR and VT_UNKNOWN come back as owned copies, released with the _variant_t.
        const HRESULT got = SafeArrayGetElement(array, &i, &item.byref);
        if (FAILED(got)) {
            item.vt = VT_EMPTY;
            return got;
        }
        const HRESULT hr = scalar(item);
        if (FAILED(hr))
            return hr;
    }
    out += L"</VALUE.ARRAY>";
    return S_OK;
}

HRESULT Writer::qualifiers(IWbemQualifierSet* set, bool forceCimType, std::wstring& out,
                           const std::vector<std::wstring>& always) {
    if (!set)
        return S_OK;
    HRESULT hr = set->BeginEnumeration(0);
    if (FAILED(hr))
        return hr;
    for (;;) {
        BSTR rawName = nullptr;
        _variant_t v;
        LONG flavor = 0;
        hr = set->Next(0, &rawName, &v, &flavor);
        if (hr == WBEM_S_NO_MORE_DATA)
            break;
        if (FAILED(hr))
            return hr;
        const _bstr_t name(rawName, false);
        const std::wstring n = bstrText(rawName);
        const bool isCimType = sameName(n, L"CIMTYPE");
        const bool required = std::any_of(always.begin(), always.end(),
                                          [&](const std::wstring& a) { return sameName(a, n); });
        if (!required && !(isCimType ? forceCimType || m_options.qualifiers : m_options.qualifiers))
            continue;
        CIMTYPE type = CIM_STRING;
        switch (v.vt & ~VT_ARRAY) {
        case VT_BOOL:
            type = CIM_BOOLEAN;
            break;
        case VT_I4:
            type = CIM_SINT32;
            break;
        case VT_R8:
            type = CIM_REAL64;
            break;
        default:
            break;
        }
        out += L"<QUALIFIER";
        attribute(L"NAME", n, out);
        attribute(L"TYPE", cimTypeName(type), out);
        if ((flavor & WBEM_FLAVOR_MASK_ORIGIN) == WBEM_FLAVOR_ORIGIN_PROPAGATED)
            out += L" PROPAGATED=\"true\"";
        if (flavor & WBEM_FLAVOR_NOT_OVERRIDABLE)
            out += L" OVERRIDABLE=\"false\"";
        if (!(flavor & WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS))
            out += L" TOSUBCLASS=\"false\"";
        if (flavor & WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE)
            out += L" TOINSTANCE=\"true\"";
        if (flavor & WBEM_FLAVOR_AMENDED)
            out += L" TRANSLATABLE=\"true\"";
        out += L">";
        hr = value(v, type | ((v.vt & VT_ARRAY) ? CIM_FLAG_ARRAY : 0), out);
        if (FAILED(hr))
            return hr;
        out += L"</QUALIFIER>";
    }
    set->EndEnumeration();
    return S_OK;
}

std::wstring qualifierString(IWbemQualifierSet* set, const wchar_t* name) {
    _variant_t v;
    if (!set || FAILED(set->Get(name, 0, &v, nullptr)) || v.vt != VT_BSTR)
        return std::wstring();
    return bstrText(v.bstrVal);
}

HRESULT Writer::property(IWbemClassObject* object, const std::wstring& name, bool isClass,
                         bool system, std::wstring& out) {
    _variant_t v;
    CIMTYPE type = 0;
    LONG flavor = 0;
    HRESULT hr = object->Get(name.c_str(), 0, &v, &type, &flavor);
    if (FAILED(hr))
        return hr;
    ComRef<IWbemQualifierSet> set;
    if (!system)
        object->GetPropertyQualifierSet(name.c_str(), set.put());
    const std::wstring declared = qualifierString(set.get(), L"CIMTYPE");
    const CIMTYPE base = type & ~CIMTYPE(CIM_FLAG_ARRAY);
    const bool isArray = type & CIM_FLAG_ARRAY;
    const bool isReference = base == CIM_REFERENCE && !isArray;
    const wchar_t* element = isReference ? L"PROPERTY.REFERENCE"
                             : isArray   ? L"PROPERTY.ARRAY"
                                         : L"PROPERTY";
    out += L"<";
    out += element;
    attribute(L"NAME", name, out);
    if (isReference) {
        if (declared.size() > 4)
            attribute(L"REFERENCECLASS", declared.substr(4), out);
    } else {
        attribute(L"TYPE", xmlTypeName(type), out);
    }
    if (m_options.classOrigin && !system) {
        BSTR origin = nullptr;
        if (SUCCEEDED(object->GetPropertyOrigin(name.c_str(), &origin))) {
            attribute(L"CLASSORIGIN", bstrText(origin), out);
            SysFreeString(origin);
        }
        if (isClass && (flavor & WBEM_FLAVOR_MASK_ORIGIN) == WBEM_FLAVOR_ORIGIN_PROPAGATED)
            out += L" PROPAGATED=\"true\"";
    }
    if (base == CIM_OBJECT) {
        bool instance = false;
        if (!isArray && v.vt == VT_UNKNOWN && v.punkVal) {
            ComRef<IWbemClassObject> embedded;
            if (SUCCEEDED(v.punkVal->QueryInterface(IID_IWbemClassObject,
                                                    reinterpret_cast<void**>(embedded.put())))) {
                _variant_t genus;
                instance = SUCCEEDED(embedded->Get(L"__GENUS", 0, &genus, nullptr, nullptr)) &&
                           genus.vt == VT_I4 && genus.lVal == WBEM_GENUS_INSTANCE;
            }
        }
        out += instance ? L" EmbeddedObject=\"instance\"" : L" EmbeddedObject=\"object\"";
    }
    out += L">";
    hr = qualifiers(set.get(), base == CIM_OBJECT || (base == CIM_REFERENCE && isArray), out);
    if (FAILED(hr))
        return hr;
    if (base == CIM_REFERENCE && isArray) {
        // The DTD has no reference arrays in properties: the paths travel as strings, and the
        // CIMTYPE qualifier written above keeps the type.
        hr = value(v, CIM_STRING | CIM_FLAG_ARRAY, out);
    } else {
        hr = value(v, type, out);
    }
    if (FAILED(hr))
        return hr;
    out += L"</";
    out += element;
    out += L">";
    return S_OK;
}

LONG parameterId(IWbemQualifierSet* set) {
    _variant_t v;
    if (!set || FAILED(set->Get(L"ID", 0, &v, nullptr)) || v.vt != VT_I4)
        return 0;
    return v.lVal;
}

HRESULT Writer::method(IWbemClassObject* object, const std::wstring& name, IWbemClassObject* in,
                       IWbemClassObject* outSignature, std::wstring& out) {
    struct Parameter {
        LONG id;
        std::wstring name;
        IWbemClassObject* signature;
    };
    std::vector<Parameter> parameters;
    CIMTYPE returnType = 0;
    for (IWbemClassObject* signature : {in, outSignature}) {
        if (!signature)
            continue;
        SAFEARRAY* names = nullptr;
        HRESULT hr = signature->GetNames(nullptr, WBEM_FLAG_NONSYSTEM_ONLY, nullptr, &names);
        if (FAILED(hr))
            return hr;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(names, 1, &lower);
        SafeArrayGetUBound(names, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            BSTR raw = nullptr;
            SafeArrayGetElement(names, &i, &raw);
            const std::wstring n = bstrText(raw);
            SysFreeString(raw);
            if (sameName(n, L"ReturnValue")) {
                signature->Get(n.c_str(), 0, nullptr, &returnType, nullptr);
                continue;
            }
            const bool seen = std::any_of(parameters.begin(), parameters.end(),
                                          [&](const Parameter& p) { return sameName(p.name, n); });
            if (seen)
                continue;
            ComRef<IWbemQualifierSet> set;
            signature->GetPropertyQualifierSet(n.c_str(), set.put());
            parameters.push_back({parameterId(set.get()), n, signature});
        }
        SafeArrayDestroy(names);
    }
    std::stable_sort(parameters.begin(), parameters.end(),
                     [](const Parameter& a, const Parameter& b) { return a.id < b.id; });
    out += L"<METHOD";
    attribute(L"NAME", name, out);
    const CIMTYPE returnBase = returnType & ~CIMTYPE(CIM_FLAG_ARRAY);
    if (returnType && !(returnType & CIM_FLAG_ARRAY) && returnBase != CIM_REFERENCE &&
        returnBase != CIM_OBJECT)
        attribute(L"TYPE", cimTypeName(returnBase), out);
    if (m_options.classOrigin) {
        BSTR origin = nullptr;
        if (SUCCEEDED(object->GetMethodOrigin(name.c_str(), &origin))) {
            const std::wstring originName = bstrText(origin);
            SysFreeString(origin);
            attribute(L"CLASSORIGIN", originName, out);
            if (!sameName(originName, stringProperty(object, L"__CLASS")))
                out += L" PROPAGATED=\"true\"";
        }
    }
    out += L">";
    ComRef<IWbemQualifierSet> methodSet;
    object->GetMethodQualifierSet(name.c_str(), methodSet.put());
    HRESULT hr = qualifiers(methodSet.get(), false, out);
    if (FAILED(hr))
        return hr;
    for (const Parameter& p : parameters) {
        CIMTYPE type = 0;
        hr = p.signature->Get(p.name.c_str(), 0, nullptr, &type, nullptr);
        if (FAILED(hr))
            return hr;
        ComRef<IWbemQualifierSet> set;
        p.signature->GetPropertyQualifierSet(p.name.c_str(), set.put());
        // Whether a parameter goes in or out, and where, is part of the signature: always
        // written. A parameter in both signatures carries both In and Out.
        bool isIn = false, isOut = false;
        for (IWbemClassObject* signature : {in, outSignature}) {
            CIMTYPE t = 0;
            if (signature && SUCCEEDED(signature->Get(p.name.c_str(), 0, nullptr, &t, nullptr)))
                (signature == in ? isIn : isOut) = true;
        }
        const CIMTYPE base = type & ~CIMTYPE(CIM_FLAG_ARRAY);
        const bool isArray = type & CIM_FLAG_ARRAY;
        const std::wstring declared = qualifierString(set.get(), L"CIMTYPE");
        const wchar_t* element = base == CIM_REFERENCE
                                     ? (isArray ? L"PARAMETER.REFARRAY" : L"PARAMETER.REFERENCE")
                                 : isArray ? L"PARAMETER.ARRAY"
                                           : L"PARAMETER";
        out += L"<";
        out += element;
        attribute(L"NAME", p.name, out);
        if (base == CIM_REFERENCE) {
            if (declared.size() > 4)
                attribute(L"REFERENCECLASS", declared.substr(4), out);
        } else {
            attribute(L"TYPE", xmlTypeName(type), out);
        }
        out += L">";
        hr = qualifiers(set.get(), base == CIM_OBJECT, out, {L"ID"});
        if (FAILED(hr))
            return hr;
        if (!m_options.qualifiers) {
            if (isIn)
                out += L"<QUALIFIER NAME=\"In\" TYPE=\"boolean\" "
                       L"TOSUBCLASS=\"false\"><VALUE>TRUE</VALUE></QUALIFIER>";
            if (isOut)
                out += L"<QUALIFIER NAME=\"Out\" TYPE=\"boolean\" "
                       L"TOSUBCLASS=\"false\"><VALUE>TRUE</VALUE></QUALIFIER>";
        }
        out += L"</";
        out += element;
        out += L">";
    }
    out += L"</METHOD>";
    return S_OK;
}

HRESULT Writer::body(IWbemClassObject* object, bool isClass, std::wstring& out) {
    const std::wstring className = stringProperty(object, L"__CLASS");
    if (isClass) {
        out += L"<CLASS";
        attribute(L"NAME", className, out);
        const std::wstring superclass = stringProperty(object, L"__SUPERCLASS");
        if (!superclass.empty())
            attribute(L"SUPERCLASS", superclass, out);
    } else {
        out += L"<INSTANCE";
        attribute(L"CLASSNAME", className, out);
    }
    out += L">";
    ComRef<IWbemQualifierSet> set;
    HRESULT hr = object->GetQualifierSet(set.put());
    if (FAILED(hr))
        return hr;
    hr = qualifiers(set.get(), false, out);
    if (FAILED(hr))
        return hr;
    auto names = [&](LONG flags, std::vector<std::wstring>& list) -> HRESULT {
        SAFEARRAY* array = nullptr;
        const HRESULT got = object->GetNames(nullptr, flags, nullptr, &array);
        if (FAILED(got))
            return got;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            BSTR raw = nullptr;
            SafeArrayGetElement(array, &i, &raw);
            list.push_back(bstrText(raw));
            SysFreeString(raw);
        }
        SafeArrayDestroy(array);
        return S_OK;
    };
    if (m_options.wmiFormat && !m_options.excludeSystem) {
        std::vector<std::wstring> system;
        hr = names(WBEM_FLAG_SYSTEM_ONLY, system);
        if (FAILED(hr))
            return hr;
        for (const std::wstring& name : system) {
            hr = property(object, name, isClass, true, out);
            if (FAILED(hr))
                return hr;
        }
    }
    std::vector<std::wstring> own;
    // The origin conditions exclude each other; system properties are never local.
    hr = names(m_options.localOnly ? WBEM_FLAG_LOCAL_ONLY : WBEM_FLAG_NONSYSTEM_ONLY, own);
    if (FAILED(hr))
        return hr;
    for (const std::wstring& name : own) {
        hr = property(object, name, isClass, false, out);
        if (FAILED(hr))
            return hr;
    }
    if (isClass) {
        hr = object->BeginMethodEnumeration(m_options.localOnly ? WBEM_FLAG_LOCAL_ONLY : 0);
        if (FAILED(hr))
            return hr;
        for (;;) {
            BSTR rawName = nullptr;
            ComRef<IWbemClassObject> in, outSignature;
            hr = object->NextMethod(0, &rawName, in.put(), outSignature.put());
            if (hr == WBEM_S_NO_MORE_DATA)
                break;
            if (FAILED(hr))
                return hr;
            const std::wstring name = bstrText(rawName);
            SysFreeString(rawName);
            hr = method(object, name, in.get(), outSignature.get(), out);
            if (FAILED(hr)) {
                object->EndMethodEnumeration();
                return hr;
            }
        }
        object->EndMethodEnumeration();
        out += L"</CLASS>";
    } else {
        out += L"</INSTANCE>";
    }
    return S_OK;
}

HRESULT Writer::object(IWbemClassObject* object, std::wstring& out) {
    _variant_t genus;
    HRESULT hr = object->Get(L"__GENUS", 0, &genus, nullptr, nullptr);
    if (FAILED(hr))
        return hr;
    const bool isClass = genus.vt == VT_I4 && genus.lVal == WBEM_GENUS_CLASS;
    const long level = m_options.pathLevel;
    if (level < 0 || level > 3)
        return WBEM_E_INVALID_PARAMETER;
    const std::wstring className = stringProperty(object, L"__CLASS");
    CimXmlPath path;
    path.className = className;
    if (level >= 1 && !isClass) {
        // An instance's name is its keys: one whose keys are not all set has none.
        const std::wstring relative = stringProperty(object, L"__RELPATH");
        if (relative.empty() || FAILED(parseCimXmlPath(relative, path)))
            return WBEM_E_INVALID_PARAMETER;
    }
    if (level >= 2) {
        // Only a stored object knows its namespace (and server); a new or read-back one has no
        // path to give, and inventing one would name a place where the object is not.
        const std::wstring nameSpace = stringProperty(object, L"__NAMESPACE");
        if (nameSpace.empty())
            return WBEM_E_INVALID_PARAMETER;
        path.namespaces.clear();
        size_t start = 0;
        while (start <= nameSpace.size()) {
            size_t end = nameSpace.find_first_of(L"\\/", start);
            if (end == std::wstring::npos)
                end = nameSpace.size();
            if (end > start)
                path.namespaces.push_back(nameSpace.substr(start, end - start));
            start = end + 1;
        }
    }
    if (level == 3) {
        path.server = stringProperty(object, L"__SERVER");
        if (path.server.empty())
            return WBEM_E_INVALID_PARAMETER;
        path.hasServer = true;
    }
    static const wchar_t* const wrappers[] = {
        nullptr, L"VALUE.NAMEDOBJECT", L"VALUE.OBJECTWITHLOCALPATH", L"VALUE.OBJECTWITHPATH"};
    const wchar_t* wrapper = wrappers[level];
    if (wrapper) {
        out += L"<";
        out += wrapper;
        out += L">";
        if (level >= 2 || !isClass)
            pathElements(path, out);
    }
    hr = body(object, isClass, out);
    if (FAILED(hr))
        return hr;
    if (wrapper) {
        out += L"</";
        out += wrapper;
        out += L">";
    }
    return S_OK;
}

} // namespace

HRESULT writeCimXml(IWbemClassObject* object, const CimXmlOptions& options, std::wstring& text) {
    try {
        std::wstring out;
        const HRESULT hr = Writer(options, 0).object(object, out);
        if (FAILED(hr))
            return hr;
        text = std::move(out);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    } catch (const _com_error& error) {
        return error.Error();
    }
}

} // namespace zp::wbem
