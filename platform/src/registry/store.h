// The registry's durable store: one SQLite database, registry.sqlite in the machine state folder,
// shared by every process of the machine. Every writing call is one transaction, so a process
// killed mid-write leaves the registry as it was before that call or after it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;

namespace zp::registry {

using KeyId = int64_t;
constexpr KeyId kClassesRoot = 1;
constexpr KeyId kLocalMachine = 2;

// A key or value name as the registry holds it: UTF-16 units.
using Name = std::u16string;

struct Value {
    Name name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data; // the bytes Windows would hold: text as UTF-16LE
};

// One call's view of the database, valid inside Store::read or Store::write. Every function
// returns a Windows error code.
class Session {
public:
    explicit Session(sqlite3* db) : m_db(db) {}

    LONG keyExists(KeyId key, bool& exists);
    LONG findSubkey(KeyId parent, const Name& name, KeyId& child); // ERROR_FILE_NOT_FOUND if none
    LONG createSubkey(KeyId parent, const Name& name, KeyId& child);
    LONG hasSubkeys(KeyId key, bool& any);
    LONG deleteKey(KeyId key); // the key and its values; its subkeys must be gone
    LONG deleteTree(KeyId key, bool keepKey);
    LONG subkeyAt(KeyId key, DWORD index, Name& name); // ERROR_NO_MORE_ITEMS past the end

    LONG findValue(KeyId key, const Name& name, Value& value); // ERROR_FILE_NOT_FOUND if none
    LONG setValue(KeyId key, const Value& value);
    LONG deleteValue(KeyId key, const Name& name);
    LONG valueAt(KeyId key, DWORD index, Value& value);

private:
    sqlite3* m_db;
};

// The process's connection, opened on first use and again when the machine state folder changes.
// Calls from the process's threads take turns; other processes are waited for (busy timeout).
class Store {
public:
    static LONG read(const std::function<LONG(Session&)>& work);
    // `work` runs inside one immediate transaction, committed only when it returns ERROR_SUCCESS.
    static LONG write(const std::function<LONG(Session&)>& work);
};

} // namespace zp::registry
