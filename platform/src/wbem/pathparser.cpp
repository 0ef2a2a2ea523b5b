#include "pathparser.h"

#include <wmiutils.h>

#include <stdint.h>
#include <wchar.h>

namespace zp::wbem {

namespace {

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isIdentifierStart(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' || c >= 0x80;
}

bool isIdentifierPart(wchar_t c) {
    return isIdentifierStart(c) || (c >= L'0' && c <= L'9');
}

wchar_t lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
}

// Whether [begin, end) spells `word` (lower case) in any case.
bool spells(const wchar_t* begin, const wchar_t* end, const wchar_t* word) {
    for (; begin != end; ++begin, ++word)
        if (!*word || lower(*begin) != *word)
            return false;
    return !*word;
}

// A namespace component: anything but separators, ":", quotes, the relative path's punctuation
// and blanks, so that a component never reads as part of another form.
bool isNamespaceUnit(wchar_t c) {
    return c > L' ' && c != 0x7F && !isSeparator(c) && c != L':' && c != L'"' && c != L'=' &&
           c != L',' && c != L'@';
}

BSTR allocText(const wchar_t* text, size_t length) {
    return SysAllocStringLen(text, UINT(length));
}

void appendUnsigned(uint64_t value, std::wstring& out) {
    wchar_t digits[24];
    wchar_t* p = digits + 24;
    do {
        *--p = wchar_t(L'0' + value % 10);
        value /= 10;
    } while (value);
    out.append(p, digits + 24);
}

void appendSigned(int64_t value, std::wstring& out) {
    if (value < 0) {
        out.push_back(L'-');
        appendUnsigned(uint64_t(0) - uint64_t(value), out);
    } else {
        appendUnsigned(uint64_t(value), out);
    }
}

void appendQuoted(const wchar_t* text, size_t length, std::wstring& out) {
    out.push_back(L'"');
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == L'"' || text[i] == L'\\')
            out.push_back(L'\\');
        out.push_back(text[i]);
    }
    out.push_back(L'"');
}

// Whether `text` is an optional "-" and decimal digits: how 64-bit integers travel in a BSTR.
bool isIntegerText(const wchar_t* text, size_t length) {
    size_t i = length && text[0] == L'-' ? 1 : 0;
    if (i == length)
        return false;
    for (; i < length; ++i)
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    return true;
}

bool isNumericType(ULONG type) {
    switch (type) {
    case CIM_SINT8:
    case CIM_UINT8:
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_SINT32:
    case CIM_UINT32:
    case CIM_SINT64:
    case CIM_UINT64:
    case CIM_CHAR16:
        return true;
    default:
        return false;
    }
}

// Reads one path text. Positions are pointers into the caller's NUL-terminated text.
class Parser {
public:
    Parser(const wchar_t* text, ULONG mode, ParsedPath& out)
        : m_p(text), m_mode(mode), m_out(out) {}

    bool parse() {
        const bool hadServer = readServer();
        const wchar_t* colon = nullptr;
        bool separator = false;
        scanAhead(colon, separator);
        if (colon) {
            if (!readNamespaces(colon))
                return false;
            m_p = colon + 1;
            if (*m_p && !readRelative())
                return false;
        } else if (hadServer || separator || singleIdentifierAsNamespace()) {
            if (!readNamespaces(m_p + wcslen(m_p)))
                return false;
        } else if (*m_p && !readRelative()) {
            return false;
        }
        return accepted();
    }

private:
    // "\\name" or "//name", with the one separator that may follow it.
    bool readServer() {
        if (!(m_p[0] == L'\\' && m_p[1] == L'\\') && !(m_p[0] == L'/' && m_p[1] == L'/'))
            return false;
        const wchar_t* name = m_p + 2;
        const wchar_t* end = name;
        while (*end && !isSeparator(*end) && *end != L':')
            ++end;
        if (end != name) {
            m_out.hasServer = true;
            m_out.server.assign(name, end);
        }
        m_p = isSeparator(*end) ? end + 1 : end;
        return true;
    }

    // Finds the first ":" outside quotes, and whether a separator comes before it.
    void scanAhead(const wchar_t*& colon, bool& separator) const {
        bool quoted = false;
        for (const wchar_t* p = m_p; *p; ++p) {
            if (quoted) {
                if (*p == L'\\' && p[1])
                    ++p;
                else if (*p == L'"')
                    quoted = false;
            } else if (*p == L'"') {
                quoted = true;
            } else if (*p == L':') {
                colon = p;
                return;
            } else if (isSeparator(*p)) {
                separator = true;
            }
        }
    }

    bool singleIdentifierAsNamespace() const {
        return (m_mode & WBEMPATH_TREAT_SINGLE_IDENT_AS_NS) && *m_p &&
               isIdentifier(m_p, m_p + wcslen(m_p));
    }

    // Components between here and `end`: one separator may lead and one may trail; none is empty.
    bool readNamespaces(const wchar_t* end) {
        const wchar_t* p = m_p;
        if (p != end && isSeparator(*p))
            ++p;
        while (p != end) {
            const wchar_t* start = p;
            while (p != end && isNamespaceUnit(*p))
                ++p;
            if (p == start)
                return false;
            m_out.namespaces.emplace_back(start, p);
            if (p == end)
                break;
            if (!isSeparator(*p))
                return false;
            ++p;
        }
        return true;
    }

    bool readRelative() {
        const wchar_t* start = m_p;
        while (isIdentifierPart(*m_p))
            ++m_p;
        if (!isIdentifier(start, m_p))
            return false;
        m_out.hasClass = true;
        m_out.className.assign(start, m_p);
        if (!*m_p)
            return true;
        if (*m_p == L'=') {
            ++m_p;
            if (m_p[0] == L'@' && !m_p[1]) {
                m_out.singleton = true;
                return true;
            }
            m_out.keys.emplace_back();
            return readValue(m_out.keys.back()) && !*m_p;
        }
        if (*m_p != L'.')
            return false;
        ++m_p;
        for (;;) {
            const wchar_t* name = m_p;
            while (isIdentifierPart(*m_p))
                ++m_p;
            if (!isIdentifier(name, m_p) || *m_p != L'=')
                return false;
            for (const ParsedPathKey& key : m_out.keys)
                if (sameName(key.name, name, m_p))
                    return false; // a key named twice names nothing
            m_out.keys.emplace_back();
            ParsedPathKey& key = m_out.keys.back();
            key.name.assign(name, m_p);
            ++m_p;
            if (!readValue(key))
                return false;
            if (!*m_p)
                return true;
            if (*m_p != L',')
                return false;
            ++m_p;
        }
    }

    bool readValue(ParsedPathKey& key) {
        VARIANT& v = key.value.get();
        if (*m_p == L'"')
            return readQuoted(key);
        const wchar_t* start = m_p;
        while (*m_p && *m_p != L',')
            ++m_p;
        if (spells(start, m_p, L"true") || spells(start, m_p, L"false")) {
            key.cimType = CIM_BOOLEAN;
            V_VT(&v) = VT_BOOL;
            V_BOOL(&v) = lower(*start) == L't' ? VARIANT_TRUE : VARIANT_FALSE;
            return true;
        }
        return readInteger(start, m_p, key);
    }

    bool readQuoted(ParsedPathKey& key) {
        ++m_p;
        std::wstring text;
        const wchar_t* run = m_p;
        for (;; ++m_p) {
            if (!*m_p)
                return false;
            if (*m_p == L'"')
                break;
            if (*m_p == L'\\' && (m_p[1] == L'"' || m_p[1] == L'\\')) {
                text.append(run, m_p);
                run = ++m_p; // the escaped unit starts the next run
            }
        }
        text.append(run, m_p);
        ++m_p;
        key.cimType = CIM_STRING;
        V_BSTR(&key.value.get()) = allocText(text.data(), text.size());
        V_VT(&key.value.get()) = VT_BSTR;
        return true;
    }

    static bool readInteger(const wchar_t* begin, const wchar_t* end, ParsedPathKey& key) {
        const bool negative = begin != end && *begin == L'-';
        const wchar_t* p = negative ? begin + 1 : begin;
        if (p == end)
            return false;
        uint64_t magnitude = 0;
        for (; p != end; ++p) {
            if (*p < L'0' || *p > L'9')
                return false;
            const unsigned digit = unsigned(*p - L'0');
            if (magnitude > (UINT64_MAX - digit) / 10)
                return false;
            magnitude = magnitude * 10 + digit;
        }
        VARIANT& v = key.value.get();
        if (negative ? magnitude <= 0x80000000u : magnitude <= 0x7FFFFFFFu) {
            key.cimType = CIM_SINT32;
            V_VT(&v) = VT_I4;
            V_I4(&v) = negative ? LONG(-int64_t(magnitude)) : LONG(magnitude);
            return true;
        }
        if (negative && magnitude > uint64_t(INT64_MAX) + 1)
            return false;
        key.cimType = negative || magnitude <= uint64_t(INT64_MAX) ? CIM_SINT64 : CIM_UINT64;
        std::wstring text; // without the leading zeros the input may have had
        if (negative)
            text.push_back(L'-');
        appendUnsigned(magnitude, text);
        V_BSTR(&v) = allocText(text.data(), text.size());
        V_VT(&v) = VT_BSTR;
        return true;
    }

    // What the mode lets through: an empty path only with WBEMPATH_CREATE_ACCEPT_ALL; a path
    // without a server not under WBEMPATH_CREATE_ACCEPT_ABSOLUTE alone.
    bool accepted() const {
        const bool empty = !m_out.hasServer && m_out.namespaces.empty() && !m_out.hasClass;
        if (m_mode & WBEMPATH_CREATE_ACCEPT_ALL)
            return true;
        if (empty)
            return false;
        if (m_mode & WBEMPATH_CREATE_ACCEPT_RELATIVE)
            return true;
        return m_out.hasServer;
    }

    const wchar_t* m_p;
    ULONG m_mode;
    ParsedPath& m_out;
};

void appendServerAndNamespaces(const ParsedPath& path, std::wstring& out) {
    if (!path.hasServer && path.namespaces.empty())
        return;
    out += L"\\\\";
    if (path.hasServer)
        out += path.server;
    else
        out.push_back(L'.');
    for (const std::wstring& component : path.namespaces) {
        out.push_back(L'\\');
        out += component;
    }
}

void appendNamespaces(const ParsedPath& path, std::wstring& out) {
    for (size_t i = 0; i < path.namespaces.size(); ++i) {
        if (i)
            out.push_back(L'\\');
        out += path.namespaces[i];
    }
}

void appendRelative(const ParsedPath& path, std::wstring& out) {
    if (!path.hasClass)
        return;
    out += path.className;
    if (path.singleton) {
        out += L"=@";
    } else if (path.keys.size() == 1 && path.keys[0].name.empty()) {
        out.push_back(L'=');
        renderValue(path.keys[0], true, out);
    } else if (!path.keys.empty()) {
        out.push_back(L'.');
        renderKeys(path, true, out);
    }
}

} // namespace

void ParsedPath::clear() {
    hasServer = false;
    server.clear();
    namespaces.clear();
    hasClass = false;
    className.clear();
    keys.clear();
    singleton = false;
}

bool parsePath(const wchar_t* text, ULONG mode, ParsedPath& out) {
    return Parser(text, mode, out).parse();
}

void renderPath(const ParsedPath& path, LONG form, std::wstring& out) {
    switch (form) {
    case WBEMPATH_GET_RELATIVE_ONLY:
        appendRelative(path, out);
        break;
    case WBEMPATH_GET_SERVER_TOO:
        appendServerAndNamespaces(path, out);
        if (path.hasClass) {
            if (!out.empty())
                out.push_back(L':');
            appendRelative(path, out);
        }
        break;
    case WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY:
        appendServerAndNamespaces(path, out);
        break;
    case WBEMPATH_GET_NAMESPACE_ONLY:
        appendNamespaces(path, out);
        break;
    default:
        appendNamespaces(path, out);
        if (path.hasClass) {
            if (!out.empty())
                out.push_back(L':');
            appendRelative(path, out);
        }
        break;
    }
}

void renderKeys(const ParsedPath& path, bool quoted, std::wstring& out) {
    for (size_t i = 0; i < path.keys.size(); ++i) {
        if (i)
            out.push_back(L',');
        if (!path.keys[i].name.empty()) {
            out += path.keys[i].name;
            out.push_back(L'=');
        }
        renderValue(path.keys[i], quoted, out);
    }
}

void renderValue(const ParsedPathKey& key, bool quoted, std::wstring& out) {
    const VARIANT& v = key.value.get();
    switch (V_VT(&v)) {
    case VT_BSTR: {
        const wchar_t* text = V_BSTR(&v) ? V_BSTR(&v) : L"";
        const size_t length = V_BSTR(&v) ? SysStringLen(V_BSTR(&v)) : 0;
        if (!quoted || (isNumericType(key.cimType) && isIntegerText(text, length)))
            out.append(text, length);
        else
            appendQuoted(text, length, out);
        break;
    }
    case VT_BOOL:
        out += V_BOOL(&v) ? L"TRUE" : L"FALSE";
        break;
    case VT_I1:
        appendSigned(V_I1(&v), out);
        break;
    case VT_UI1:
        appendUnsigned(V_UI1(&v), out);
        break;
    case VT_I2:
        if (key.cimType == CIM_UINT16 || key.cimType == CIM_CHAR16)
            appendUnsigned(uint16_t(V_I2(&v)), out);
        else
            appendSigned(V_I2(&v), out);
        break;
    case VT_UI2:
        appendUnsigned(V_UI2(&v), out);
        break;
    case VT_I4:
    case VT_INT:
        // WMI carries uint32 in VT_I4: the bits are the value.
        if (key.cimType == CIM_UINT32)
            appendUnsigned(uint32_t(V_I4(&v)), out);
        else
            appendSigned(V_I4(&v), out);
        break;
    case VT_UI4:
    case VT_UINT:
        appendUnsigned(V_UI4(&v), out);
        break;
    case VT_I8:
        appendSigned(V_I8(&v), out);
        break;
    case VT_UI8:
        appendUnsigned(V_UI8(&v), out);
        break;
    default:
        break;
    }
}

ULONGLONG pathInfo(const ParsedPath& path) {
    ULONGLONG info = 0;
    const bool local = !path.hasServer || path.server == L".";
    info |= local ? WBEMPATH_INFO_ANON_LOCAL_MACHINE : WBEMPATH_INFO_HAS_MACHINE_NAME;
    if (path.hasServer)
        info |= WBEMPATH_INFO_PATH_HAD_SERVER;
    if (path.hasClass) {
        const bool instance = path.singleton || !path.keys.empty();
        info |= instance ? WBEMPATH_INFO_IS_INST_REF : WBEMPATH_INFO_IS_CLASS_REF;
        info |=
            WBEMPATH_INFO_HAS_SUBSCOPES | WBEMPATH_INFO_V2_COMPLIANT | WBEMPATH_INFO_CIM_COMPLIANT;
        if (path.singleton)
            info |= WBEMPATH_INFO_IS_SINGLETON | WBEMPATH_INFO_CONTAINS_SINGLETON;
        if (path.keys.size() > 1)
            info |= WBEMPATH_INFO_IS_COMPOUND;
        if (path.keys.size() == 1 && path.keys[0].name.empty())
            info |= WBEMPATH_INFO_HAS_IMPLIED_KEY;
    } else {
        info |= WBEMPATH_INFO_SERVER_NAMESPACE_ONLY;
        if (path.hasServer || !path.namespaces.empty())
            info |= WBEMPATH_INFO_V1_COMPLIANT | WBEMPATH_INFO_V2_COMPLIANT |
                    WBEMPATH_INFO_CIM_COMPLIANT;
    }
    return info;
}

bool isIdentifier(const wchar_t* begin, const wchar_t* end) {
    if (begin == end || !isIdentifierStart(*begin))
        return false;
    for (++begin; begin != end; ++begin)
        if (!isIdentifierPart(*begin))
            return false;
    return true;
}

bool isKeyType(ULONG type) {
    return isNumericType(type) || type == CIM_STRING || type == CIM_BOOLEAN ||
           type == CIM_DATETIME || type == CIM_REFERENCE;
}

bool isKeyCarrier(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

} // namespace zp::wbem
