// The CIM-XML reader. libxml2 parses without the network, without loading or applying any DTD
// and without substituting entities; a document with a DOCTYPE is refused outright, so no
// entity expansion can make a small text large.
//
// A class is read as a root class holding every property and method the text lists (a text does
// not carry its superclasses' definitions). An instance is read against a class made from the
// instance's own properties, the keys named by its INSTANCENAME marked `key`.
#include "cimxml.h"

#include "comref.h"
#include "object.h"
#include "objectpath.h" // machineName() only
#include "values.h"

#include <wmiutils.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace zp::wbem {

std::string toUtf8(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]) & 0xFFFF;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length &&
            (static_cast<uint32_t>(text[i + 1]) & 0xFC00) == 0xDC00) {
            c = 0x10000 + ((c - 0xD800) << 10) +
                ((static_cast<uint32_t>(text[++i]) & 0xFFFF) - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring fromUtf8(const char* text, size_t length) {
    std::wstring out;
    out.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length;) {
        uint32_t c = s[i];
        size_t extra = c < 0x80             ? 0
                       : (c & 0xE0) == 0xC0 ? 1
                       : (c & 0xF0) == 0xE0 ? 2
                       : (c & 0xF8) == 0xF0 ? 3
                                            : 9;
        if (extra == 9 || i + extra >= length + (extra ? 0 : 1)) {
            if (extra != 0) {
                out += L'\xFFFD';
                ++i;
                continue;
            }
        }
        if (extra) {
            c &= 0x3F >> extra;
            bool good = true;
            for (size_t k = 1; k <= extra; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) {
                    good = false;
                    break;
                }
                c = (c << 6) | (s[i + k] & 0x3F);
            }
            if (!good) {
                out += L'\xFFFD';
                ++i;
                continue;
            }
        }
        i += extra + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

namespace {

constexpr int kMaxDepth = 32;

// Thrown inside the reader for text it cannot take; caught at its entry.
struct SyntaxError {
    HRESULT code = WBEM_E_INVALID_SYNTAX;
};

[[noreturn]] void fail(HRESULT code = WBEM_E_INVALID_SYNTAX) {
    throw SyntaxError{code};
}

void check(HRESULT hr) {
    if (FAILED(hr))
        fail(hr == WBEM_E_OUT_OF_MEMORY ? hr : WBEM_E_INVALID_SYNTAX);
}

bool is(const xmlNode* node, const char* name) {
    return node && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// The element children of `node` (text between them must be blank).
std::vector<xmlNode*> children(const xmlNode* node) {
    std::vector<xmlNode*> list;
    for (xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            list.push_back(child);
        } else if (child->type == XML_TEXT_NODE) {
            for (const xmlChar* c = child->content; c && *c; ++c)
                if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n')
                    fail();
        } else if (child->type != XML_COMMENT_NODE && child->type != XML_PI_NODE) {
            fail();
        }
    }
    return list;
}

bool attribute(const xmlNode* node, const char* name, std::wstring& value) {
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        if (std::strcmp(reinterpret_cast<const char*>(a->name), name) != 0)
            continue;
        std::wstring text;
        for (const xmlNode* c = a->children; c; c = c->next) {
            if (c->type != XML_TEXT_NODE)
                fail();
            if (c->content)
                text += fromUtf8(reinterpret_cast<const char*>(c->content),
                                 std::strlen(reinterpret_cast<const char*>(c->content)));
        }
        value = std::move(text);
        return true;
    }
    return false;
}

std::wstring required(const xmlNode* node, const char* name) {
    std::wstring value;
    if (!attribute(node, name, value) || value.empty())
        fail();
    return value;
}

bool flag(const xmlNode* node, const char* name, bool fallback) {
    std::wstring value;
    if (!attribute(node, name, value))
        return fallback;
    if (value == L"true")
        return true;
    if (value == L"false")
        return false;
    fail();
}

// The character data of an element that may hold only text.
std::wstring text(const xmlNode* node) {
    std::wstring out;
    for (const xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
            if (c->content)
                out += fromUtf8(reinterpret_cast<const char*>(c->content),
                                std::strlen(reinterpret_cast<const char*>(c->content)));
        } else if (c->type != XML_COMMENT_NODE) {
            fail();
        }
    }
    return out;
}

CIMTYPE typeNamed(const std::wstring& name) {
    static const struct {
        const wchar_t* name;
        CIMTYPE type;
    } types[] = {{L"boolean", CIM_BOOLEAN}, {L"string", CIM_STRING}, {L"char16", CIM_CHAR16},
                 {L"uint8", CIM_UINT8},     {L"sint8", CIM_SINT8},   {L"uint16", CIM_UINT16},
                 {L"sint16", CIM_SINT16},   {L"uint32", CIM_UINT32}, {L"sint32", CIM_SINT32},
                 {L"uint64", CIM_UINT64},   {L"sint64", CIM_SINT64}, {L"datetime", CIM_DATETIME},
                 {L"real32", CIM_REAL32},   {L"real64", CIM_REAL64}};
    for (const auto& t : types)
        if (name == t.name)
            return t.type;
    fail();
}

bool parseInteger(const std::wstring& text, bool isSigned, int64_t low, uint64_t high,
                  int64_t& out) {
    if (text.empty() || text.size() > 24)
        return false;
    std::string ascii;
    for (wchar_t c : text) {
        if (!((c >= L'0' && c <= L'9') || c == L'-' || c == L'+'))
            return false;
        ascii += static_cast<char>(c);
    }
    errno = 0;
    char* end = nullptr;
    if (isSigned) {
        const long long v = std::strtoll(ascii.c_str(), &end, 10);
        if (errno || *end || v < low || (v > 0 && static_cast<uint64_t>(v) > high))
            return false;
        out = v;
    } else {
        if (ascii[0] == '-')
            return false;
        const unsigned long long v = std::strtoull(ascii.c_str(), &end, 10);
        if (errno || *end || v > high)
            return false;
        out = static_cast<int64_t>(v);
    }
    return true;
}

// One scalar of `type` (no array bit) in the VARIANT form class objects hold it in.
_variant_t scalar(const std::wstring& value, CIMTYPE type, int depth) {
    _variant_t v;
    int64_t n = 0;
    switch (type) {
    case CIM_BOOLEAN:
        if (_wcsicmp(value.c_str(), L"TRUE") == 0)
            return _variant_t(true);
        if (_wcsicmp(value.c_str(), L"FALSE") == 0)
            return _variant_t(false);
        fail();
    case CIM_UINT8:
        if (!parseInteger(value, false, 0, 0xFF, n))
            fail();
        return _variant_t(static_cast<BYTE>(n));
    case CIM_SINT8:
        if (!parseInteger(value, true, -128, 127, n))
            fail();
        return _variant_t(static_cast<short>(n));
    case CIM_SINT16:
        if (!parseInteger(value, true, -32768, 32767, n))
            fail();
        return _variant_t(static_cast<short>(n));
    case CIM_UINT16:
        if (!parseInteger(value, false, 0, 0xFFFF, n))
            fail();
        return _variant_t(static_cast<long>(n));
    case CIM_SINT32:
        if (!parseInteger(value, true, INT32_MIN, INT32_MAX, n))
            fail();
        return _variant_t(static_cast<long>(n));
    case CIM_UINT32:
        if (!parseInteger(value, false, 0, UINT32_MAX, n))
            fail();
        return _variant_t(static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(n))));
    case CIM_SINT64:
        if (!parseInteger(value, true, INT64_MIN, INT64_MAX, n))
            fail();
        return _variant_t(std::to_wstring(n).c_str());
    case CIM_UINT64:
        if (!parseInteger(value, false, 0, UINT64_MAX, n))
            fail();
        return _variant_t(std::to_wstring(static_cast<uint64_t>(n)).c_str());
    case CIM_CHAR16:
        if (value.size() != 1)
            fail();
        return _variant_t(static_cast<short>(static_cast<uint16_t>(value[0])));
    case CIM_REAL32:
    case CIM_REAL64: {
        double d = 0;
        if (value == L"NaN") {
            d = std::nan("");
        } else if (value == L"INF") {
            d = HUGE_VAL;
        } else if (value == L"-INF") {
            d = -HUGE_VAL;
        } else {
            std::string ascii;
            for (wchar_t c : value) {
                if (c > 0x7F)
                    fail();
                ascii += static_cast<char>(c);
            }
            char* end = nullptr;
            d = std::strtod(ascii.c_str(), &end);
            if (ascii.empty() || *end)
                fail();
        }
        if (type == CIM_REAL32)
            return _variant_t(static_cast<float>(d));
        return _variant_t(d);
    }
    case CIM_OBJECT: {
        if (depth >= kMaxDepth)
            fail();
        ComRef<IWbemClassObject> embedded;
        check(readCimXml(value.data(), value.size(), embedded.put()));
        v.vt = VT_UNKNOWN;
        v.punkVal = embedded.detach();
        return v;
    }
    default:
        return _variant_t(value.c_str());
    }
}

// A path back to text from VALUE.REFERENCE's single child.
std::wstring pathText(const xmlNode* node);

void namespaces(const xmlNode* local, CimXmlPath& path) {
    if (!is(local, "LOCALNAMESPACEPATH"))
        fail();
    for (const xmlNode* ns : children(local)) {
        if (!is(ns, "NAMESPACE"))
            fail();
        path.namespaces.push_back(required(ns, "NAME"));
    }
    if (path.namespaces.empty())
        fail();
}

void instanceName(const xmlNode* node, CimXmlPath& path) {
    if (!is(node, "INSTANCENAME"))
        fail();
    path.className = required(node, "CLASSNAME");
    const std::vector<xmlNode*> items = children(node);
    if (items.empty())
        path.singleton = true;
    auto key = [&](const xmlNode* valueNode, std::wstring name) {
        CimXmlPath::Key k;
        k.name = std::move(name);
        if (is(valueNode, "KEYVALUE")) {
            std::wstring kind = L"string";
            attribute(valueNode, "VALUETYPE", kind);
            const std::wstring value = text(valueNode);
            if (kind == L"string") {
                k.cimType = CIM_STRING;
                k.value.vt = VT_BSTR;
                k.value.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
            } else if (kind == L"boolean") {
                _variant_t b = scalar(value, CIM_BOOLEAN, 0);
                k.cimType = CIM_BOOLEAN;
                k.value = b;
            } else if (kind == L"numeric") {
                int64_t n = 0;
                if (parseInteger(value, true, INT32_MIN, INT32_MAX, n)) {
                    k.cimType = CIM_SINT32;
                    k.value.vt = VT_I4;
                    k.value.lVal = static_cast<LONG>(n);
                } else if (parseInteger(value, true, INT64_MIN, INT64_MAX, n) ||
                           parseInteger(value, false, 0, UINT64_MAX, n)) {
                    k.cimType = value[0] == L'-' ? CIM_SINT64 : CIM_UINT64;
                    k.value.vt = VT_BSTR;
                    k.value.bstrVal =
                        SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
                } else {
                    fail();
                }
            } else {
                fail();
            }
        } else if (is(valueNode, "VALUE.REFERENCE")) {
            const std::vector<xmlNode*> inner = children(valueNode);
            if (inner.size() != 1)
                fail();
            const std::wstring reference = pathText(inner[0]);
            k.cimType = CIM_REFERENCE;
            k.value.vt = VT_BSTR;
            k.value.bstrVal =
                SysAllocStringLen(reference.data(), static_cast<UINT>(reference.size()));
        } else {
            fail();
        }
        path.keys.push_back(std::move(k));
    };
    if (items.size() == 1 && !is(items[0], "KEYBINDING")) {
        key(items[0], std::wstring());
        return;
    }
    for (const xmlNode* binding : items) {
        if (!is(binding, "KEYBINDING"))
            fail();
        const std::vector<xmlNode*> inner = children(binding);
        if (inner.size() != 1)
            fail();
        key(inner[0], required(binding, "NAME"));
    }
}

// Reads any of the path elements into `path`.
void readPath(const xmlNode* node, CimXmlPath& path) {
    const std::vector<xmlNode*> items = children(node);
    if (is(node, "CLASSNAME")) {
        path.className = required(node, "NAME");
        if (!items.empty())
            fail();
    } else if (is(node, "INSTANCENAME")) {
        instanceName(node, path);
    } else if (is(node, "LOCALCLASSPATH") || is(node, "LOCALINSTANCEPATH")) {
        if (items.size() != 2)
            fail();
        namespaces(items[0], path);
        if (is(node, "LOCALCLASSPATH") ? !is(items[1], "CLASSNAME") : !is(items[1], "INSTANCENAME"))
            fail();
        readPath(items[1], path);
    } else if (is(node, "CLASSPATH") || is(node, "INSTANCEPATH")) {
        if (items.size() != 2 || !is(items[0], "NAMESPACEPATH"))
            fail();
        const std::vector<xmlNode*> nsPath = children(items[0]);
        if (nsPath.size() != 2 || !is(nsPath[0], "HOST"))
            fail();
        path.hasServer = true;
        path.server = text(nsPath[0]);
        if (path.server.empty())
            fail();
        namespaces(nsPath[1], path);
        if (is(node, "CLASSPATH") ? !is(items[1], "CLASSNAME") : !is(items[1], "INSTANCENAME"))
            fail();
        readPath(items[1], path);
    } else {
        fail();
    }
}

std::wstring pathText(const xmlNode* node) {
    CimXmlPath path;
    readPath(node, path);
    return cimXmlPathText(path);
}

struct QualifierText {
    std::wstring name;
    _variant_t value;
    LONG flavor = 0;
    bool propagated = false;
};

QualifierText qualifier(const xmlNode* node) {
    QualifierText q;
    q.name = required(node, "NAME");
    const CIMTYPE type = typeNamed(required(node, "TYPE"));
    if (type != CIM_BOOLEAN && type != CIM_STRING && type != CIM_SINT32 && type != CIM_REAL64)
        fail();
    q.propagated = flag(node, "PROPAGATED", false);
    if (!flag(node, "OVERRIDABLE", true))
        q.flavor |= WBEM_FLAVOR_NOT_OVERRIDABLE;
    if (flag(node, "TOSUBCLASS", true))
        q.flavor |= WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS;
    if (flag(node, "TOINSTANCE", false))
        q.flavor |= WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE;
    if (flag(node, "TRANSLATABLE", false))
        q.flavor |= WBEM_FLAVOR_AMENDED;
    const std::vector<xmlNode*> items = children(node);
    if (items.size() > 1)
        fail();
    if (items.empty()) {
        q.value = _variant_t(true); // a qualifier without a value is a true flag
    } else if (is(items[0], "VALUE")) {
        q.value = scalar(text(items[0]), type, 0);
    } else if (is(items[0], "VALUE.ARRAY")) {
        const std::vector<xmlNode*> elements = children(items[0]);
        const VARTYPE vt = type == CIM_BOOLEAN  ? VT_BOOL
                           : type == CIM_SINT32 ? VT_I4
                           : type == CIM_REAL64 ? VT_R8
                                                : VT_BSTR;
        SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(elements.size()));
        if (!array)
            fail(WBEM_E_OUT_OF_MEMORY);
        q.value.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        q.value.parray = array;
        for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
            if (!is(elements[static_cast<size_t>(i)], "VALUE"))
                fail();
            _variant_t item = scalar(text(elements[static_cast<size_t>(i)]), type, 0);
            void* data =
                vt == VT_BSTR ? static_cast<void*>(item.bstrVal) : static_cast<void*>(&item.byref);
            check(SafeArrayPutElement(array, &i, data));
        }
    } else {
        fail();
    }
    return q;
}

// Puts the non-propagated qualifiers among `items` (from `start`) into `set`; returns the index
// of the first item that is not a QUALIFIER.
size_t putQualifiers(const std::vector<xmlNode*>& items, IWbemQualifierSet* set,
                     bool skipCimType = false) {
    size_t i = 0;
    for (; i < items.size() && is(items[i], "QUALIFIER"); ++i) {
        QualifierText q = qualifier(items[i]);
        if (q.propagated || (skipCimType && _wcsicmp(q.name.c_str(), L"CIMTYPE") == 0))
            continue;
        check(set->Put(q.name.c_str(), &q.value, q.flavor));
    }
    return i;
}

struct PropertyText {
    std::wstring name;
    CIMTYPE type = 0;
    _variant_t value; // VT_NULL when the text has no value
    std::wstring cimTypeQualifier;
    const xmlNode* node = nullptr;
};

PropertyText propertyOf(const xmlNode* node, int depth) {
    PropertyText p;
    p.node = node;
    p.name = required(node, "NAME");
    p.value.vt = VT_NULL;
    const std::vector<xmlNode*> items = children(node);
    size_t i = 0;
    for (; i < items.size() && is(items[i], "QUALIFIER"); ++i) {
        std::wstring name;
        attribute(items[i], "NAME", name);
        if (_wcsicmp(name.c_str(), L"CIMTYPE") == 0) {
            QualifierText q = qualifier(items[i]);
            if (q.value.vt == VT_BSTR)
                p.cimTypeQualifier = q.value.bstrVal;
        }
    }
    const auto startsWith = [&](const wchar_t* prefix) {
        return _wcsnicmp(p.cimTypeQualifier.c_str(), prefix, std::wcslen(prefix)) == 0;
    };
    std::wstring embedded;
    const bool isEmbedded = attribute(node, "EmbeddedObject", embedded);
    if (isEmbedded && embedded != L"object" && embedded != L"instance")
        fail();
    if (is(node, "PROPERTY.REFERENCE")) {
        p.type = CIM_REFERENCE;
        std::wstring referenceClass;
        if (attribute(node, "REFERENCECLASS", referenceClass))
            p.cimTypeQualifier = L"ref:" + referenceClass;
        if (i < items.size()) {
            if (i + 1 != items.size() || !is(items[i], "VALUE.REFERENCE"))
                fail();
            const std::vector<xmlNode*> inner = children(items[i]);
            if (inner.size() != 1)
                fail();
            p.value = _variant_t(pathText(inner[0]).c_str());
        }
        return p;
    }
    const bool isArray = is(node, "PROPERTY.ARRAY");
    CIMTYPE base = typeNamed(required(node, "TYPE"));
    if (isEmbedded || startsWith(L"object")) {
        if (base != CIM_STRING)
            fail();
        base = CIM_OBJECT;
    } else if (isArray && startsWith(L"ref")) {
        if (base != CIM_STRING)
            fail();
        base = CIM_REFERENCE;
    }
    p.type = base | (isArray ? CIM_FLAG_ARRAY : 0);
    if (i == items.size())
        return p;
    if (i + 1 != items.size())
        fail();
    if (!isArray) {
        if (!is(items[i], "VALUE"))
            fail();
        p.value = scalar(text(items[i]), base, depth + 1);
        return p;
    }
    if (!is(items[i], "VALUE.ARRAY"))
        fail();
    const std::vector<xmlNode*> elements = children(items[i]);
    const VARTYPE vt = static_cast<VARTYPE>(variantTypeOf(base) & VT_TYPEMASK);
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(elements.size()));
    if (!array)
        fail(WBEM_E_OUT_OF_MEMORY);
    p.value.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    p.value.parray = array;
    for (LONG k = 0; k < static_cast<LONG>(elements.size()); ++k) {
        const xmlNode* element = elements[static_cast<size_t>(k)];
        if (is(element, "VALUE.NULL")) {
            if (!children(element).empty())
                fail();
            continue; // the array's own zero: a null string or object, a zero number
        }
        if (!is(element, "VALUE"))
            fail();
        _variant_t item =
            scalar(text(element), base == CIM_REFERENCE ? CIM_STRING : base, depth + 1);
        if (item.vt != vt)
            check(VariantChangeType(&item, &item, 0, vt));
        void* data = vt == VT_BSTR      ? static_cast<void*>(item.bstrVal)
                     : vt == VT_UNKNOWN ? static_cast<void*>(item.punkVal)
                                        : static_cast<void*>(&item.byref);
        check(SafeArrayPutElement(array, &k, data));
    }
    return p;
}

bool isPropertyElement(const xmlNode* node) {
    return is(node, "PROPERTY") || is(node, "PROPERTY.ARRAY") || is(node, "PROPERTY.REFERENCE");
}

bool isSystemName(const std::wstring& name) {
    return name.size() >= 2 && name[0] == L'_' && name[1] == L'_';
}

// Puts a property's declared class (ref:X, object:X) and its other qualifiers.
void putPropertyQualifiers(IWbemClassObject* object, const PropertyText& p,
                           bool withValueQualifiers) {
    ComRef<IWbemQualifierSet> set;
    check(object->GetPropertyQualifierSet(p.name.c_str(), set.put()));
    if (withValueQualifiers)
        putQualifiers(children(p.node), set.get(), true);
    if (!p.cimTypeQualifier.empty()) {
        _variant_t declared(p.cimTypeQualifier.c_str());
        check(set->Put(L"CIMTYPE", &declared,
                       WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE |
                           WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS));
    }
}

ComRef<IWbemClassObject> newClassObject() {
    ComRef<IWbemClassObject> object = ComRef<IWbemClassObject>::adopt(newClass());
    if (!object)
        fail(WBEM_E_OUT_OF_MEMORY);
    return object;
}

void putName(IWbemClassObject* object, const std::wstring& name) {
    _variant_t v(name.c_str());
    check(object->Put(L"__CLASS", 0, &v, 0));
}

ComRef<IWbemClassObject> readClass(const xmlNode* node, int depth) {
    ComRef<IWbemClassObject> object = newClassObject();
    putName(object.get(), required(node, "NAME"));
    const std::vector<xmlNode*> items = children(node);
    ComRef<IWbemQualifierSet> set;
    check(object->GetQualifierSet(set.put()));
    size_t i = putQualifiers(items, set.get());
    for (; i < items.size() && isPropertyElement(items[i]); ++i) {
        const PropertyText p = propertyOf(items[i], depth);
        if (isSystemName(p.name))
            continue;
        _variant_t value = p.value;
        check(object->Put(p.name.c_str(), 0, &value, p.type));
        putPropertyQualifiers(object.get(), p, true);
    }
    for (; i < items.size(); ++i) {
        const xmlNode* methodNode = items[i];
        if (!is(methodNode, "METHOD"))
            fail();
        const std::wstring name = required(methodNode, "NAME");
        const std::vector<xmlNode*> parts = children(methodNode);
        ComRef<IWbemClassObject> in, out;
        auto signature = [&](ComRef<IWbemClassObject>& s) {
            if (!s)
                s = newClassObject(); // PutMethod names it __PARAMETERS
            return s.get();
        };
        std::wstring returnType;
        if (attribute(methodNode, "TYPE", returnType)) {
            _variant_t none;
            none.vt = VT_NULL;
            check(signature(out)->Put(L"ReturnValue", 0, &none, typeNamed(returnType)));
        }
        size_t k = 0;
        for (; k < parts.size() && is(parts[k], "QUALIFIER"); ++k) {
        }
        for (size_t j = k; j < parts.size(); ++j) {
            const xmlNode* parameter = parts[j];
            PropertyText p;
            p.node = parameter;
            p.name = required(parameter, "NAME");
            const bool isReference =
                is(parameter, "PARAMETER.REFERENCE") || is(parameter, "PARAMETER.REFARRAY");
            const bool isArray =
                is(parameter, "PARAMETER.ARRAY") || is(parameter, "PARAMETER.REFARRAY");
            if (!isReference && !is(parameter, "PARAMETER") && !isArray)
                fail();
            bool isIn = false, isOut = false;
            for (const xmlNode* q : children(parameter)) {
                if (!is(q, "QUALIFIER"))
                    fail();
                const QualifierText qualifierText = qualifier(q);
                const bool on = qualifierText.value.vt == VT_BOOL && qualifierText.value.boolVal;
                if (_wcsicmp(qualifierText.name.c_str(), L"In") == 0)
                    isIn = on;
                else if (_wcsicmp(qualifierText.name.c_str(), L"Out") == 0)
                    isOut = on;
                else if (_wcsicmp(qualifierText.name.c_str(), L"CIMTYPE") == 0 &&
                         qualifierText.value.vt == VT_BSTR)
                    p.cimTypeQualifier = qualifierText.value.bstrVal;
            }
            if (isReference) {
                p.type = CIM_REFERENCE;
                std::wstring referenceClass;
                if (attribute(parameter, "REFERENCECLASS", referenceClass))
                    p.cimTypeQualifier = L"ref:" + referenceClass;
            } else {
                p.type = typeNamed(required(parameter, "TYPE"));
                if (_wcsnicmp(p.cimTypeQualifier.c_str(), L"object", 6) == 0)
                    p.type = CIM_OBJECT;
            }
            if (isArray)
                p.type |= CIM_FLAG_ARRAY;
            for (ComRef<IWbemClassObject>* s : {&in, &out}) {
                if (s == &in ? !isIn : !isOut)
                    continue;
                _variant_t none;
                none.vt = VT_NULL;
                check(signature(*s)->Put(p.name.c_str(), 0, &none, p.type));
                putPropertyQualifiers(s->get(), p, true);
            }
        }
        check(object->PutMethod(name.c_str(), 0, in.get(), out.get()));
        ComRef<IWbemQualifierSet> methodSet;
        check(object->GetMethodQualifierSet(name.c_str(), methodSet.put()));
        putQualifiers(parts, methodSet.get());
    }
    return object;
}

ComRef<IWbemClassObject> readInstance(const xmlNode* node, const CimXmlPath* name, int depth) {
    const std::wstring className = required(node, "CLASSNAME");
    const std::vector<xmlNode*> items = children(node);
    size_t first = 0;
    while (first < items.size() && is(items[first], "QUALIFIER"))
        ++first;
    std::vector<PropertyText> properties;
    for (size_t i = first; i < items.size(); ++i) {
        if (!isPropertyElement(items[i]))
            fail();
        PropertyText p = propertyOf(items[i], depth);
        if (!isSystemName(p.name))
            properties.push_back(std::move(p));
    }
    ComRef<IWbemClassObject> type = newClassObject();
    putName(type.get(), className);
    for (const PropertyText& p : properties) {
        _variant_t none;
        none.vt = VT_NULL;
        check(type->Put(p.name.c_str(), 0, &none, p.type));
        putPropertyQualifiers(type.get(), p, false);
        if (name)
            for (const CimXmlPath::Key& key : name->keys)
                if (_wcsicmp(key.name.c_str(), p.name.c_str()) == 0) {
                    ComRef<IWbemQualifierSet> set;
                    check(type->GetPropertyQualifierSet(p.name.c_str(), set.put()));
                    _variant_t on(true);
                    check(set->Put(L"key", &on,
                                   WBEM_FLAVOR_FLAG_PROPAGATE_TO_INSTANCE |
                                       WBEM_FLAVOR_FLAG_PROPAGATE_TO_DERIVED_CLASS |
                                       WBEM_FLAVOR_NOT_OVERRIDABLE));
                }
    }
    ComRef<IWbemClassObject> instance;
    check(type->SpawnInstance(0, instance.put()));
    ComRef<IWbemQualifierSet> set;
    check(instance->GetQualifierSet(set.put()));
    putQualifiers(items, set.get());
    for (const PropertyText& p : properties) {
        _variant_t value = p.value;
        check(instance->Put(p.name.c_str(), 0, &value, 0));
        ComRef<IWbemQualifierSet> propertySet;
        check(instance->GetPropertyQualifierSet(p.name.c_str(), propertySet.put()));
        putQualifiers(children(p.node), propertySet.get(), true);
    }
    return instance;
}

HRESULT readRoot(const xmlNode* root, int depth, IWbemClassObject** result) {
    ComRef<IWbemClassObject> object;
    CimXmlPath path;
    bool located = false;
    if (is(root, "CLASS")) {
        object = readClass(root, depth);
    } else if (is(root, "INSTANCE")) {
        object = readInstance(root, nullptr, depth);
    } else if (is(root, "VALUE.NAMEDOBJECT") || is(root, "VALUE.OBJECTWITHLOCALPATH") ||
               is(root, "VALUE.OBJECTWITHPATH")) {
        const std::vector<xmlNode*> items = children(root);
        const bool named = is(root, "VALUE.NAMEDOBJECT");
        if (named && items.size() == 1 && is(items[0], "CLASS")) {
            object = readClass(items[0], depth);
        } else {
            if (items.size() != 2)
                fail();
            readPath(items[0], path);
            const bool isClass = is(items[1], "CLASS");
            const char* expected = named ? "INSTANCENAME"
                                   : is(root, "VALUE.OBJECTWITHPATH")
                                       ? (isClass ? "CLASSPATH" : "INSTANCEPATH")
                                       : (isClass ? "LOCALCLASSPATH" : "LOCALINSTANCEPATH");
            if (!is(items[0], expected) || (named && isClass))
                fail();
            object = isClass ? readClass(items[1], depth) : readInstance(items[1], &path, depth);
            located = !named;
        }
    } else {
        fail();
    }
    if (located) {
        // The object says where it lives, as a stored one would.
        auto location = std::make_shared<Location>();
        // A local path names this machine.
        location->server = path.hasServer ? path.server : machineName();
        for (const std::wstring& component : path.namespaces) {
            if (!location->nameSpace.empty())
                location->nameSpace += L'\\';
            location->nameSpace += component;
        }
        if (ClassObject* ours = ClassObject::from(object.get()))
            ours->setLocation(location);
    }
    (void)depth;
    *result = object.detach();
    return S_OK;
}

struct DocumentFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

thread_local int t_depth = 0; // nesting of embedded objects on this thread

} // namespace

HRESULT readCimXml(const wchar_t* text, size_t length, IWbemClassObject** object) {
    if (!object)
        return WBEM_E_INVALID_PARAMETER;
    *object = nullptr;
    if (t_depth >= kMaxDepth)
        return WBEM_E_INVALID_SYNTAX;
    struct DepthGuard {
        DepthGuard() { ++t_depth; }
        ~DepthGuard() { --t_depth; }
    } guard;
    try {
        const std::string utf8 = toUtf8(text, length);
        if (utf8.size() > static_cast<size_t>(INT32_MAX))
            return WBEM_E_INVALID_SYNTAX;
        std::unique_ptr<xmlDoc, DocumentFree> doc(xmlReadMemory(
            utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
        if (!doc || doc->intSubset || doc->extSubset)
            return WBEM_E_INVALID_SYNTAX;
        const xmlNode* root = xmlDocGetRootElement(doc.get());
        if (!root)
            return WBEM_E_INVALID_SYNTAX;
        return readRoot(root, t_depth, object);
    } catch (const SyntaxError& error) {
        return error.code;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    } catch (const _com_error& error) {
        return error.Error() == E_OUTOFMEMORY ? WBEM_E_OUT_OF_MEMORY : WBEM_E_INVALID_SYNTAX;
    }
}

} // namespace zp::wbem
