// The repository's storage: one SQLite database shared by every process of the machine. This is
// the only place that speaks SQL; the layers above see namespaces, classes and instances as rows
// of plain data and encoded objects. Not installed.
//
// Every call runs inside one transaction (`read` or `write`): a write that returned has been
// committed and survives the death of its process; a write interrupted by it leaves nothing
// behind. Writers take the database's write lock at the start of their transaction, so two
// processes storing at once queue behind each other instead of failing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zp::wbem {

using RowId = std::int64_t;
using Blob = std::vector<std::uint8_t>;

// Why the store could not do what it was asked. The layers above turn every kind into a WMI
// status; the message names the database file and what SQLite said.
class StoreError : public std::runtime_error {
public:
    enum class Kind {
        NotARepository, // the file exists and is no repository of ours: it is never written to
        Corrupt,        // the file is a repository but SQLite finds it damaged
        Unavailable,    // cannot open, read or write the file (permissions, disk full, locked)
    };
    StoreError(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

struct NamespaceRow {
    RowId id = 0;
    std::wstring name; // as created, e.g. root\cimv2
};

struct ClassRow {
    RowId id = 0;
    RowId nameSpace = 0;
    std::wstring name;
    RowId superclass = 0; // 0: none
    bool system = false;  // one of the system classes: never changed or deleted by callers
    Blob definition;
};

struct InstanceRow {
    RowId id = 0;
    RowId classId = 0;
    Blob data;
};

// One reference-valued property of an instance, as the reference index keeps it.
struct ReferenceRow {
    std::wstring property; // the property's name
    std::wstring target;   // the target in the repository's canonical form (see repository.cpp)
};

// An instance that refers to a target, and the property through which it does.
struct ReferrerRow {
    InstanceRow instance;
    std::wstring property;
};

// A stored event: its sequence number (increasing in commit order, never reused), where it was
// raised, and the event object whole (encodeObject).
struct EventRow {
    std::int64_t sequence = 0;
    RowId nameSpace = 0;
    Blob data;
};

// A process that listens for instance events in a namespace.
struct EventConsumerRow {
    RowId id = 0;
    std::int64_t process = 0;
    std::int64_t started = 0; // when the process started, so that a reused process id is told apart
};

class Connection;

// The operations available inside one transaction. Names are compared without regard to case
// (the store keeps a folded copy beside the name as written).
class Transaction {
public:
    explicit Transaction(Connection& connection) : m_connection(connection) {}

    // Namespaces.
    std::optional<NamespaceRow> findNamespace(const std::wstring& name);
    RowId createNamespace(const std::wstring& name);
    // Deletes the namespace, every namespace below it and everything they hold.
    void deleteNamespace(const std::wstring& name);
    std::vector<NamespaceRow> namespaces();

    // Classes.
    std::optional<ClassRow> findClass(RowId nameSpace, const std::wstring& name);
    std::optional<ClassRow> classById(RowId id);
    // The classes whose superclass is `superclass` (0: the classes without one), by name order of
    // creation.
    std::vector<ClassRow> childClasses(RowId nameSpace, RowId superclass);
    // Every class of the namespace in creation order.
    std::vector<ClassRow> allClasses(RowId nameSpace);
    RowId insertClass(const ClassRow& row);
    void updateClass(RowId id, const Blob& definition);
    // Deletes the class, its derived classes and all their instances.
    void deleteClass(RowId id);
    bool hasChildClasses(RowId id);
    bool hasInstances(RowId classId);

    // Instances. `keyRoot` is the class that declares the keys; `key` the normalized key text:
    // two instances of one key root never share a key.
    std::optional<InstanceRow> findInstance(RowId keyRoot, const std::wstring& key);
    RowId insertInstance(RowId classId, RowId keyRoot, const std::wstring& key, const Blob& data,
                         const std::vector<ReferenceRow>& references);
    void updateInstance(RowId id, RowId classId, const Blob& data,
                        const std::vector<ReferenceRow>& references);
    void deleteInstance(RowId id);
    // Up to `limit` instances of the given classes with an id above `after`, in creation order.
    std::vector<InstanceRow> instances(const std::vector<RowId>& classes, RowId after,
                                       std::size_t limit);
    // The same, handing each row to `visit` without copying it: `data` is valid during the call.
    using InstanceVisitor =
        std::function<void(RowId id, RowId classId, const std::uint8_t* data, std::size_t size)>;
    void instances(const std::vector<RowId>& classes, RowId after, std::size_t limit,
                   const InstanceVisitor& visit);
    // Inserts unless an instance of the key root already has the key (then: nothing, nullopt).
    std::optional<RowId> tryInsertInstance(RowId classId, RowId keyRoot, const std::wstring& key,
                                           const Blob& data,
                                           const std::vector<ReferenceRow>& references);
    std::uint64_t countInstances(RowId classId);
    // The instances of the namespace that refer to `target` (a normalized path).
    std::vector<InstanceRow> referrers(RowId nameSpace, const std::wstring& target);
    // The same with the referring property: one row per property, in instance creation order.
    std::vector<ReferrerRow> referencesTo(RowId nameSpace, const std::wstring& target);

    // Events. The table keeps at most `keep` events and none created before `oldest`
    // (milliseconds since 1970), whoever has read them: a consumer that stops reading costs the
    // writers nothing and the file does not grow.
    std::int64_t insertEvent(RowId nameSpace, const Blob& data, std::int64_t created,
                             std::int64_t keep, std::int64_t oldest);
    // The sequence number of the last event ever stored (0: none): a consumer starting now
    // receives only what follows it.
    std::int64_t lastEventSequence();
    // Up to `limit` events after `sequence`, in order.
    std::vector<EventRow> eventsAfter(std::int64_t sequence, std::size_t limit);

    // The processes listening for instance events, so that writers raise them only while
    // somebody listens.
    RowId addEventConsumer(RowId nameSpace, std::int64_t process, std::int64_t started);
    void removeEventConsumer(RowId id);
    std::vector<EventConsumerRow> eventConsumers();
    // Whether anybody listens in `nameSpace`; read again only after another connection has
    // committed, so that a write costs nothing more while nothing changes.
    bool instanceEventsWanted(RowId nameSpace);

    // A number that changes whenever a namespace or class changes, in any process; caches of
    // class definitions are valid while it stays the same.
    std::uint64_t classGeneration();
    void classesChanged();

private:
    Connection& m_connection;
};

class RepositoryStore {
public:
    // Opens (and on first use creates) the repository in `file`. Throws StoreError when the file
    // is not a repository or cannot be opened; a file that is not ours is left untouched.
    explicit RepositoryStore(std::string file);
    ~RepositoryStore();
    RepositoryStore(const RepositoryStore&) = delete;
    RepositoryStore& operator=(const RepositoryStore&) = delete;

    const std::string& file() const { return m_file; }

    // Runs `work` in a read transaction, or a write transaction that is committed when `work`
    // returns and rolled back when it throws.
    template <class Work>
    auto read(Work&& work) {
        return run<decltype(work(std::declval<Transaction&>()))>(false, work);
    }
    template <class Work>
    auto write(Work&& work) {
        return run<decltype(work(std::declval<Transaction&>()))>(true, work);
    }

    // The machine's repository: repository.sqlite in the machine state folder, opened on first
    // use. Throws StoreError as the constructor does (and again at the next call).
    static RepositoryStore& machine();

private:
    template <class Result, class Work>
    Result run(bool writing, Work& work) {
        if constexpr (std::is_void_v<Result>) {
            transact(writing, [&](Transaction& t) { work(t); });
        } else {
            std::optional<Result> result;
            transact(writing, [&](Transaction& t) { result.emplace(work(t)); });
            return std::move(*result);
        }
    }
    void transact(bool writing, const std::function<void(Transaction&)>& work);
    std::unique_ptr<Connection> take();
    void give(std::unique_ptr<Connection> connection);

    std::string m_file;
    std::mutex m_poolLock;
    std::vector<std::unique_ptr<Connection>> m_pool;
};

// The machine state folder: $ZUDAVA_STATE_DIR, else $XDG_STATE_HOME/zudava, else
// ~/.local/state/zudava.
std::string machineStateFolder();

} // namespace zp::wbem
