// Every SQL statement of the registry. Keys form a tree of rows under the two roots; names are
// kept as given and compared through their upper-case form (the "folded" columns), as Windows
// compares key and value names without regard to case.
#include "store.h"

#include "../kernel/machinestate.h"

#include <sqlite3.h>

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <mutex>

namespace zp::registry {
namespace {

// Names travel to SQLite as UTF-8; a lone surrogate gets the three-byte form its value would
// have, so every UTF-16 name survives the round trip.
std::string toUtf8(const Name& name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        uint32_t c = name[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Name fromUtf8(const unsigned char* text, int length) {
    Name out;
    for (int i = 0; i < length;) {
        const unsigned char b = text[i];
        uint32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if (b < 0xE0) {
            c = b & 0x1F;
            extra = 1;
        } else if (b < 0xF0) {
            c = b & 0x0F;
            extra = 2;
        } else {
            c = b & 0x07;
            extra = 3;
        }
        ++i;
        for (int k = 0; k < extra && i < length; ++k, ++i)
            c = (c << 6) | (text[i] & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

// Windows upper-cases names with its own table; the C library's Unicode case mapping is the
// nearest the host offers.
std::string folded(const Name& name) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    Name upper(name);
    for (char16_t& unit : upper) {
        if (unit < 0x80)
            unit = (unit >= u'a' && unit <= u'z') ? char16_t(unit - 0x20) : unit;
        else if (utf8 && (unit < 0xD800 || unit >= 0xE000))
            unit = char16_t(towupper_l(wint_t(unit), utf8));
    }
    return toUtf8(upper);
}

LONG fromSqlite(int rc) {
    switch (rc) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_BUSY;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_FULL:
        return ERROR_DISK_FULL;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_BADDB;
    case SQLITE_READONLY:
    case SQLITE_IOERR:
        return ERROR_CANTWRITE;
    default:
        return ERROR_CANTREAD;
    }
}

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
        : m_rc(sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr)) {}
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, int64_t value) {
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    Statement& bind(int index, const std::string& text) {
        if (m_rc == SQLITE_OK)
            m_rc =
                sqlite3_bind_text(m_stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int index, const std::vector<uint8_t>& bytes) {
        // An empty value is an empty blob, never NULL.
        static const uint8_t none = 0;
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_blob(m_stmt, index, bytes.empty() ? &none : bytes.data(),
                                     int(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() {
        if (m_rc != SQLITE_OK)
            return m_rc;
        return sqlite3_step(m_stmt);
    }
    LONG run() {
        const int rc = step();
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : fromSqlite(rc);
    }
    int64_t integer(int column) { return sqlite3_column_int64(m_stmt, column); }
    Name name(int column) {
        return fromUtf8(sqlite3_column_text(m_stmt, column), sqlite3_column_bytes(m_stmt, column));
    }
    std::vector<uint8_t> blob(int column) {
        const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(m_stmt, column));
        return std::vector<uint8_t>(bytes, bytes + sqlite3_column_bytes(m_stmt, column));
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_key(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS reg_value(
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, folded));
INSERT OR IGNORE INTO reg_key(id, parent, name, folded) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),
    (2, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
)sql";

// The process's one connection.
struct Connection {
    std::mutex lock;
    sqlite3* db = nullptr;
    std::string path;

    ~Connection() { sqlite3_close_v2(db); }

    LONG open() {
        const std::string folder = kernel::machineStateFolder();
        const std::string wanted = folder + "/registry.sqlite";
        if (db && wanted == path)
            return ERROR_SUCCESS;
        sqlite3_close_v2(db);
        db = nullptr;
        path.clear();
        if (!kernel::makeFolders(folder))
            return ERROR_PATH_NOT_FOUND;
        sqlite3* opened = nullptr;
        int rc = sqlite3_open_v2(wanted.c_str(), &opened,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(opened, 30000);
            // WAL lets readers go on while one process writes; NORMAL synchronisation keeps every
            // committed call through the death of its process (not through a power failure).
            rc = sqlite3_exec(opened,
                              "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                              "PRAGMA foreign_keys=OFF;",
                              nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(opened, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK) {
                rc = sqlite3_exec(opened, kSchema, nullptr, nullptr, nullptr);
                rc = sqlite3_exec(opened, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                                  nullptr) == SQLITE_OK
                         ? rc
                         : SQLITE_ERROR;
            }
        }
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(opened);
            return fromSqlite(rc);
        }
        db = opened;
        path = wanted;
        return ERROR_SUCCESS;
    }
};

Connection& connection() {
    static Connection* const instance = new Connection; // lives as long as the process
    return *instance;
}

} // namespace

LONG Session::keyExists(KeyId key, bool& exists) {
    Statement select(m_db, "SELECT 1 FROM reg_key WHERE id = ?");
    const int rc = select.bind(1, key).step();
    exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : fromSqlite(rc);
}

LONG Session::findSubkey(KeyId parent, const Name& name, KeyId& child) {
    Statement select(m_db, "SELECT id FROM reg_key WHERE parent = ? AND folded = ?");
    const int rc = select.bind(1, parent).bind(2, folded(name)).step();
    if (rc == SQLITE_ROW) {
        child = select.integer(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : fromSqlite(rc);
}

LONG Session::createSubkey(KeyId parent, const Name& name, KeyId& child) {
    Statement insert(m_db, "INSERT INTO reg_key(parent, name, folded) VALUES (?, ?, ?)");
    const LONG error = insert.bind(1, parent).bind(2, toUtf8(name)).bind(3, folded(name)).run();
    if (error == ERROR_SUCCESS)
        child = sqlite3_last_insert_rowid(m_db);
    return error;
}

LONG Session::hasSubkeys(KeyId key, bool& any) {
    Statement select(m_db, "SELECT 1 FROM reg_key WHERE parent = ? LIMIT 1");
    const int rc = select.bind(1, key).step();
    any = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : fromSqlite(rc);
}

LONG Session::deleteKey(KeyId key) {
    LONG error = Statement(m_db, "DELETE FROM reg_value WHERE key = ?").bind(1, key).run();
    if (error == ERROR_SUCCESS)
        error = Statement(m_db, "DELETE FROM reg_key WHERE id = ?").bind(1, key).run();
    return error;
}

LONG Session::deleteTree(KeyId key, bool keepKey) {
    // The key's whole subtree, found by walking the parent links down.
    LONG error = Statement(m_db, R"sql(
        WITH RECURSIVE tree(id) AS (
            SELECT ?1 UNION ALL SELECT reg_key.id FROM reg_key JOIN tree ON reg_key.parent = tree.id)
        DELETE FROM reg_value WHERE key IN tree)sql")
                     .bind(1, key)
                     .run();
    if (error == ERROR_SUCCESS)
        error = Statement(m_db, R"sql(
            WITH RECURSIVE tree(id) AS (
                SELECT ?1 UNION ALL SELECT reg_key.id FROM reg_key JOIN tree ON reg_key.parent = tree.id)
            DELETE FROM reg_key WHERE id IN tree AND (id <> ?1 OR ?2 = 0))sql")
                    .bind(1, key)
                    .bind(2, keepKey ? 1 : 0)
                    .run();
    return error;
}

LONG Session::subkeyAt(KeyId key, DWORD index, Name& name) {
    Statement select(m_db,
                     "SELECT name FROM reg_key WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    const int rc = select.bind(1, key).bind(2, int64_t(index)).step();
    if (rc == SQLITE_ROW) {
        name = select.name(0);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : fromSqlite(rc);
}

LONG Session::findValue(KeyId key, const Name& name, Value& value) {
    Statement select(m_db, "SELECT name, type, data FROM reg_value WHERE key = ? AND folded = ?");
    const int rc = select.bind(1, key).bind(2, folded(name)).step();
    if (rc == SQLITE_ROW) {
        value.name = select.name(0);
        value.type = DWORD(select.integer(1));
        value.data = select.blob(2);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : fromSqlite(rc);
}

LONG Session::setValue(KeyId key, const Value& value) {
    // A value set again keeps its place in the enumeration and the spelling of its first name.
    return Statement(m_db, R"sql(
        INSERT INTO reg_value(key, name, folded, type, data) VALUES (?, ?, ?, ?, ?)
        ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data)sql")
        .bind(1, key)
        .bind(2, toUtf8(value.name))
        .bind(3, folded(value.name))
        .bind(4, int64_t(value.type))
        .bindBlob(5, value.data)
        .run();
}

LONG Session::deleteValue(KeyId key, const Name& name) {
    const LONG error = Statement(m_db, "DELETE FROM reg_value WHERE key = ? AND folded = ?")
                           .bind(1, key)
                           .bind(2, folded(name))
                           .run();
    if (error != ERROR_SUCCESS)
        return error;
    return sqlite3_changes(m_db) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

LONG Session::valueAt(KeyId key, DWORD index, Value& value) {
    Statement select(
        m_db, "SELECT name, type, data FROM reg_value WHERE key = ? ORDER BY seq LIMIT 1 OFFSET ?");
    const int rc = select.bind(1, key).bind(2, int64_t(index)).step();
    if (rc == SQLITE_ROW) {
        value.name = select.name(0);
        value.type = DWORD(select.integer(1));
        value.data = select.blob(2);
        return ERROR_SUCCESS;
    }
    return rc == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : fromSqlite(rc);
}

LONG Store::read(const std::function<LONG(Session&)>& work) {
    Connection& shared = connection();
    std::lock_guard<std::mutex> guard(shared.lock);
    LONG error = shared.open();
    if (error != ERROR_SUCCESS)
        return error;
    // One read transaction, so that a call sees one state of the registry throughout.
    if (sqlite3_exec(shared.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return ERROR_CANTREAD;
    Session session(shared.db);
    error = work(session);
    sqlite3_exec(shared.db, "COMMIT", nullptr, nullptr, nullptr);
    return error;
}

LONG Store::write(const std::function<LONG(Session&)>& work) {
    Connection& shared = connection();
    std::lock_guard<std::mutex> guard(shared.lock);
    LONG error = shared.open();
    if (error != ERROR_SUCCESS)
        return error;
    const int rc = sqlite3_exec(shared.db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return fromSqlite(rc);
    Session session(shared.db);
    error = work(session);
    if (error == ERROR_SUCCESS &&
        sqlite3_exec(shared.db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return ERROR_SUCCESS;
    sqlite3_exec(shared.db, "ROLLBACK", nullptr, nullptr, nullptr);
    return error == ERROR_SUCCESS ? ERROR_CANTWRITE : error;
}

} // namespace zp::registry
