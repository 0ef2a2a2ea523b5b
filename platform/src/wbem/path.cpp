// WbemDefPath: the path parser object (IWbemPath) and the key lists it hands out
// (IWbemPathKeyList). A key list works on its path's own keys, so a change made through either
// is seen through both; one lock per path makes both free-threaded.
//
// Every text getter follows the two-call protocol: a null buffer with a length of 0 asks for the
// length (with the NUL); a null buffer with another length is an error; a buffer too short gives
// WBEM_E_BUFFER_TOO_SMALL with the length needed and nothing written. A call that fails changes
// nothing.
#include <windows.h>

#include <wbemcli.h>
#include <wmiutils.h>

#include <stdint.h>
#include <string.h>
#include <wchar.h>

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "../com/classes.h"
#include "../com/unknown.h"
#include "pathparser.h"

namespace zp::wbem {

namespace {

constexpr HRESULT kInvalidParameter = static_cast<HRESULT>(WBEM_E_INVALID_PARAMETER);
constexpr HRESULT kBufferTooSmall = static_cast<HRESULT>(WBEM_E_BUFFER_TOO_SMALL);
constexpr HRESULT kNotAvailable = static_cast<HRESULT>(WBEM_E_NOT_AVAILABLE);
constexpr HRESULT kInvalidObjectPath = static_cast<HRESULT>(WBEM_E_INVALID_OBJECT_PATH);
constexpr HRESULT kNotSupported = static_cast<HRESULT>(WBEM_E_NOT_SUPPORTED);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY);

constexpr ULONG kModes = WBEMPATH_CREATE_ACCEPT_RELATIVE | WBEMPATH_CREATE_ACCEPT_ABSOLUTE |
                         WBEMPATH_CREATE_ACCEPT_ALL | WBEMPATH_TREAT_SINGLE_IDENT_AS_NS;
constexpr ULONGLONG kKeyInfo = WBEMPATH_INFO_IS_COMPOUND | WBEMPATH_INFO_HAS_V2_REF_PATHS |
                               WBEMPATH_INFO_HAS_IMPLIED_KEY | WBEMPATH_INFO_CONTAINS_SINGLETON |
                               WBEMPATH_INFO_IS_SINGLETON;

// A buffer and its length, as the caller passed them: valid unless the length is missing, or the
// buffer is missing while the length says it has room.
bool validBuffer(const ULONG* length, const void* buffer) {
    return length && (buffer || *length == 0);
}

// Copies `text` with its NUL into a buffer that validBuffer accepted.
HRESULT copyText(const wchar_t* text, size_t size, ULONG* length, LPWSTR buffer) {
    const ULONG needed = ULONG(size + 1);
    if (buffer) {
        if (*length < needed) {
            *length = needed;
            return kBufferTooSmall;
        }
        memcpy(buffer, text, size * sizeof(WCHAR));
        buffer[size] = 0;
    }
    *length = needed;
    return S_OK;
}

HRESULT copyText(const std::wstring& text, ULONG* length, LPWSTR buffer) {
    return copyText(text.data(), text.size(), length, buffer);
}

// Whether a server or namespace name is one the path's text can hold.
bool isPlainName(const wchar_t* name, bool allowDot) {
    if (!*name)
        return false;
    for (; *name; ++name)
        if (*name <= L' ' || *name == L'\\' || *name == L'/' || *name == L':' || *name == L'"' ||
            (!allowDot && (*name == L'=' || *name == L',' || *name == L'@')))
            return false;
    return true;
}

// Whether the namespaces, joined, equal `ns` (exact) or begin with it at a component boundary.
bool namespaceMatches(const std::vector<std::wstring>& namespaces, const wchar_t* ns, bool child) {
    size_t i = 0;
    while (*ns == L'\\' || *ns == L'/')
        ++ns;
    for (; i < namespaces.size() && *ns; ++i) {
        const wchar_t* end = ns;
        while (*end && *end != L'\\' && *end != L'/')
            ++end;
        if (!sameName(namespaces[i], ns, end))
            return false;
        ns = *end ? end + 1 : end;
    }
    if (*ns)
        return false;
    return i == namespaces.size() || (child && i > 0);
}

class WbemDefPath;

class WbemPathKeyList final : public com::Unknown<WbemPathKeyList, IWbemPathKeyList> {
public:
    explicit WbemPathKeyList(WbemDefPath* path);
    ~WbemPathKeyList();

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* puKeyCount) override;
    HRESULT STDMETHODCALLTYPE SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                     LPVOID pKeyVal) override;
    HRESULT STDMETHODCALLTYPE SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                      VARIANT* pKeyVal) override;
    HRESULT STDMETHODCALLTYPE GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                     LPWSTR pszKeyName, ULONG* puKeyValBufSize, LPVOID pKeyVal,
                                     ULONG* puApparentCimType) override;
    HRESULT STDMETHODCALLTYPE GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                      LPWSTR pszKeyName, VARIANT* pKeyValue,
                                      ULONG* puApparentCimType) override;
    HRESULT STDMETHODCALLTYPE RemoveKey(LPCWSTR wszName, ULONG uFlags) override;
    HRESULT STDMETHODCALLTYPE RemoveAllKeys(ULONG uFlags) override;
    HRESULT STDMETHODCALLTYPE MakeSingleton(unsigned char bSet) override;
    HRESULT STDMETHODCALLTYPE GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) override;
    HRESULT STDMETHODCALLTYPE GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) override;

private:
    HRESULT storeKey(LPCWSTR name, ULONG cimType, const VARIANT& value);

    WbemDefPath* m_path; // holds a reference
};

class WbemDefPath final : public com::Unknown<WbemDefPath, IWbemPath> {
public:
    HRESULT STDMETHODCALLTYPE SetText(ULONG uMode, LPCWSTR pszPath) override {
        if (!pszPath || !uMode || (uMode & ~kModes) || uMode == WBEMPATH_TREAT_SINGLE_IDENT_AS_NS)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_scratch.clear();
        if (!parsePath(pszPath, uMode, m_scratch))
            return kInvalidParameter;
        std::swap(m_path, m_scratch);
        m_original.assign(pszPath);
        m_hasOriginal = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetText(LONG lFlags, ULONG* puBuffLength, LPWSTR pszText) override {
        const LONG form = lFlags & ~LONG(WBEMPATH_COMPRESSED); // obsolete, and without effect
        if (!validBuffer(puBuffLength, pszText))
            return kInvalidParameter;
        switch (form) {
        case 0:
        case WBEMPATH_GET_RELATIVE_ONLY:
        case WBEMPATH_GET_SERVER_TOO:
        case WBEMPATH_GET_SERVER_AND_NAMESPACE_ONLY:
        case WBEMPATH_GET_NAMESPACE_ONLY:
        case WBEMPATH_GET_ORIGINAL:
            break;
        default:
            return kInvalidParameter;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        if (form == WBEMPATH_GET_ORIGINAL && m_hasOriginal)
            return copyText(m_original, puBuffLength, pszText);
        m_text.clear();
        renderPath(m_path, form == WBEMPATH_GET_ORIGINAL ? 0 : form, m_text);
        return copyText(m_text, puBuffLength, pszText);
    }

    HRESULT STDMETHODCALLTYPE GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) override {
        if (uRequestedInfo || !puResponse)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        *puResponse = pathInfo(m_path);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetServer(LPCWSTR Name) override {
        if (Name && *Name && !isPlainName(Name, true))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.hasServer = Name && *Name;
        m_path.server.assign(m_path.hasServer ? Name : L"");
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetServer(ULONG* puNameBufLength, LPWSTR pName) override {
        if (!validBuffer(puNameBufLength, pName))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_path.hasServer)
            return kNotAvailable;
        return copyText(m_path.server, puNameBufLength, pName);
    }

    HRESULT STDMETHODCALLTYPE GetNamespaceCount(ULONG* puCount) override {
        if (!puCount)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        *puCount = ULONG(m_path.namespaces.size());
        return S_OK;
    }

    // Inserts a component before position uIndex (at the end when uIndex is the count).
    HRESULT STDMETHODCALLTYPE SetNamespaceAt(ULONG uIndex, LPCWSTR pszName) override {
        if (!pszName || !isPlainName(pszName, true) || wcschr(pszName, L'=') ||
            wcschr(pszName, L',') || wcschr(pszName, L'@'))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        if (uIndex > m_path.namespaces.size())
            return kInvalidParameter;
        m_path.namespaces.emplace(m_path.namespaces.begin() + uIndex, pszName);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetNamespaceAt(ULONG uIndex, ULONG* puNameBufLength,
                                             LPWSTR pName) override {
        if (!validBuffer(puNameBufLength, pName))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        if (uIndex >= m_path.namespaces.size())
            return kInvalidParameter;
        return copyText(m_path.namespaces[uIndex], puNameBufLength, pName);
    }

    HRESULT STDMETHODCALLTYPE RemoveNamespaceAt(ULONG uIndex) override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (uIndex >= m_path.namespaces.size())
            return kInvalidParameter;
        m_path.namespaces.erase(m_path.namespaces.begin() + uIndex);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveAllNamespaces() override {
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.namespaces.clear();
        return S_OK;
    }

    // The grammar has no compound paths: the class part, when there is one, is the one scope.
    HRESULT STDMETHODCALLTYPE GetScopeCount(ULONG* puCount) override {
        if (!puCount)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        *puCount = m_path.hasClass ? 1 : 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetScope(ULONG uIndex, LPWSTR pszClass) override {
        if (uIndex != 0)
            return kNotSupported;
        return CreateClassPart(0, pszClass);
    }

    HRESULT STDMETHODCALLTYPE SetScopeFromText(ULONG uIndex, LPWSTR pszText) override {
        if (uIndex != 0)
            return kNotSupported;
        if (!pszText)
            return kInvalidParameter;
        ParsedPath scope;
        if (!parsePath(pszText, WBEMPATH_CREATE_ACCEPT_RELATIVE, scope) || scope.hasServer ||
            !scope.namespaces.empty() || !scope.hasClass)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.hasClass = true;
        m_path.className.swap(scope.className);
        m_path.keys.swap(scope.keys);
        m_path.singleton = scope.singleton;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetScope(ULONG uIndex, ULONG* puClassNameBufSize, LPWSTR pszClass,
                                       IWbemPathKeyList** pKeyList) override {
        if (!validBuffer(puClassNameBufSize, pszClass))
            return kInvalidParameter;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (uIndex != 0 || !m_path.hasClass)
                return kInvalidParameter;
            const HRESULT hr = copyText(m_path.className, puClassNameBufSize, pszClass);
            if (FAILED(hr))
                return hr;
        }
        return pKeyList ? GetKeyList(pKeyList) : S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetScopeAsText(ULONG uIndex, ULONG* puTextBufSize,
                                             LPWSTR pszText) override {
        if (!validBuffer(puTextBufSize, pszText))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        if (uIndex != 0 || !m_path.hasClass)
            return kInvalidParameter;
        m_text.clear();
        renderPath(m_path, WBEMPATH_GET_RELATIVE_ONLY, m_text);
        return copyText(m_text, puTextBufSize, pszText);
    }

    HRESULT STDMETHODCALLTYPE RemoveScope(ULONG uIndex) override {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (uIndex != 0 || !m_path.hasClass)
                return kInvalidParameter;
        }
        return DeleteClassPart(0);
    }

    HRESULT STDMETHODCALLTYPE RemoveAllScopes() override { return DeleteClassPart(0); }

    // An empty name takes the class part away, keys and all.
    HRESULT STDMETHODCALLTYPE SetClassName(LPCWSTR Name) override {
        if (!Name)
            return kInvalidParameter;
        if (!*Name)
            return DeleteClassPart(0);
        if (!isIdentifier(Name, Name + wcslen(Name)))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.hasClass = true;
        m_path.className.assign(Name);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetClassName(ULONG* puBuffLength, LPWSTR pszName) override {
        if (!validBuffer(puBuffLength, pszName))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_path.hasClass)
            return kInvalidObjectPath;
        return copyText(m_path.className, puBuffLength, pszName);
    }

    HRESULT STDMETHODCALLTYPE GetKeyList(IWbemPathKeyList** pOut) override {
        if (!pOut)
            return kInvalidParameter;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_path.hasClass)
                return kInvalidParameter;
        }
        *pOut = new (std::nothrow) WbemPathKeyList(this);
        return *pOut ? S_OK : kOutOfMemory;
    }

    // A new class part: the class named, with no keys yet.
    HRESULT STDMETHODCALLTYPE CreateClassPart(LONG lFlags, LPCWSTR Name) override {
        if (lFlags || !Name || !isIdentifier(Name, Name + wcslen(Name)))
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.hasClass = true;
        m_path.className.assign(Name);
        m_path.keys.clear();
        m_path.singleton = false;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DeleteClassPart(LONG lFlags) override {
        if (lFlags)
            return kInvalidParameter;
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.hasClass = false;
        m_path.className.clear();
        m_path.keys.clear();
        m_path.singleton = false;
        return S_OK;
    }

    // Relative to a machine and namespace: local to that machine, and in that namespace or (a
    // path without namespaces) in whichever namespace it is used.
    BOOL STDMETHODCALLTYPE IsRelative(LPWSTR wszMachine, LPWSTR wszNamespace) override {
        return relativeTo(wszMachine, wszNamespace, false);
    }

    BOOL STDMETHODCALLTYPE IsRelativeOrChild(LPWSTR wszMachine, LPWSTR wszNamespace,
                                             LONG lFlags) override {
        return !lFlags && relativeTo(wszMachine, wszNamespace, true);
    }

    BOOL STDMETHODCALLTYPE IsLocal(LPCWSTR wszMachine) override {
        std::lock_guard<std::mutex> lock(m_lock);
        return isLocal(wszMachine);
    }

    BOOL STDMETHODCALLTYPE IsSameClassName(LPCWSTR wszClass) override {
        if (!wszClass)
            return FALSE;
        std::lock_guard<std::mutex> lock(m_lock);
        return m_path.hasClass && sameName(m_path.className, wszClass);
    }

    // For the key lists, which work on this path's keys under its lock.
    std::mutex& lock() { return m_lock; }
    ParsedPath& path() { return m_path; }

private:
    bool isLocal(LPCWSTR machine) const {
        return !m_path.hasServer || m_path.server == L"." ||
               (machine && sameName(m_path.server, machine));
    }

    BOOL relativeTo(LPCWSTR machine, LPCWSTR ns, bool child) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!isLocal(machine))
            return FALSE;
        if (m_path.namespaces.empty())
            return TRUE;
        return ns && namespaceMatches(m_path.namespaces, ns, child);
    }

    std::mutex m_lock;
    ParsedPath m_path;
    ParsedPath m_scratch; // what SetText parses into, so that a failure changes nothing
    std::wstring m_text;  // GetText's rendering, kept to reuse its storage
    std::wstring m_original;
    bool m_hasOriginal = false;
};

WbemPathKeyList::WbemPathKeyList(WbemDefPath* path) : m_path(path) {
    m_path->AddRef();
}

WbemPathKeyList::~WbemPathKeyList() {
    m_path->Release();
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::GetCount(ULONG* puKeyCount) {
    if (!puKeyCount)
        return kInvalidParameter;
    std::lock_guard<std::mutex> lock(m_path->lock());
    *puKeyCount = ULONG(m_path->path().keys.size());
    return S_OK;
}

// The raw value of SetKey, read as its CIM type says, in the VARIANT that WMI carries it in.
HRESULT STDMETHODCALLTYPE WbemPathKeyList::SetKey(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                                  LPVOID pKeyVal) {
    if (uFlags || !pKeyVal || !isKeyType(uCimType))
        return kInvalidParameter;
    OwnedVariant value;
    VARIANT& v = value.get();
    switch (uCimType) {
    case CIM_SINT8:
        V_VT(&v) = VT_I2;
        V_I2(&v) = *static_cast<const int8_t*>(pKeyVal);
        break;
    case CIM_UINT8:
        V_VT(&v) = VT_UI1;
        V_UI1(&v) = *static_cast<const uint8_t*>(pKeyVal);
        break;
    case CIM_SINT16:
    case CIM_CHAR16:
        V_VT(&v) = VT_I2;
        V_I2(&v) = *static_cast<const int16_t*>(pKeyVal);
        break;
    case CIM_UINT16:
        V_VT(&v) = VT_I4;
        V_I4(&v) = *static_cast<const uint16_t*>(pKeyVal);
        break;
    case CIM_SINT32:
    case CIM_UINT32:
        V_VT(&v) = VT_I4;
        V_I4(&v) = *static_cast<const int32_t*>(pKeyVal);
        break;
    case CIM_SINT64:
    case CIM_UINT64: {
        std::wstring text;
        ParsedPathKey digits;
        V_VT(&digits.value.get()) = uCimType == CIM_SINT64 ? VT_I8 : VT_UI8;
        memcpy(&V_I8(&digits.value.get()), pKeyVal, sizeof(int64_t));
        renderValue(digits, false, text);
        V_BSTR(&v) = SysAllocStringLen(text.data(), UINT(text.size()));
        if (!V_BSTR(&v))
            return kOutOfMemory;
        V_VT(&v) = VT_BSTR;
        break;
    }
    case CIM_BOOLEAN:
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = *static_cast<const VARIANT_BOOL*>(pKeyVal) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    default: // string, datetime, reference: wide text
        V_BSTR(&v) = SysAllocString(static_cast<const OLECHAR*>(pKeyVal));
        if (!V_BSTR(&v))
            return kOutOfMemory;
        V_VT(&v) = VT_BSTR;
        break;
    }
    return storeKey(wszName, uCimType, v);
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::SetKey2(LPCWSTR wszName, ULONG uFlags, ULONG uCimType,
                                                   VARIANT* pKeyVal) {
    if (uFlags || !pKeyVal || !isKeyType(uCimType) || !isKeyCarrier(V_VT(pKeyVal)))
        return kInvalidParameter;
    return storeKey(wszName, uCimType, *pKeyVal);
}

// Replaces the key of that name (in any case) or adds one. The unnamed key of Class="v" is the
// only key of its path, and a path with keys is no singleton.
HRESULT WbemPathKeyList::storeKey(LPCWSTR name, ULONG cimType, const VARIANT& value) {
    if (!name)
        name = L"";
    if (*name && !isIdentifier(name, name + wcslen(name)))
        return kInvalidParameter;
    ParsedPathKey key;
    key.name.assign(name);
    key.cimType = cimType;
    if (FAILED(VariantCopy(&key.value.get(), const_cast<VARIANT*>(&value))))
        return kOutOfMemory;
    std::lock_guard<std::mutex> lock(m_path->lock());
    std::vector<ParsedPathKey>& keys = m_path->path().keys;
    for (ParsedPathKey& existing : keys) {
        if (sameName(existing.name, name)) {
            existing = std::move(key);
            m_path->path().singleton = false;
            return S_OK;
        }
    }
    if (!keys.empty() && (!*name || keys[0].name.empty()))
        return kInvalidParameter;
    keys.push_back(std::move(key));
    m_path->path().singleton = false;
    return S_OK;
}

// A key's value as GetKey gives it: text (WBEMPATH_TEXT, WBEMPATH_QUOTEDTEXT) or the bytes of
// its CIM type.
std::vector<BYTE> keyBytes(const ParsedPathKey& key, ULONG flags) {
    std::vector<BYTE> bytes;
    auto put = [&bytes](const void* data, size_t size) {
        bytes.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    };
    const bool text = flags || key.cimType == CIM_STRING || key.cimType == CIM_DATETIME ||
                      key.cimType == CIM_REFERENCE;
    std::wstring rendered;
    renderValue(key, (flags & WBEMPATH_QUOTEDTEXT) != 0, rendered);
    if (text) {
        std::vector<WCHAR> units(rendered.begin(), rendered.end());
        units.push_back(0);
        put(units.data(), units.size() * sizeof(WCHAR));
        return bytes;
    }
    if (key.cimType == CIM_BOOLEAN) {
        const VARIANT_BOOL b = rendered == L"TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
        put(&b, sizeof b);
        return bytes;
    }
    const bool negative = !rendered.empty() && rendered[0] == L'-';
    const uint64_t value = negative ? uint64_t(wcstoll(rendered.c_str(), nullptr, 10))
                                    : wcstoull(rendered.c_str(), nullptr, 10);
    switch (key.cimType) {
    case CIM_SINT8:
    case CIM_UINT8: {
        const uint8_t v = uint8_t(value);
        put(&v, sizeof v);
        break;
    }
    case CIM_SINT16:
    case CIM_UINT16:
    case CIM_CHAR16: {
        const uint16_t v = uint16_t(value);
        put(&v, sizeof v);
        break;
    }
    case CIM_SINT32:
    case CIM_UINT32: {
        const uint32_t v = uint32_t(value);
        put(&v, sizeof v);
        break;
    }
    default:
        put(&value, sizeof value);
        break;
    }
    return bytes;
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::GetKey(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                                  LPWSTR pszKeyName, ULONG* puKeyValBufSize,
                                                  LPVOID pKeyVal, ULONG* puApparentCimType) {
    if ((uFlags & ~ULONG(WBEMPATH_TEXT | WBEMPATH_QUOTEDTEXT)) || (pszKeyName && !puNameBufSize) ||
        (puNameBufSize && !validBuffer(puNameBufSize, pszKeyName)) ||
        (pKeyVal && !puKeyValBufSize) ||
        (puKeyValBufSize && !validBuffer(puKeyValBufSize, pKeyVal)))
        return kInvalidParameter;
    std::lock_guard<std::mutex> lock(m_path->lock());
    const std::vector<ParsedPathKey>& keys = m_path->path().keys;
    if (uKeyIx >= keys.size())
        return kInvalidParameter;
    const ParsedPathKey& key = keys[uKeyIx];
    std::vector<BYTE> bytes;
    if (puKeyValBufSize)
        bytes = keyBytes(key, uFlags);
    const ULONG nameNeeded = ULONG(key.name.size() + 1);
    const bool nameShort = pszKeyName && *puNameBufSize < nameNeeded;
    const bool valueShort = pKeyVal && *puKeyValBufSize < bytes.size();
    if (nameShort || valueShort) {
        if (puNameBufSize)
            *puNameBufSize = nameNeeded;
        if (puKeyValBufSize)
            *puKeyValBufSize = ULONG(bytes.size());
        return kBufferTooSmall;
    }
    if (puNameBufSize)
        copyText(key.name, puNameBufSize, pszKeyName);
    if (puKeyValBufSize) {
        if (pKeyVal)
            memcpy(pKeyVal, bytes.data(), bytes.size());
        *puKeyValBufSize = ULONG(bytes.size());
    }
    if (puApparentCimType)
        *puApparentCimType = key.cimType;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::GetKey2(ULONG uKeyIx, ULONG uFlags, ULONG* puNameBufSize,
                                                   LPWSTR pszKeyName, VARIANT* pKeyValue,
                                                   ULONG* puApparentCimType) {
    if (uFlags || (pszKeyName && !puNameBufSize) ||
        (puNameBufSize && !validBuffer(puNameBufSize, pszKeyName)))
        return kInvalidParameter;
    std::lock_guard<std::mutex> lock(m_path->lock());
    const std::vector<ParsedPathKey>& keys = m_path->path().keys;
    if (uKeyIx >= keys.size())
        return kInvalidParameter;
    const ParsedPathKey& key = keys[uKeyIx];
    if (pszKeyName && *puNameBufSize < key.name.size() + 1) {
        *puNameBufSize = ULONG(key.name.size() + 1);
        return kBufferTooSmall;
    }
    if (pKeyValue) {
        VariantInit(pKeyValue);
        if (FAILED(VariantCopy(pKeyValue, const_cast<VARIANT*>(&key.value.get()))))
            return kOutOfMemory;
    }
    if (puNameBufSize)
        copyText(key.name, puNameBufSize, pszKeyName);
    if (puApparentCimType)
        *puApparentCimType = key.cimType;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::RemoveKey(LPCWSTR wszName, ULONG uFlags) {
    if (uFlags)
        return kInvalidParameter;
    if (!wszName)
        wszName = L"";
    std::lock_guard<std::mutex> lock(m_path->lock());
    std::vector<ParsedPathKey>& keys = m_path->path().keys;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (sameName(it->name, wszName)) {
            keys.erase(it);
            return S_OK;
        }
    }
    return static_cast<HRESULT>(WBEM_E_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::RemoveAllKeys(ULONG uFlags) {
    if (uFlags)
        return kInvalidParameter;
    std::lock_guard<std::mutex> lock(m_path->lock());
    m_path->path().keys.clear();
    return S_OK;
}

// A singleton (Class=@) has no keys: making one drops them.
HRESULT STDMETHODCALLTYPE WbemPathKeyList::MakeSingleton(unsigned char bSet) {
    std::lock_guard<std::mutex> lock(m_path->lock());
    if (bSet)
        m_path->path().keys.clear();
    m_path->path().singleton = bSet != 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE WbemPathKeyList::GetInfo(ULONG uRequestedInfo, ULONGLONG* puResponse) {
    if (uRequestedInfo || !puResponse)
        return kInvalidParameter;
    std::lock_guard<std::mutex> lock(m_path->lock());
    *puResponse = pathInfo(m_path->path()) & kKeyInfo;
    return S_OK;
}

// "A=1,B=x", or with WBEMPATH_QUOTEDTEXT "A=1,B=\"x\""; a singleton's list is "@".
HRESULT STDMETHODCALLTYPE WbemPathKeyList::GetText(LONG lFlags, ULONG* puBuffLength,
                                                   LPWSTR pszText) {
    if ((lFlags & ~LONG(WBEMPATH_TEXT | WBEMPATH_QUOTEDTEXT)) ||
        !validBuffer(puBuffLength, pszText))
        return kInvalidParameter;
    std::wstring text;
    std::lock_guard<std::mutex> lock(m_path->lock());
    if (m_path->path().singleton)
        text = L"@";
    else
        renderKeys(m_path->path(), (lFlags & WBEMPATH_QUOTEDTEXT) != 0, text);
    return copyText(text, puBuffLength, pszText);
}

HRESULT createWbemDefPath(REFIID riid, void** object) {
    WbemDefPath* path = new (std::nothrow) WbemDefPath;
    if (!path)
        return E_OUTOFMEMORY;
    const HRESULT hr = path->QueryInterface(riid, object);
    path->Release();
    return hr;
}

const zp::com::ClassRegistration registration{CLSID_WbemDefPath, &createWbemDefPath};

} // namespace

} // namespace zp::wbem
