// The embedded WMI service's repository against SQLite doing the bare work on the same rows in
// the same run:
//   - GetObject of one instance by key in a class of 100,000, against a prepared point SELECT of
//     the same row of the repository's own file;
//   - a forward-only CreateInstanceEnum of those 100,000 (Next one object at a time, as the
//     library's enumerations call it), against a plain scan of the same rows;
//   - 10,000 PutInstance calls, against as many single-row INSERT transactions into a table of
//     the same shape, with the same journal and synchronisation settings.
#include "Ratios.h"
#include "Repository.h"

#include <windows.h>
#include <objbase.h>
#include <comdef.h>
#include <wbemidl.h>

#include <sqlite3.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));

constexpr long kInstances = 100000;
constexpr long kPuts = 10000;

const bench::StateFolder g_state("zudava-wbem-bench");

using bench::must;

void mustSql(int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errstr(rc));
}

// The service, connected to root\default, holding BenchItem with kInstances instances.
class Service {
public:
    static Service& get() {
        static Service service;
        return service;
    }

    IWbemServices* services() const { return m_services; }
    IWbemClassObject* itemClass() const { return m_itemClass; }

private:
    Service() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        m_services = bench::connectDefault();
        defineClass(L"BenchItem");
        defineClass(L"BenchPut");
        must(m_services->GetObject(_bstr_t(L"BenchItem"), 0, nullptr, &m_itemClass, nullptr),
             "GetObject");
        for (long id = 0; id < kInstances; ++id)
            must(m_services->PutInstance(instance(m_itemClass, id), WBEM_FLAG_CREATE_ONLY, nullptr,
                                         nullptr),
                 "PutInstance");
    }

    void defineClass(const wchar_t* name) {
        bench::storeClass(
            m_services, name,
            {{L"Id", CIM_SINT32, true}, {L"Name", CIM_STRING}, {L"Value", CIM_UINT32}});
    }

public:
    // A new instance of `cls` with key `id` and two more values.
    static IWbemClassObjectPtr instance(IWbemClassObject* cls, long id) {
        IWbemClassObject* object = nullptr;
        must(cls->SpawnInstance(0, &object), "SpawnInstance");
        _variant_t key(id);
        _variant_t name((L"instance number " + std::to_wstring(id)).c_str());
        _variant_t value(id * 7L);
        object->Put(L"Id", 0, &key, 0);
        object->Put(L"Name", 0, &name, 0);
        object->Put(L"Value", 0, &value, 0);
        return IWbemClassObjectPtr(object, false);
    }

private:
    IWbemServices* m_services = nullptr;
    IWbemClassObject* m_itemClass = nullptr;
};

// The repository's own file, opened as a plain SQLite database.
class Database {
public:
    explicit Database(const std::string& file) {
        mustSql(sqlite3_open(file.c_str(), &m_db), "open");
        exec("PRAGMA journal_mode = WAL");
        exec("PRAGMA synchronous = NORMAL");
    }
    ~Database() {
        for (sqlite3_stmt* s : m_statements)
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    void exec(const char* sql) { mustSql(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), sql); }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        mustSql(sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr), sql);
        m_statements.push_back(s);
        return s;
    }
    std::int64_t integer(const char* sql) {
        sqlite3_stmt* s = prepare(sql);
        mustSql(sqlite3_step(s), sql);
        return sqlite3_column_int64(s, 0);
    }

private:
    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_statements;
};

std::string repositoryFile() {
    return g_state.path() + "/repository.sqlite";
}

std::vector<long> randomIds() {
    std::mt19937 random(7);
    std::uniform_int_distribution<long> pick(0, kInstances - 1);
    std::vector<long> ids(4096);
    for (long& id : ids)
        id = pick(random);
    return ids;
}

void getObject(benchmark::State& state) {
    Service& service = Service::get();
    std::vector<_bstr_t> paths;
    for (long id : randomIds())
        paths.emplace_back((L"BenchItem.Id=" + std::to_wstring(id)).c_str());
    size_t next = 0;
    for (auto _ : state) {
        IWbemClassObject* object = nullptr;
        must(service.services()->GetObject(paths[next++ % paths.size()], 0, nullptr, &object,
                                           nullptr),
             "GetObject");
        object->Release();
    }
}

void getObjectBaseline(benchmark::State& state) {
    Service::get();
    Database db(repositoryFile());
    // The same rows the service reads: the instance table's key index, the stored keys' text.
    sqlite3_stmt* keys =
        db.prepare("SELECT keyroot, key FROM instances WHERE class = "
                   "(SELECT id FROM classes WHERE folded = 'benchitem' AND namespace = "
                   "(SELECT id FROM namespaces WHERE folded = 'root\\default')) ORDER BY id");
    std::vector<std::pair<std::int64_t, std::string>> all;
    while (sqlite3_step(keys) == SQLITE_ROW)
        all.emplace_back(sqlite3_column_int64(keys, 0),
                         reinterpret_cast<const char*>(sqlite3_column_text(keys, 1)));
    if (all.size() != static_cast<size_t>(kInstances))
        throw std::runtime_error("unexpected row count");
    std::vector<std::pair<std::int64_t, std::string>> picked;
    for (long id : randomIds())
        picked.push_back(all[static_cast<size_t>(id)]);
    sqlite3_stmt* point = db.prepare("SELECT data FROM instances WHERE keyroot = ?1 AND key = ?2");
    size_t next = 0;
    for (auto _ : state) {
        const auto& [root, key] = picked[next++ % picked.size()];
        sqlite3_bind_int64(point, 1, root);
        sqlite3_bind_text(point, 2, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
        if (sqlite3_step(point) != SQLITE_ROW)
            throw std::runtime_error("row not found");
        benchmark::DoNotOptimize(sqlite3_column_blob(point, 0));
        benchmark::DoNotOptimize(sqlite3_column_bytes(point, 0));
        sqlite3_reset(point);
    }
}

long maxResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void enumerate(benchmark::State& state) {
    Service& service = Service::get();
    for (auto _ : state) {
        IEnumWbemClassObject* enumerator = nullptr;
        must(service.services()->CreateInstanceEnum(
                 _bstr_t(L"BenchItem"), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                 nullptr, &enumerator),
             "CreateInstanceEnum");
        long count = 0;
        for (;;) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 0;
            enumerator->Next(-1, 1, &object, &returned);
            if (returned == 0)
                break;
            object->Release();
            ++count;
        }
        enumerator->Release();
        if (count != kInstances)
            throw std::runtime_error("enumeration lost objects");
    }
    // The peak resident size after enumerating: a forward-only enumeration holds one batch.
    state.counters["maxrss_kB"] = static_cast<double>(maxResidentKb());
}

void enumerateBaseline(benchmark::State& state) {
    Service::get();
    Database db(repositoryFile());
    const std::int64_t cls =
        db.integer("SELECT id FROM classes WHERE folded = 'benchitem' AND namespace = "
                   "(SELECT id FROM namespaces WHERE folded = 'root\\default')");
    sqlite3_stmt* scan = db.prepare("SELECT data FROM instances WHERE class = ?1 ORDER BY id");
    for (auto _ : state) {
        sqlite3_bind_int64(scan, 1, cls);
        long count = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_blob(scan, 0));
            benchmark::DoNotOptimize(sqlite3_column_bytes(scan, 0));
            ++count;
        }
        sqlite3_reset(scan);
        if (count != kInstances)
            throw std::runtime_error("scan lost rows");
    }
}

void putInstance(benchmark::State& state) {
    Service& service = Service::get();
    IWbemClassObject* cls = nullptr;
    must(service.services()->GetObject(_bstr_t(L"BenchPut"), 0, nullptr, &cls, nullptr),
         "GetObject");
    static long first = 0; // new keys in every run: repetitions share the table
    for (auto _ : state) {
        for (long id = first; id < first + kPuts; ++id)
            must(service.services()->PutInstance(Service::instance(cls, id), WBEM_FLAG_CREATE_ONLY,
                                                 nullptr, nullptr),
                 "PutInstance");
        first += kPuts;
    }
    cls->Release();
}

void putInstanceBaseline(benchmark::State& state) {
    Service::get();
    Database db(g_state.path() + "/baseline.sqlite");
    db.exec("CREATE TABLE IF NOT EXISTS items(id INTEGER PRIMARY KEY, class INTEGER NOT NULL, "
            "keyroot INTEGER NOT NULL, key TEXT NOT NULL, data BLOB NOT NULL, "
            "UNIQUE(keyroot, key))");
    sqlite3_stmt* begin = db.prepare("BEGIN IMMEDIATE");
    sqlite3_stmt* insert =
        db.prepare("INSERT INTO items(class, keyroot, key, data) VALUES(1, 1, ?1, ?2)");
    sqlite3_stmt* commit = db.prepare("COMMIT");
    // Rows as large as the service's stored instances.
    const std::vector<unsigned char> data(96, 0x5A);
    static long first = 0; // new keys in every run: repetitions share the table
    for (auto _ : state) {
        for (long id = first; id < first + kPuts; ++id) {
            const std::string key = "Id=" + std::to_string(id);
            mustSql(sqlite3_step(begin), "BEGIN");
            sqlite3_reset(begin);
            sqlite3_bind_text(insert, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
            sqlite3_bind_blob(insert, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
            mustSql(sqlite3_step(insert), "INSERT");
            sqlite3_reset(insert);
            mustSql(sqlite3_step(commit), "COMMIT");
            sqlite3_reset(commit);
        }
        first += kPuts;
    }
}

} // namespace

BENCHMARK(getObject)->Name("GetObject by key, class of 100k/zudava");
BENCHMARK(getObjectBaseline)->Name("GetObject by key, class of 100k/baseline");
BENCHMARK(enumerate)->Name("CreateInstanceEnum of 100k/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(enumerateBaseline)
    ->Name("CreateInstanceEnum of 100k/baseline")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(putInstance)->Name("PutInstance x 10k/zudava")->Unit(benchmark::kMillisecond);
BENCHMARK(putInstanceBaseline)->Name("PutInstance x 10k/baseline")->Unit(benchmark::kMillisecond);

ZUDAVA_BENCHMARK_MAIN()
