// The repository's SQL, all of it. See store.h for what each operation promises.
#include "store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>

namespace zp::wbem {
namespace {

// What marks a database as ours; a file without it is never written to.
constexpr const char* kFormat = "zudava WMI repository";
constexpr int kSchemaVersion = 1;

// A writer waits this long for another process's transaction before the call fails.
constexpr auto kLongestWait = std::chrono::minutes(10);

const char* const kSchema[] = {
    "CREATE TABLE meta(name TEXT PRIMARY KEY, value) WITHOUT ROWID",
    "CREATE TABLE namespaces(id INTEGER PRIMARY KEY, name TEXT NOT NULL, "
    "folded TEXT NOT NULL UNIQUE)",
    "CREATE TABLE classes(id INTEGER PRIMARY KEY, "
    "namespace INTEGER NOT NULL REFERENCES namespaces(id) ON DELETE CASCADE, "
    "name TEXT NOT NULL, folded TEXT NOT NULL, "
    "superclass INTEGER REFERENCES classes(id) ON DELETE CASCADE, "
    "system INTEGER NOT NULL DEFAULT 0, definition BLOB NOT NULL, UNIQUE(namespace, folded))",
    "CREATE INDEX classes_by_superclass ON classes(superclass)",
    // Instances keep their rowid when updated, so creation order is rowid order.
    "CREATE TABLE instances(id INTEGER PRIMARY KEY, "
    "class INTEGER NOT NULL REFERENCES classes(id) ON DELETE CASCADE, "
    "keyroot INTEGER NOT NULL, key TEXT NOT NULL, data BLOB NOT NULL, UNIQUE(keyroot, key))",
    "CREATE INDEX instances_by_class ON instances(class, id)",
    // Reference values, so that the instances referring to an object are found by index.
    "CREATE TABLE refs(instance INTEGER NOT NULL REFERENCES instances(id) ON DELETE CASCADE, "
    "namespace INTEGER NOT NULL, property TEXT NOT NULL, target TEXT NOT NULL)",
    "CREATE INDEX refs_by_target ON refs(namespace, target)",
    "CREATE INDEX refs_by_instance ON refs(instance)",
};

// Events and their consumers, added to repositories made before them: made when missing, at
// every opening.
const char* const kEventSchema[] = {
    // AUTOINCREMENT: a sequence number is never given twice, even after the newest events were
    // dropped, so that a consumer's watermark stays meaningful.
    "CREATE TABLE IF NOT EXISTS events(seq INTEGER PRIMARY KEY AUTOINCREMENT, "
    "namespace INTEGER NOT NULL, created INTEGER NOT NULL, data BLOB NOT NULL)",
    "CREATE TABLE IF NOT EXISTS event_consumers(id INTEGER PRIMARY KEY, "
    "namespace INTEGER NOT NULL, process INTEGER NOT NULL, started INTEGER NOT NULL)",
};

// Old events are dropped once in this many insertions: the cost of the check is shared.
constexpr std::int64_t kPruneEvery = 64;

// Names match without regard to case: the store keeps a folded copy beside each name and looks
// names up by it. Folding covers ASCII and Latin-1, the letters WMI names are made of.
std::wstring foldCase(const std::wstring& text) {
    std::wstring folded(text);
    for (wchar_t& c : folded) {
        if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c = static_cast<wchar_t>(c + 0x20);
    }
    return folded;
}

std::u16string utf16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

std::wstring wide(const void* text, int bytes) {
    const auto* units = static_cast<const char16_t*>(text);
    return std::wstring(units, units + bytes / 2);
}

int waitForLock(void* context, int attempt) {
    auto* started = static_cast<std::chrono::steady_clock::time_point*>(context);
    if (attempt == 0)
        *started = std::chrono::steady_clock::now();
    else if (std::chrono::steady_clock::now() - *started > kLongestWait)
        return 0;
    // Short sleeps first: the other writer's transactions are a single call each.
    std::this_thread::sleep_for(std::chrono::microseconds(attempt < 10 ? 200 : 2000));
    return 1;
}

} // namespace

// One SQLite connection with its prepared statements. A connection serves one thread at a time;
// the store keeps a pool of them.
class Connection {
public:
    Connection(const std::string& file) : m_file(file) {
        const int rc = sqlite3_open_v2(
            file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
            nullptr);
        if (rc != SQLITE_OK) {
            const std::string why = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StoreError(StoreError::Kind::Unavailable,
                             "cannot open the WMI repository " + file + ": " + why);
        }
        try {
            sqlite3_extended_result_codes(m_db, 1);
            sqlite3_busy_handler(m_db, &waitForLock, &m_waitStarted);
            adopt();
        } catch (...) {
            finalizeAll();
            sqlite3_close(m_db);
            throw;
        }
    }

    ~Connection() {
        finalizeAll();
        sqlite3_close(m_db);
    }

    // A prepared statement for `sql` (a string literal), reset and ready to bind.
    sqlite3_stmt* statement(const char* sql) {
        auto found = m_statements.find(sql);
        if (found != m_statements.end())
            return found->second;
        sqlite3_stmt* prepared = nullptr;
        check(sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr));
        m_statements.emplace(sql, prepared);
        return prepared;
    }

    void execute(const char* sql) { check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr)); }
    // Runs a statement without results through the statement cache (no parsing per call).
    void run(const char* sql) {
        sqlite3_stmt* s = statement(sql);
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        check(rc);
    }
    void rollback() noexcept { sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr); }

    // Turns a failing SQLite result into the StoreError the layers above report.
    void check(int rc) const {
        if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
            return;
        const std::string what = std::string("the WMI repository ") + m_file + ": " +
                                 (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        switch (rc & 0xFF) {
        case SQLITE_NOTADB:
            if (!m_adopted)
                throw StoreError(StoreError::Kind::NotARepository,
                                 "the WMI repository " + m_file + " is not a repository (SQLite: " +
                                     sqlite3_errstr(rc) + "); it is left untouched");
            throw StoreError(StoreError::Kind::Corrupt, what);
        case SQLITE_CORRUPT:
            throw StoreError(StoreError::Kind::Corrupt, what);
        default:
            throw StoreError(StoreError::Kind::Unavailable, what);
        }
    }

    std::uint64_t dataVersion() {
        sqlite3_stmt* s = statement("PRAGMA data_version");
        Step step(*this, s);
        step.next();
        return static_cast<std::uint64_t>(sqlite3_column_int64(s, 0));
    }

    // Runs a statement to its end, resetting it on every way out.
    class Step {
    public:
        Step(Connection& c, sqlite3_stmt* s) : m_connection(c), m_statement(s) {}
        ~Step() {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
        Step& bind(int index, std::int64_t value) {
            m_connection.check(sqlite3_bind_int64(m_statement, index, value));
            return *this;
        }
        Step& bind(int index, const std::wstring& text) {
            const std::u16string units = utf16(text);
            m_connection.check(sqlite3_bind_text16(m_statement, index, units.data(),
                                                   static_cast<int>(units.size() * 2),
                                                   SQLITE_TRANSIENT));
            return *this;
        }
        Step& bind(int index, const Blob& blob) {
            m_connection.check(
                sqlite3_bind_blob64(m_statement, index, blob.data(), blob.size(), SQLITE_STATIC));
            return *this;
        }
        // Whether a row came.
        bool next() {
            const int rc = sqlite3_step(m_statement);
            if (rc == SQLITE_ROW)
                return true;
            m_connection.check(rc);
            return false;
        }
        void run() {
            while (next()) {
            }
        }
        std::int64_t integer(int column) const { return sqlite3_column_int64(m_statement, column); }
        std::wstring text(int column) const {
            const void* units = sqlite3_column_text16(m_statement, column);
            return units ? wide(units, sqlite3_column_bytes16(m_statement, column)) : L"";
        }
        Blob blob(int column) const {
            const auto* bytes =
                static_cast<const std::uint8_t*>(sqlite3_column_blob(m_statement, column));
            return Blob(bytes, bytes + sqlite3_column_bytes(m_statement, column));
        }

    private:
        Connection& m_connection;
        sqlite3_stmt* m_statement;
    };

    std::int64_t lastInsertRowId() const { return sqlite3_last_insert_rowid(m_db); }
    sqlite3* db() const { return m_db; }

    // The class generation as last read, refreshed when another connection has committed.
    std::uint64_t classGeneration() {
        const std::uint64_t version = dataVersion();
        if (!m_generationKnown || version != m_dataVersion) {
            Step step(*this, statement("SELECT value FROM meta WHERE name = 'generation'"));
            m_generation = step.next() ? static_cast<std::uint64_t>(step.integer(0)) : 0;
            m_dataVersion = version;
            m_generationKnown = true;
        }
        return m_generation;
    }

    void classesChanged() {
        Step(*this, statement("UPDATE meta SET value = value + 1 WHERE name = 'generation'")).run();
        m_generationKnown = false; // our own commit does not move our data_version; read again
    }

    bool instanceEventsWanted(RowId nameSpace) {
        const std::uint64_t version = dataVersion();
        if (!m_listenersKnown || version != m_listenersVersion) {
            m_listeners.clear();
            Step step(*this, statement("SELECT DISTINCT namespace FROM event_consumers"));
            while (step.next())
                m_listeners.push_back(step.integer(0));
            m_listenersVersion = version;
            m_listenersKnown = true;
        }
        return std::find(m_listeners.begin(), m_listeners.end(), nameSpace) != m_listeners.end();
    }
    void consumersChanged() { m_listenersKnown = false; }

private:
    // Checks that the file is a repository of ours (or empty, and then makes it one) before
    // anything is written to it, then sets the connection up for shared use.
    void adopt() {
        std::int64_t tables = 0;
        {
            sqlite3_stmt* s = nullptr;
            check(sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &s, nullptr));
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_ROW)
                tables = sqlite3_column_int64(s, 0);
            sqlite3_finalize(s);
            check(rc);
        }
        if (tables != 0)
            checkFormat();
        execute("PRAGMA foreign_keys = ON");
        // A killed process loses nothing it committed with NORMAL in WAL mode; only a power cut
        // may take back the last commits, never the file's consistency.
        execute("PRAGMA synchronous = NORMAL");
        {
            sqlite3_stmt* s = nullptr;
            check(sqlite3_prepare_v2(m_db, "PRAGMA journal_mode = WAL", -1, &s, nullptr));
            const int rc = sqlite3_step(s);
            sqlite3_finalize(s);
            check(rc);
        }
        if (tables == 0)
            createSchema();
        for (const char* sql : kEventSchema)
            execute(sql);
        m_adopted = true;
    }

    void checkFormat() {
        sqlite3_stmt* s = nullptr;
        const int prepared = sqlite3_prepare_v2(
            m_db, "SELECT value FROM meta WHERE name = 'format'", -1, &s, nullptr);
        bool ours = false;
        int stepped = SQLITE_DONE;
        if (prepared == SQLITE_OK) {
            stepped = sqlite3_step(s);
            if (stepped == SQLITE_ROW) {
                const auto* text = sqlite3_column_text(s, 0);
                ours = text && std::string(reinterpret_cast<const char*>(text)) == kFormat;
            }
        }
        sqlite3_finalize(s);
        check(stepped);
        if (prepared != SQLITE_OK && (prepared & 0xFF) != SQLITE_ERROR)
            check(prepared);
        if (!ours)
            throw StoreError(StoreError::Kind::NotARepository,
                             "the WMI repository " + m_file +
                                 " is a database of some other kind; it is left untouched");
        sqlite3_stmt* v = nullptr;
        check(sqlite3_prepare_v2(m_db, "SELECT value FROM meta WHERE name = 'version'", -1, &v,
                                 nullptr));
        const int rc = sqlite3_step(v);
        const std::int64_t version = rc == SQLITE_ROW ? sqlite3_column_int64(v, 0) : 0;
        sqlite3_finalize(v);
        check(rc);
        if (version != kSchemaVersion)
            throw StoreError(StoreError::Kind::NotARepository,
                             "the WMI repository " + m_file + " has format version " +
                                 std::to_string(version) + ", this service reads version " +
                                 std::to_string(kSchemaVersion));
    }

    // Two processes may find the file empty at once: the second finds the schema made once it
    // holds the write lock.
    void createSchema() {
        execute("BEGIN IMMEDIATE");
        try {
            sqlite3_stmt* s = nullptr;
            check(sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &s, nullptr));
            const int rc = sqlite3_step(s);
            const std::int64_t tables = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
            sqlite3_finalize(s);
            check(rc);
            if (tables == 0) {
                for (const char* sql : kSchema)
                    execute(sql);
                execute("INSERT INTO meta VALUES('format', 'zudava WMI repository'), "
                        "('version', 1), ('generation', 1), ('seeded', 0)");
            }
            execute("COMMIT");
        } catch (...) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    void finalizeAll() {
        for (auto& entry : m_statements)
            sqlite3_finalize(entry.second);
        m_statements.clear();
    }

    std::string m_file;
    sqlite3* m_db = nullptr;
    bool m_adopted = false;
    std::chrono::steady_clock::time_point m_waitStarted;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    bool m_generationKnown = false;
    std::uint64_t m_dataVersion = 0;
    std::uint64_t m_generation = 0;
    bool m_listenersKnown = false;
    std::uint64_t m_listenersVersion = 0;
    std::vector<RowId> m_listeners; // namespaces with instance event consumers
};

using Step = Connection::Step;

// ---- Namespaces

std::optional<NamespaceRow> Transaction::findNamespace(const std::wstring& name) {
    Step step(m_connection,
              m_connection.statement("SELECT id, name FROM namespaces WHERE folded = ?1"));
    step.bind(1, foldCase(name));
    if (!step.next())
        return std::nullopt;
    return NamespaceRow{step.integer(0), step.text(1)};
}

RowId Transaction::createNamespace(const std::wstring& name) {
    Step step(m_connection,
              m_connection.statement("INSERT INTO namespaces(name, folded) VALUES(?1, ?2)"));
    step.bind(1, name).bind(2, foldCase(name)).run();
    classesChanged();
    return m_connection.lastInsertRowId();
}

void Transaction::deleteNamespace(const std::wstring& name) {
    // The namespaces below `name` are those whose folded name lies between "name\" and "name]"
    // (']' follows '\'), so the unique index finds them.
    const std::wstring folded = foldCase(name);
    Step step(m_connection, m_connection.statement("DELETE FROM namespaces WHERE folded = ?1 OR "
                                                   "(folded > ?1 || '\\' AND folded < ?1 || ']')"));
    step.bind(1, folded).run();
    classesChanged();
}

std::vector<NamespaceRow> Transaction::namespaces() {
    Step step(m_connection, m_connection.statement("SELECT id, name FROM namespaces ORDER BY id"));
    std::vector<NamespaceRow> rows;
    while (step.next())
        rows.push_back(NamespaceRow{step.integer(0), step.text(1)});
    return rows;
}

// ---- Classes

namespace {

ClassRow classFrom(const Step& step) {
    ClassRow row;
    row.id = step.integer(0);
    row.nameSpace = step.integer(1);
    row.name = step.text(2);
    row.superclass = step.integer(3);
    row.system = step.integer(4) != 0;
    row.definition = step.blob(5);
    return row;
}

#define ZP_CLASS_COLUMNS "id, namespace, name, ifnull(superclass, 0), system, definition"

} // namespace

std::optional<ClassRow> Transaction::findClass(RowId nameSpace, const std::wstring& name) {
    Step step(m_connection,
              m_connection.statement("SELECT " ZP_CLASS_COLUMNS
                                     " FROM classes WHERE namespace = ?1 AND folded = ?2"));
    step.bind(1, nameSpace).bind(2, foldCase(name));
    if (!step.next())
        return std::nullopt;
    return classFrom(step);
}

std::optional<ClassRow> Transaction::classById(RowId id) {
    Step step(m_connection,
              m_connection.statement("SELECT " ZP_CLASS_COLUMNS " FROM classes WHERE id = ?1"));
    step.bind(1, id);
    if (!step.next())
        return std::nullopt;
    return classFrom(step);
}

std::vector<ClassRow> Transaction::childClasses(RowId nameSpace, RowId superclass) {
    std::vector<ClassRow> rows;
    if (superclass == 0) {
        Step step(m_connection, m_connection.statement("SELECT " ZP_CLASS_COLUMNS
                                                       " FROM classes WHERE namespace = ?1 "
                                                       "AND superclass IS NULL ORDER BY id"));
        step.bind(1, nameSpace);
        while (step.next())
            rows.push_back(classFrom(step));
    } else {
        Step step(m_connection,
                  m_connection.statement("SELECT " ZP_CLASS_COLUMNS
                                         " FROM classes WHERE superclass = ?1 ORDER BY id"));
        step.bind(1, superclass);
        while (step.next())
            rows.push_back(classFrom(step));
    }
    return rows;
}

std::vector<ClassRow> Transaction::allClasses(RowId nameSpace) {
    Step step(m_connection,
              m_connection.statement("SELECT " ZP_CLASS_COLUMNS
                                     " FROM classes WHERE namespace = ?1 ORDER BY id"));
    step.bind(1, nameSpace);
    std::vector<ClassRow> rows;
    while (step.next())
        rows.push_back(classFrom(step));
    return rows;
}

RowId Transaction::insertClass(const ClassRow& row) {
    Step step(m_connection, m_connection.statement(
                                "INSERT INTO classes(namespace, name, folded, superclass, system, "
                                "definition) VALUES(?1, ?2, ?3, nullif(?4, 0), ?5, ?6)"));
    step.bind(1, row.nameSpace)
        .bind(2, row.name)
        .bind(3, foldCase(row.name))
        .bind(4, row.superclass)
        .bind(5, row.system ? 1 : 0)
        .bind(6, row.definition)
        .run();
    // A new class changes no class that any process may hold in its cache (a cache holds only
    // classes that exist, and one looked for and missing is looked for again), so the generation
    // stays: bumping it would cost every stored class a page of its own in the journal.
    return m_connection.lastInsertRowId();
}

void Transaction::updateClass(RowId id, const Blob& definition) {
    Step step(m_connection,
              m_connection.statement("UPDATE classes SET definition = ?2 WHERE id = ?1"));
    step.bind(1, id).bind(2, definition).run();
    classesChanged();
}

void Transaction::deleteClass(RowId id) {
    Step(m_connection, m_connection.statement("DELETE FROM classes WHERE id = ?1"))
        .bind(1, id)
        .run();
    classesChanged();
}

bool Transaction::hasChildClasses(RowId id) {
    Step step(m_connection,
              m_connection.statement("SELECT 1 FROM classes WHERE superclass = ?1 LIMIT 1"));
    step.bind(1, id);
    return step.next();
}

bool Transaction::hasInstances(RowId classId) {
    Step step(m_connection,
              m_connection.statement("SELECT 1 FROM instances WHERE class = ?1 LIMIT 1"));
    step.bind(1, classId);
    return step.next();
}

// ---- Instances

namespace {

void indexReferences(Connection& connection, RowId instance, RowId classId,
                     const std::vector<ReferenceRow>& references) {
    if (references.empty())
        return;
    sqlite3_stmt* insert =
        connection.statement("INSERT INTO refs(instance, namespace, property, target) "
                             "SELECT ?1, namespace, ?3, ?4 FROM classes WHERE id = ?2");
    for (const ReferenceRow& reference : references) {
        Step(connection, insert)
            .bind(1, instance)
            .bind(2, classId)
            .bind(3, reference.property)
            .bind(4, reference.target)
            .run();
    }
}

} // namespace

std::optional<InstanceRow> Transaction::findInstance(RowId keyRoot, const std::wstring& key) {
    Step step(m_connection,
              m_connection.statement(
                  "SELECT id, class, data FROM instances WHERE keyroot = ?1 AND key = ?2"));
    step.bind(1, keyRoot).bind(2, key);
    if (!step.next())
        return std::nullopt;
    return InstanceRow{step.integer(0), step.integer(1), step.blob(2)};
}

RowId Transaction::insertInstance(RowId classId, RowId keyRoot, const std::wstring& key,
                                  const Blob& data, const std::vector<ReferenceRow>& references) {
    Step(m_connection, m_connection.statement("INSERT INTO instances(class, keyroot, key, data) "
                                              "VALUES(?1, ?2, ?3, ?4)"))
        .bind(1, classId)
        .bind(2, keyRoot)
        .bind(3, key)
        .bind(4, data)
        .run();
    const RowId id = m_connection.lastInsertRowId();
    indexReferences(m_connection, id, classId, references);
    return id;
}

std::optional<RowId> Transaction::tryInsertInstance(RowId classId, RowId keyRoot,
                                                    const std::wstring& key, const Blob& data,
                                                    const std::vector<ReferenceRow>& references) {
    sqlite3_stmt* s = m_connection.statement(
        "INSERT INTO instances(class, keyroot, key, data) VALUES(?1, ?2, ?3, ?4) "
        "ON CONFLICT(keyroot, key) DO NOTHING");
    {
        Step step(m_connection, s);
        step.bind(1, classId).bind(2, keyRoot).bind(3, key).bind(4, data).run();
    }
    if (sqlite3_changes(m_connection.db()) == 0)
        return std::nullopt;
    const RowId id = m_connection.lastInsertRowId();
    indexReferences(m_connection, id, classId, references);
    return id;
}

void Transaction::updateInstance(RowId id, RowId classId, const Blob& data,
                                 const std::vector<ReferenceRow>& references) {
    Step(m_connection,
         m_connection.statement("UPDATE instances SET class = ?2, data = ?3 WHERE id = ?1"))
        .bind(1, id)
        .bind(2, classId)
        .bind(3, data)
        .run();
    Step(m_connection, m_connection.statement("DELETE FROM refs WHERE instance = ?1"))
        .bind(1, id)
        .run();
    indexReferences(m_connection, id, classId, references);
}

void Transaction::deleteInstance(RowId id) {
    Step(m_connection, m_connection.statement("DELETE FROM instances WHERE id = ?1"))
        .bind(1, id)
        .run();
}

void Transaction::instances(const std::vector<RowId>& classes, RowId after, std::size_t limit,
                            const InstanceVisitor& visit) {
    if (classes.empty() || limit == 0)
        return;
    std::size_t seen = 0;
    if (classes.size() == 1) {
        // One class: its index yields the rows in creation order.
        sqlite3_stmt* s = m_connection.statement("SELECT id, class, data FROM instances WHERE "
                                                 "class = ?1 AND id > ?2 ORDER BY id LIMIT ?3");
        Step step(m_connection, s);
        step.bind(1, classes.front()).bind(2, after).bind(3, static_cast<std::int64_t>(limit));
        while (step.next()) {
            visit(step.integer(0), step.integer(1),
                  static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 2)),
                  static_cast<std::size_t>(sqlite3_column_bytes(s, 2)));
        }
        return;
    }
    // Several classes: walk the rows in creation order and keep those of the classes asked for,
    // stopping once the batch is full, so that no sort holds the whole extent.
    std::vector<RowId> sorted(classes);
    std::sort(sorted.begin(), sorted.end());
    sqlite3_stmt* s =
        m_connection.statement("SELECT id, class, data FROM instances WHERE id > ?1 ORDER BY id");
    Step step(m_connection, s);
    step.bind(1, after);
    while (seen < limit && step.next()) {
        const RowId classId = step.integer(1);
        if (!std::binary_search(sorted.begin(), sorted.end(), classId))
            continue;
        visit(step.integer(0), classId, static_cast<const std::uint8_t*>(sqlite3_column_blob(s, 2)),
              static_cast<std::size_t>(sqlite3_column_bytes(s, 2)));
        ++seen;
    }
}

std::vector<InstanceRow> Transaction::instances(const std::vector<RowId>& classes, RowId after,
                                                std::size_t limit) {
    std::vector<InstanceRow> rows;
    instances(classes, after, limit,
              [&](RowId id, RowId classId, const std::uint8_t* data, std::size_t size) {
                  rows.push_back(InstanceRow{id, classId, Blob(data, data + size)});
              });
    return rows;
}

std::uint64_t Transaction::countInstances(RowId classId) {
    Step step(m_connection,
              m_connection.statement("SELECT count(*) FROM instances WHERE class = ?1"));
    step.bind(1, classId);
    step.next();
    return static_cast<std::uint64_t>(step.integer(0));
}

std::vector<InstanceRow> Transaction::referrers(RowId nameSpace, const std::wstring& target) {
    Step step(m_connection,
              m_connection.statement(
                  "SELECT DISTINCT i.id, i.class, i.data FROM refs r JOIN instances i "
                  "ON i.id = r.instance WHERE r.namespace = ?1 AND r.target = ?2 ORDER BY i.id"));
    step.bind(1, nameSpace).bind(2, target);
    std::vector<InstanceRow> rows;
    while (step.next())
        rows.push_back(InstanceRow{step.integer(0), step.integer(1), step.blob(2)});
    return rows;
}

std::vector<ReferrerRow> Transaction::referencesTo(RowId nameSpace, const std::wstring& target) {
    Step step(m_connection,
              m_connection.statement(
                  "SELECT i.id, i.class, i.data, r.property FROM refs r JOIN instances i "
                  "ON i.id = r.instance WHERE r.namespace = ?1 AND r.target = ?2 ORDER BY i.id"));
    step.bind(1, nameSpace).bind(2, target);
    std::vector<ReferrerRow> rows;
    while (step.next())
        rows.push_back(
            ReferrerRow{InstanceRow{step.integer(0), step.integer(1), step.blob(2)}, step.text(3)});
    return rows;
}

std::uint64_t Transaction::classGeneration() {
    return m_connection.classGeneration();
}

void Transaction::classesChanged() {
    m_connection.classesChanged();
}

// ---- Events

std::int64_t Transaction::insertEvent(RowId nameSpace, const Blob& data, std::int64_t created,
                                      std::int64_t keep, std::int64_t oldest) {
    Step(m_connection,
         m_connection.statement("INSERT INTO events(namespace, created, data) VALUES(?1, ?2, ?3)"))
        .bind(1, nameSpace)
        .bind(2, created)
        .bind(3, data)
        .run();
    const std::int64_t sequence = m_connection.lastInsertRowId();
    if (sequence % kPruneEvery == 0) {
        Step(m_connection, m_connection.statement("DELETE FROM events WHERE seq <= ?1"))
            .bind(1, sequence - keep)
            .run();
        // Sequence and creation time rise together: the old events are a prefix, and the scan
        // stops at the first recent one.
        Step(m_connection,
             m_connection.statement("DELETE FROM events WHERE seq < (SELECT seq FROM events "
                                    "WHERE created >= ?1 ORDER BY seq LIMIT 1)"))
            .bind(1, oldest)
            .run();
    }
    return sequence;
}

std::int64_t Transaction::lastEventSequence() {
    Step step(m_connection,
              m_connection.statement("SELECT seq FROM sqlite_sequence WHERE name = 'events'"));
    return step.next() ? step.integer(0) : 0;
}

std::vector<EventRow> Transaction::eventsAfter(std::int64_t sequence, std::size_t limit) {
    Step step(m_connection,
              m_connection.statement(
                  "SELECT seq, namespace, data FROM events WHERE seq > ?1 ORDER BY seq LIMIT ?2"));
    step.bind(1, sequence).bind(2, static_cast<std::int64_t>(limit));
    std::vector<EventRow> rows;
    while (step.next())
        rows.push_back(EventRow{step.integer(0), step.integer(1), step.blob(2)});
    return rows;
}

RowId Transaction::addEventConsumer(RowId nameSpace, std::int64_t process, std::int64_t started) {
    Step(m_connection,
         m_connection.statement(
             "INSERT INTO event_consumers(namespace, process, started) VALUES(?1, ?2, ?3)"))
        .bind(1, nameSpace)
        .bind(2, process)
        .bind(3, started)
        .run();
    m_connection.consumersChanged();
    return m_connection.lastInsertRowId();
}

void Transaction::removeEventConsumer(RowId id) {
    Step(m_connection, m_connection.statement("DELETE FROM event_consumers WHERE id = ?1"))
        .bind(1, id)
        .run();
    m_connection.consumersChanged();
}

std::vector<EventConsumerRow> Transaction::eventConsumers() {
    Step step(m_connection,
              m_connection.statement("SELECT id, process, started FROM event_consumers"));
    std::vector<EventConsumerRow> rows;
    while (step.next())
        rows.push_back(EventConsumerRow{step.integer(0), step.integer(1), step.integer(2)});
    return rows;
}

bool Transaction::instanceEventsWanted(RowId nameSpace) {
    return m_connection.instanceEventsWanted(nameSpace);
}

// ---- The store

RepositoryStore::RepositoryStore(std::string file) : m_file(std::move(file)) {
    give(take()); // opens and checks the file now, so that a bad file fails here
}

RepositoryStore::~RepositoryStore() = default;

std::unique_ptr<Connection> RepositoryStore::take() {
    {
        std::lock_guard<std::mutex> guard(m_poolLock);
        if (!m_pool.empty()) {
            std::unique_ptr<Connection> connection = std::move(m_pool.back());
            m_pool.pop_back();
            return connection;
        }
    }
    return std::make_unique<Connection>(m_file);
}

void RepositoryStore::give(std::unique_ptr<Connection> connection) {
    std::lock_guard<std::mutex> guard(m_poolLock);
    m_pool.push_back(std::move(connection));
}

void RepositoryStore::transact(bool writing, const std::function<void(Transaction&)>& work) {
    std::unique_ptr<Connection> connection = take();
    // A write takes the write lock at once, so that it never has to upgrade a read lock, which
    // SQLite refuses without waiting when another process committed meanwhile.
    connection->run(writing ? "BEGIN IMMEDIATE" : "BEGIN");
    try {
        Transaction transaction(*connection);
        work(transaction);
        connection->run("COMMIT");
    } catch (...) {
        // Fails harmlessly when SQLite has already rolled back on its own.
        connection->rollback();
        give(std::move(connection));
        throw;
    }
    give(std::move(connection));
}

std::string machineStateFolder() {
    if (const char* folder = std::getenv("ZUDAVA_STATE_DIR"); folder && *folder)
        return folder;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::string(state) + "/zudava";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/zudava";
}

RepositoryStore& RepositoryStore::machine() {
    // Stores stay open for the life of the process: objects handed out may still use them. A
    // process that moves its state folder (tests do) gets the repository of the new one.
    static std::mutex lock;
    static std::vector<std::unique_ptr<RepositoryStore>> stores;
    const std::string folder = machineStateFolder();
    const std::string file = folder + "/repository.sqlite";
    std::lock_guard<std::mutex> guard(lock);
    if (!stores.empty() && stores.back()->file() == file)
        return *stores.back();
    // Make the folder and its parents as needed; an existing one is fine.
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            break;
    }
    stores.push_back(std::make_unique<RepositoryStore>(file));
    return *stores.back();
}

} // namespace zp::wbem
