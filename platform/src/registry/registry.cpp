// The registry functions: key handles, paths, access rights and the conversion of data between
// the callers' buffers and the bytes Windows keeps (text as UTF-16LE whichever form wrote it).
//
// Choices where Windows leaves room: only HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE exist (other
// predefined keys give ERROR_INVALID_HANDLE); key classes and last-write times are not kept; a
// path that starts with a backslash or has an empty part between two backslashes is refused with
// ERROR_BAD_PATHNAME, while one trailing backslash is ignored.
#include "store.h"

#include <mutex>
#include <unordered_map>

namespace {

using namespace zp::registry;

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// What an open key handle stands for.
struct OpenKey {
    KeyId id;
    REGSAM access;
};

class HandleTable {
public:
    HKEY insert(OpenKey key) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_next += 4;
        m_keys.emplace(m_next, key);
        return reinterpret_cast<HKEY>(m_next);
    }
    bool find(HKEY handle, OpenKey& key) {
        if (handle == HKEY_CLASSES_ROOT || handle == HKEY_LOCAL_MACHINE) {
            key = {handle == HKEY_CLASSES_ROOT ? kClassesRoot : kLocalMachine, KEY_ALL_ACCESS};
            return true;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_keys.find(reinterpret_cast<uintptr_t>(handle));
        if (found == m_keys.end())
            return false;
        key = found->second;
        return true;
    }
    bool erase(HKEY handle) {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_keys.erase(reinterpret_cast<uintptr_t>(handle)) == 1;
    }

private:
    std::mutex m_lock;
    uintptr_t m_next = 0x1000;
    std::unordered_map<uintptr_t, OpenKey> m_keys;
};

HandleTable& handles() {
    static HandleTable* const table = new HandleTable; // handles may be closed at exit
    return *table;
}

// A wchar_t above U+FFFF (a wide literal on this host) stands for the surrogate pair Windows
// would have held.
void appendUnit(Name& name, uint32_t unit) {
    if (unit > 0xFFFF && unit <= 0x10FFFF) {
        name += char16_t(0xD800 + ((unit - 0x10000) >> 10));
        name += char16_t(0xDC00 + ((unit - 0x10000) & 0x3FF));
    } else {
        name += char16_t(unit);
    }
}

Name nameOf(const wchar_t* text) {
    Name name;
    if (text)
        for (; *text; ++text)
            appendUnit(name, uint32_t(*text));
    return name;
}

// An A caller's key or value name in the W form, a null pointer staying null; text the code page
// cannot convert becomes empty, as an empty name.
class Widened {
public:
    explicit Widened(const char* text) : m_null(!text) {
        if (!text || !*text)
            return;
        const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (units <= 0)
            return;
        m_text.assign(size_t(units), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, &m_text[0], units);
        m_text.resize(size_t(units) - 1);
    }
    const wchar_t* get() const { return m_null ? nullptr : m_text.c_str(); }

private:
    bool m_null;
    std::wstring m_text;
};

LONG splitPath(const Name& path, std::vector<Name>& parts) {
    parts.clear();
    if (path.empty())
        return ERROR_SUCCESS;
    if (path[0] == u'\\')
        return ERROR_BAD_PATHNAME;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == Name::npos)
            end = path.size();
        if (end == start)
            return ERROR_BAD_PATHNAME;
        if (end - start > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

REGSAM effectiveAccess(REGSAM access) {
    return (access & MAXIMUM_ALLOWED) ? KEY_ALL_ACCESS : access;
}

// The key of a handle, checked to still exist (another handle may have deleted it).
LONG liveKey(Session& session, const OpenKey& key) {
    bool exists = false;
    const LONG error = session.keyExists(key.id, exists);
    if (error != ERROR_SUCCESS)
        return error;
    return exists ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// The key behind a handle, when the handle was opened with the `needed` right (0: any).
LONG findKey(HKEY handle, REGSAM needed, OpenKey& key) {
    if (!handles().find(handle, key))
        return ERROR_INVALID_HANDLE;
    if (needed && !(key.access & needed))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Runs `action(session)` in one transaction of the store, once the handle's key is found to
// still exist.
template <typename Action>
LONG onLiveKey(bool write, const OpenKey& key, Action action) {
    const auto run = [&](Session& session) {
        const LONG live = liveKey(session, key);
        return live != ERROR_SUCCESS ? live : LONG(action(session));
    };
    return write ? Store::write(run) : Store::read(run);
}

LONG walk(Session& session, KeyId from, const std::vector<Name>& parts, KeyId& found) {
    found = from;
    for (const Name& part : parts) {
        const LONG error = session.findSubkey(found, part, found);
        if (error != ERROR_SUCCESS)
            return error;
    }
    return ERROR_SUCCESS;
}

LONG openKey(HKEY parent, const Name& path, REGSAM access, PHKEY result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    std::vector<Name> parts;
    LONG error = findKey(parent, 0, base);
    if (error == ERROR_SUCCESS)
        error = splitPath(path, parts);
    if (error != ERROR_SUCCESS)
        return error;
    KeyId found = 0;
    error = onLiveKey(false, base,
                      [&](Session& session) { return walk(session, base.id, parts, found); });
    if (error != ERROR_SUCCESS)
        return error;
    *result = handles().insert({found, effectiveAccess(access)});
    return ERROR_SUCCESS;
}

LONG createKey(HKEY parent, const Name& path, REGSAM access, PHKEY result, LPDWORD disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    std::vector<Name> parts;
    LONG error = findKey(parent, 0, base);
    if (error == ERROR_SUCCESS)
        error = splitPath(path, parts);
    if (error != ERROR_SUCCESS)
        return error;
    KeyId found = base.id;
    bool created = false;
    error = onLiveKey(true, base, [&](Session& session) {
        LONG step = ERROR_SUCCESS;
        for (size_t i = 0; step == ERROR_SUCCESS && i < parts.size(); ++i) {
            step = session.findSubkey(found, parts[i], found);
            if (step == ERROR_FILE_NOT_FOUND) {
                // Making a subkey needs the right to; opening an existing one does not.
                if (i == 0 && !(base.access & KEY_CREATE_SUB_KEY))
                    return LONG(ERROR_ACCESS_DENIED);
                step = session.createSubkey(found, parts[i], found);
                created = true;
            }
        }
        return step;
    });
    if (error != ERROR_SUCCESS)
        return error;
    *result = handles().insert({found, effectiveAccess(access)});
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

bool isText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Appends UTF-16LE units for at most `size` bytes of wide text; a character above U+FFFF takes
// the four bytes of its surrogate pair, as Windows counts it. Returns the wchar_t units used.
size_t appendUtf16(std::vector<uint8_t>& bytes, const wchar_t* units, size_t size) {
    Name name;
    size_t consumed = 0;
    for (size_t used = 0; used + 2 <= size; ++units, ++consumed) {
        const uint32_t unit = uint32_t(*units);
        const bool pair = unit > 0xFFFF && unit <= 0x10FFFF && used + 4 <= size;
        appendUnit(name, pair ? unit : (unit & 0xFFFF));
        used += pair ? 4 : 2;
    }
    for (char16_t unit : name) {
        bytes.push_back(uint8_t(unit & 0xFF));
        bytes.push_back(uint8_t(unit >> 8));
    }
    return consumed;
}

// The bytes to keep for data a W caller hands over: `size` counts UTF-16 bytes for text.
std::vector<uint8_t> storedFromWide(DWORD type, const BYTE* data, DWORD size) {
    std::vector<uint8_t> bytes;
    if (!data || size == 0)
        return bytes;
    if (!isText(type))
        return std::vector<uint8_t>(data, data + size);
    const auto* units = reinterpret_cast<const wchar_t*>(data);
    const size_t used = appendUtf16(bytes, units, size);
    if (size % 2 && bytes.size() < size)
        bytes.push_back(uint8_t(units[used] & 0xFF));
    // Text counted without its NUL keeps the NUL that follows it, as Windows NT does.
    else if (size % 2 == 0 && used > 0 && units[used - 1] != 0 && units[used] == 0)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// The same for an A caller: text is ANSI and becomes UTF-16, as Windows converts it.
std::vector<uint8_t> storedFromAnsi(DWORD type, const BYTE* data, DWORD size) {
    if (!data || size == 0 || !isText(type))
        return storedFromWide(type, data, size);
    const auto* text = reinterpret_cast<const char*>(data);
    if (text[size - 1] != 0 && text[size] == 0)
        ++size; // the forgotten NUL, as above
    const int units = MultiByteToWideChar(CP_ACP, 0, text, int(size), nullptr, 0);
    std::wstring wide(size_t(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, text, int(size), &wide[0], units);
    std::vector<uint8_t> bytes;
    appendUtf16(bytes, wide.data(), 2 * wide.size());
    return bytes;
}

std::wstring unitsOf(const std::vector<uint8_t>& bytes) {
    std::wstring units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += wchar_t(bytes[i] | (bytes[i + 1] << 8));
    return units;
}

// Hands stored data to a caller's buffer: the size query (no buffer), the copy, or
// ERROR_MORE_DATA with the size needed. `size` is in the caller's units: UTF-16 bytes for W text.
LONG deliver(const Value& value, bool ansi, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    if (type)
        *type = value.type;
    if (!size)
        return ERROR_SUCCESS;
    if (isText(value.type) && ansi) {
        const std::wstring units = unitsOf(value.data);
        const int needed = units.empty()
                               ? 0
                               : WideCharToMultiByte(CP_ACP, 0, units.data(), int(units.size()),
                                                     nullptr, 0, nullptr, nullptr);
        const DWORD capacity = *size;
        *size = DWORD(needed);
        if (!data)
            return ERROR_SUCCESS;
        if (DWORD(needed) > capacity)
            return ERROR_MORE_DATA;
        if (needed > 0)
            WideCharToMultiByte(CP_ACP, 0, units.data(), int(units.size()),
                                reinterpret_cast<char*>(data), needed, nullptr, nullptr);
        return ERROR_SUCCESS;
    }
    const DWORD needed = DWORD(value.data.size());
    const DWORD capacity = *size;
    *size = needed;
    if (!data)
        return ERROR_SUCCESS;
    if (needed > capacity)
        return ERROR_MORE_DATA;
    if (isText(value.type)) {
        auto* units = reinterpret_cast<wchar_t*>(data);
        for (size_t i = 0; i + 1 < value.data.size(); i += 2)
            units[i / 2] = wchar_t(value.data[i] | (value.data[i + 1] << 8));
        if (value.data.size() % 2)
            units[value.data.size() / 2] = wchar_t(value.data.back());
    } else if (needed) {
        std::copy(value.data.begin(), value.data.end(), data);
    }
    return ERROR_SUCCESS;
}

LONG setValue(HKEY handle, const Name& name, DWORD type, std::vector<uint8_t> bytes) {
    OpenKey key;
    LONG error = findKey(handle, KEY_SET_VALUE, key);
    if (error != ERROR_SUCCESS)
        return error;
    if (name.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    Value value{name, type, std::move(bytes)};
    return onLiveKey(true, key, [&](Session& session) { return session.setValue(key.id, value); });
}

LONG queryValue(HKEY handle, const Name& name, bool ansi, LPDWORD type, LPBYTE data, LPDWORD size) {
    OpenKey key;
    LONG error = findKey(handle, KEY_QUERY_VALUE, key);
    Value value;
    if (error == ERROR_SUCCESS)
        error = onLiveKey(false, key,
                          [&](Session& session) { return session.findValue(key.id, name, value); });
    return error != ERROR_SUCCESS ? error : deliver(value, ansi, type, data, size);
}

LONG deleteKey(HKEY handle, const wchar_t* subKey, bool tree) {
    OpenKey key;
    LONG error = findKey(handle, 0, key);
    if (error != ERROR_SUCCESS)
        return error;
    if (!subKey && !tree)
        return ERROR_INVALID_PARAMETER;
    std::vector<Name> parts;
    error = splitPath(nameOf(subKey), parts);
    if (error != ERROR_SUCCESS)
        return error;
    return onLiveKey(true, key, [&](Session& session) {
        KeyId target = key.id;
        LONG step = walk(session, key.id, parts, target);
        if (step != ERROR_SUCCESS)
            return step;
        if (tree) {
            // Emptying the handle's own key removes values: that needs the right to set them.
            if (parts.empty() && !(key.access & KEY_SET_VALUE))
                return LONG(ERROR_ACCESS_DENIED);
            return session.deleteTree(target, parts.empty() || target <= kLocalMachine);
        }
        if (target <= kLocalMachine)
            return LONG(ERROR_ACCESS_DENIED); // the roots stay
        bool hasChildren = false;
        step = session.hasSubkeys(target, hasChildren);
        if (step != ERROR_SUCCESS)
            return step;
        return hasChildren ? LONG(ERROR_ACCESS_DENIED) : session.deleteKey(target);
    });
}

// Copies a name with its NUL into a buffer of `*length` characters; the length becomes the
// name's, without the NUL. ERROR_MORE_DATA (length unchanged) when it does not fit.
LONG deliverName(const Name& name, LPWSTR buffer, LPDWORD length) {
    if (!buffer || !length)
        return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *length)
        return ERROR_MORE_DATA;
    for (size_t i = 0; i < name.size(); ++i)
        buffer[i] = wchar_t(name[i]);
    buffer[name.size()] = 0;
    *length = DWORD(name.size());
    return ERROR_SUCCESS;
}

} // namespace

// The A forms take their names through the W forms; only value data has conversions of its own,
// since the A forms count text in bytes of the ANSI code page.

ZP_EXTERN_C LSTATUS WINAPI RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    return RegCreateKeyW(key, Widened(subKey).get(), result);
}

ZP_EXTERN_C LSTATUS WINAPI RegCreateKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    return createKey(key, nameOf(subKey), KEY_ALL_ACCESS, result, nullptr);
}

ZP_EXTERN_C LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD,
                                           REGSAM access, const LPSECURITY_ATTRIBUTES security,
                                           PHKEY result, LPDWORD disposition) {
    return RegCreateKeyExW(key, Widened(subKey).get(), 0, nullptr, 0, access, security, result,
                           disposition);
}

ZP_EXTERN_C LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD,
                                           REGSAM access, const LPSECURITY_ATTRIBUTES, PHKEY result,
                                           LPDWORD disposition) {
    if (!subKey)
        return ERROR_BAD_PATHNAME;
    return createKey(key, nameOf(subKey), access, result, disposition);
}

ZP_EXTERN_C LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access,
                                         PHKEY result) {
    return RegOpenKeyExW(key, Widened(subKey).get(), 0, access, result);
}

ZP_EXTERN_C LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access,
                                         PHKEY result) {
    return openKey(key, nameOf(subKey), access, result);
}

ZP_EXTERN_C LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (key == HKEY_CLASSES_ROOT || key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    return handles().erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

ZP_EXTERN_C LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type,
                                          const BYTE* data, DWORD size) {
    return setValue(key, nameOf(Widened(valueName).get()), type, storedFromAnsi(type, data, size));
}

ZP_EXTERN_C LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type,
                                          const BYTE* data, DWORD size) {
    return setValue(key, nameOf(valueName), type, storedFromWide(type, data, size));
}

ZP_EXTERN_C LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type,
                                            LPBYTE data, LPDWORD size) {
    return queryValue(key, nameOf(Widened(valueName).get()), true, type, data, size);
}

ZP_EXTERN_C LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type,
                                            LPBYTE data, LPDWORD size) {
    return queryValue(key, nameOf(valueName), false, type, data, size);
}

ZP_EXTERN_C LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    return RegDeleteValueW(key, Widened(valueName).get());
}

ZP_EXTERN_C LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    OpenKey open;
    const LONG error = findKey(key, KEY_SET_VALUE, open);
    if (error != ERROR_SUCCESS)
        return error;
    const Name name = nameOf(valueName);
    return onLiveKey(true, open,
                     [&](Session& session) { return session.deleteValue(open.id, name); });
}

ZP_EXTERN_C LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    return RegDeleteKeyW(key, Widened(subKey).get());
}

ZP_EXTERN_C LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    return deleteKey(key, subKey, false);
}

ZP_EXTERN_C LSTATUS WINAPI RegDeleteTreeW(HKEY key, LPCWSTR subKey) {
    return deleteKey(key, subKey, true);
}

ZP_EXTERN_C LSTATUS WINAPI RegEnumKeyExW(HKEY handle, DWORD index, LPWSTR name, LPDWORD nameLength,
                                         LPDWORD, LPWSTR keyClass, LPDWORD classLength,
                                         PFILETIME lastWriteTime) {
    OpenKey key;
    LONG error = findKey(handle, KEY_ENUMERATE_SUB_KEYS, key);
    Name found;
    if (error == ERROR_SUCCESS)
        error = onLiveKey(false, key,
                          [&](Session& session) { return session.subkeyAt(key.id, index, found); });
    if (error != ERROR_SUCCESS)
        return error;
    const LONG delivered = deliverName(found, name, nameLength);
    if (delivered != ERROR_SUCCESS)
        return delivered;
    if (keyClass && classLength && *classLength > 0)
        keyClass[0] = 0;
    if (classLength)
        *classLength = 0;
    if (lastWriteTime)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

ZP_EXTERN_C LSTATUS WINAPI RegEnumValueW(HKEY handle, DWORD index, LPWSTR valueName,
                                         LPDWORD valueNameLength, LPDWORD, LPDWORD type,
                                         LPBYTE data, LPDWORD size) {
    OpenKey key;
    LONG error = findKey(handle, KEY_QUERY_VALUE, key);
    Value value;
    if (error == ERROR_SUCCESS)
        error = onLiveKey(false, key,
                          [&](Session& session) { return session.valueAt(key.id, index, value); });
    if (error != ERROR_SUCCESS)
        return error;
    const LONG named = deliverName(value.name, valueName, valueNameLength);
    if (named != ERROR_SUCCESS)
        return named;
    return deliver(value, false, type, data, size);
}
