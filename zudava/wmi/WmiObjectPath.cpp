#include "zudava/wmi/WmiObjectPath.h"

#include <wbemcli.h>
#include <wctype.h>

#include <string>

#include "zudava/foundation/Raise.h"
#include "zudava/wmi/_WmiPropertySet.h"

namespace DEZE {

namespace {

// One key list reference, released when the holder goes.
class KeyList {
public:
    explicit KeyList(IWbemPath* path) {
        throwIfFailed(path->GetKeyList(&m_list), L"IWbemPath::GetKeyList() failed");
    }
    KeyList(const KeyList&) = delete;
    KeyList& operator=(const KeyList&) = delete;
    ~KeyList() {
        if (m_list)
            m_list->Release();
    }

    IWbemPathKeyList* operator->() const { return m_list; }

    ULONG count() const {
        ULONG count = 0;
        throwIfFailed(m_list->GetCount(&count), L"IWbemPathKeyList::GetCount() failed");
        return count;
    }

    // The key at `index`: its name's length first, then name, value and CIM type.
    WmiObjectPath::Key key(ULONG index) const {
        ULONG length = 0;
        throwIfFailed(m_list->GetKey(index, 0, &length, nullptr, nullptr, nullptr, nullptr),
                      L"IWbemPathKeyList::GetKey() failed");
        _bstr_t name(SysAllocStringLen(nullptr, length ? length - 1 : 0), false);
        _variant_t value;
        ULONG type = 0;
        throwIfFailed(m_list->GetKey2(index, 0, &length, name.GetBSTR(), &value, &type),
                      L"IWbemPathKeyList::GetKey2() failed");
        return WmiObjectPath::Key(name, value, long(type));
    }

private:
    IWbemPathKeyList* m_list = nullptr;
};

// Reads one text with the two calls: its length (with the NUL), then the text.
template <typename Getter>
_bstr_t readText(Getter getter, const wchar_t* lengthFailure, const wchar_t* textFailure) {
    ULONG length = 0;
    throwIfFailed(getter(&length, nullptr), lengthFailure);
    _bstr_t text(SysAllocStringLen(nullptr, length ? length - 1 : 0), false);
    throwIfFailed(getter(&length, text.GetBSTR()), textFailure);
    return text;
}

// A text's units, never null.
const wchar_t* textOf(const _bstr_t& text) {
    return text.length() ? static_cast<const wchar_t*>(text) : L"";
}

// "\\server\root:Class.Key=..." or "Some_Class.Key=...": text that reads as an object path.
bool looksLikeReference(const std::wstring& t) {
    if (t.size() < 8)
        return false;
    if (t[0] == L'\\' && t[1] == L'\\') {
        const size_t separator = t.find(L'\\', 3);
        return separator != std::wstring::npos && t.find(L':', separator + 2) != std::wstring::npos;
    }
    if (!iswalpha(t[0]))
        return false;
    const size_t underscore = t.find(L'_', 1);
    if (underscore == std::wstring::npos)
        return false;
    const size_t dot = t.find(L'.', underscore + 2);
    return dot != std::wstring::npos && t.find(L'=', dot + 2) != std::wstring::npos;
}

// "yyyymmddHHMMSS.mmmmmmsUUU" and the interval form "ddddddddHHMMSS.mmmmmm:000".
bool looksLikeDateTime(const std::wstring& t) {
    return t.size() == 25 && t[14] == L'.' && (t[21] == L':' || t[21] == L'+' || t[21] == L'-');
}

} // namespace

WmiObjectPath::Key::Key(const _bstr_t& name, const _variant_t& value, long type)
    : m_name(name), m_type(type) {
    setValue(value);
}

WmiObjectPath::Key::Key(const Key& other) : m_name(other.m_name), m_type(other.m_type) {
    setValue(other.m_value);
}

WmiObjectPath::Key& WmiObjectPath::Key::operator=(const Key& other) {
    if (this != &other) {
        setValue(other.m_value);
        m_name = other.m_name;
        m_type = other.m_type;
    }
    return *this;
}

WmiObjectPath::Key::~Key() = default;

void WmiObjectPath::Key::setValue(const _variant_t& value) {
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = VariantCopy(&copy, const_cast<_variant_t*>(&value));
    if (FAILED(hr))
        _com_issue_error(hr);
    m_value.Clear();
    m_value.Attach(copy);
}

WmiObjectPath::WmiObjectPath() : m_path(nullptr) {
    create();
}

WmiObjectPath::WmiObjectPath(const _bstr_t& text) : m_path(nullptr) {
    create();
    // The path owns m_path from here; a failure below must release it.
    try {
        throwIfFailed(m_path->SetText(WBEMPATH_CREATE_ACCEPT_RELATIVE, text),
                      L"IWbemPath::SetText() failed");
        // The parser types every quoted value as a string; references and datetimes are quoted
        // too, and their text tells them apart.
        const unsigned long count = getKeyCount();
        for (unsigned long i = 0; i < count; ++i) {
            Key key = getKey(i);
            const _variant_t value = key.getValue();
            if (V_VT(&value) != VT_BSTR || key.getType() != CIM_STRING)
                continue;
            const std::wstring t = V_BSTR(&value) ? V_BSTR(&value) : L"";
            if (looksLikeReference(t))
                key.setType(CIM_REFERENCE);
            else if (looksLikeDateTime(t))
                key.setType(CIM_DATETIME);
            setKey(key);
        }
    } catch (...) {
        m_path->Release();
        throw;
    }
}

WmiObjectPath::WmiObjectPath(IWbemClassObjectPtr& object) : m_path(nullptr) {
    create();
    try {
        if (!object)
            throwLibraryError(L"Invalid argument");
        _variant_t path;
        throwIfFailed(object->Get(L"__PATH", 0, &path, nullptr, nullptr),
                      L"IWbemClassObject::Get() failed");
        if (V_VT(&path) != VT_NULL) {
            *this = WmiObjectPath(V_VT(&path) == VT_BSTR ? _bstr_t(V_BSTR(&path)) : _bstr_t());
            return;
        }
        // Not stored yet: the class and the keys are all the object can tell.
        _variant_t className;
        throwIfFailed(object->Get(L"__CLASS", 0, &className, nullptr, nullptr),
                      L"IWbemClassObject::Get() failed");
        setClassName(V_VT(&className) == VT_BSTR ? _bstr_t(V_BSTR(&className)) : _bstr_t());
        const _WmiPropertySet keys(object, WBEM_FLAG_KEYS_ONLY);
        const unsigned long count = keys.getCount();
        for (unsigned long i = 0; i < count; ++i) {
            const WmiProperty key = keys.get(i);
            setKey(Key(key.getName(), key.getValue(), key.getType()));
        }
    } catch (...) {
        m_path->Release();
        throw;
    }
}

WmiObjectPath::WmiObjectPath(const WmiObjectPath& other) : m_path(other.m_path) {
    m_path->AddRef();
}

WmiObjectPath& WmiObjectPath::operator=(const WmiObjectPath& other) {
    other.m_path->AddRef(); // first, so that assigning a path to itself keeps it
    m_path->Release();
    m_path = other.m_path;
    return *this;
}

WmiObjectPath::~WmiObjectPath() {
    m_path->Release();
}

void WmiObjectPath::create() {
    const HRESULT hr = CoCreateInstance(CLSID_WbemDefPath, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWbemPath, reinterpret_cast<void**>(&m_path));
    if (hr == E_NOINTERFACE || (SUCCEEDED(hr) && !m_path))
        throwLibraryError(L"Failed to create IWbemPath");
    if (FAILED(hr))
        _com_issue_error(hr);
}

_bstr_t WmiObjectPath::getHostName() const {
    return readText([this](ULONG* length, BSTR text) { return m_path->GetServer(length, text); },
                    L"IWbemPath::GetServer() failed", L"IWbemPath::GetServer() failed");
}

void WmiObjectPath::setHostName(const _bstr_t& name) {
    throwIfFailed(m_path->SetServer(name.length() ? static_cast<const wchar_t*>(name) : nullptr),
                  L"IWbemPath::SetServer() failed");
}

_bstr_t WmiObjectPath::getNameSpace() const {
    ULONG count = 0;
    throwIfFailed(m_path->GetNamespaceCount(&count), L"IWbemPath::GetNamespaceCount() failed");
    std::wstring joined;
    for (ULONG i = 0; i < count; ++i) {
        const _bstr_t component = readText(
            [this, i](ULONG* length, BSTR text) { return m_path->GetNamespaceAt(i, length, text); },
            L"IWbemPath::GetNamespaceAt() failed", L"IWbemPath::GetNameSpaceAt() failed");
        if (i)
            joined += L'\\';
        joined.append(static_cast<const wchar_t*>(component), component.length());
    }
    return count ? _bstr_t(joined.c_str()) : _bstr_t();
}

void WmiObjectPath::setNameSpace(const _bstr_t& nameSpace) {
    throwIfFailed(m_path->RemoveAllNamespaces(), L"IWbemPath::RemoveAllNamespaces() failed");
    const std::wstring text(static_cast<const wchar_t*>(nameSpace), nameSpace.length());
    ULONG position = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\\', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring component = text.substr(start, end - start);
        throwIfFailed(m_path->SetNamespaceAt(position++, component.c_str()),
                      L"IWbemPath::SetNamespaceAt() failed");
        start = end + 1; // past the text's end when a single "\" ends it: no component follows
    }
}

_bstr_t WmiObjectPath::getClassName() const {
    return readText([this](ULONG* length, BSTR text) { return m_path->GetClassName(length, text); },
                    L"IWbemPath::GetClassName() failed", L"IWbemPath::GetClassName() failed");
}

void WmiObjectPath::setClassName(const _bstr_t& name) {
    throwIfFailed(m_path->SetClassName(name), L"IWbemPath::SetClassName() failed");
}

unsigned long WmiObjectPath::getKeyCount() const {
    return KeyList(m_path).count();
}

WmiObjectPath::Key WmiObjectPath::getKey(unsigned long index) const {
    const KeyList list(m_path);
    if (index >= list.count())
        throw WmiException(S_OK, L"Index out of bounds"); // the count call's status
    return list.key(ULONG(index));
}

WmiObjectPath::Key WmiObjectPath::getKey(const _bstr_t& name) const {
    const KeyList list(m_path);
    const ULONG count = list.count();
    for (ULONG i = 0; i < count; ++i) {
        Key key = list.key(i);
        if (_wcsicmp(textOf(key.getName()), textOf(name)) == 0)
            return key;
    }
    throw WmiException(S_OK, L"Index out of bounds"); // the last key-list call's status
}

void WmiObjectPath::setKey(const Key& key) {
    const KeyList list(m_path);
    _variant_t value = key.getValue();
    throwIfFailed(list->SetKey2(key.getName(), 0, ULONG(key.getType()), &value),
                  L"IWbemPathKeyList::SetKey2() failed");
}

_bstr_t WmiObjectPath::toString() const {
    return readText(
        [this](ULONG* length, BSTR text) {
            return m_path->GetText(WBEMPATH_GET_SERVER_TOO, length, text);
        },
        L"IWbemPath::GetText() failed", L"IWbemPath::GetText() failed");
}

} // namespace DEZE
