// Events: the indication sink, notification queries and their delivery; see events.h.
#include "events.h"

#include "enumerator.h"
#include "names.h"
#include "object.h"
#include "services.h"
#include "systemclasses.h"
#include "wql.h"

#include "../com/unknown.h"

#include <comutil.h>
#include <oleauto.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace zp::wbem {
namespace {

// How often a process with consumers looks for new events. Producers and consumers may be in
// different processes, which share nothing but the database file; polling the events table is
// the one way to learn of a commit that needs no extra machinery (no named semaphores or
// sockets to create, clean up after a crash, or secure). One poll is one indexed read of the
// rows after the last sequence number seen, a few microseconds, so polling every 2 ms costs
// well under one percent of a core while giving a delivery latency of a few milliseconds.
// Indications made in this process wake the reader at once.
constexpr auto kPollInterval = std::chrono::milliseconds(2);
// How often the reader forgets consumer registrations of processes that died.
constexpr auto kSweepInterval = std::chrono::seconds(1);
constexpr std::size_t kBatch = 256;

std::int64_t nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// TIME_CREATED: 100-nanosecond intervals since 1601-01-01 UTC.
std::wstring timeCreated() {
    constexpr std::uint64_t kEpochDifference = 116444736000000000ULL; // 1601 to 1970
    const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    return std::to_wstring(kEpochDifference + static_cast<std::uint64_t>(since1970) / 100);
}

// When a process started (clock ticks after boot), which tells a live process from a later one
// that reuses its id; -1 when there is no such process.
std::int64_t processStart(std::int64_t pid) {
    char name[64];
    std::snprintf(name, sizeof name, "/proc/%lld/stat", static_cast<long long>(pid));
    FILE* file = std::fopen(name, "r");
    if (!file)
        return -1;
    char line[1024] = {};
    const size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = '\0';
    // The command name in parentheses may hold blanks: the fields count from its end.
    const char* at = std::strrchr(line, ')');
    if (!at)
        return -1;
    int field = 2;
    for (; *at && field < 22; ++at) {
        if (*at == ' ')
            ++field;
    }
    return field == 22 ? std::atoll(at) : -1;
}

bool consumerAlive(const EventConsumerRow& row) {
    return processStart(row.process) == row.started;
}

// Runs a store call for the event service, turning its failures into WMI statuses.
template <class Work>
HRESULT guarded(Work&& work) {
    try {
        work();
        return WBEM_S_NO_ERROR;
    } catch (const StoreError&) {
        return WBEM_E_CRITICAL_ERROR;
    } catch (const std::bad_alloc&) {
        return WBEM_E_OUT_OF_MEMORY;
    }
}

// ---- Intrinsic event objects

// The system's event classes, decoded once, for making intrinsic events without a repository.
const ClassDefPtr& eventClass(InstanceChange change) {
    static const std::map<InstanceChange, ClassDefPtr> classes = [] {
        std::map<std::wstring, ClassDefPtr> byName;
        for (const SystemClass& system : systemClasses()) {
            const ClassDefPtr parent =
                system.superclass.empty() ? nullptr : byName.at(system.superclass);
            ClassDefPtr definition;
            if (FAILED(decodeClass(system.definition.data(), system.definition.size(), parent,
                                   nullptr, definition)))
                throw std::logic_error("the system event classes do not decode");
            byName[system.name] = definition;
        }
        return std::map<InstanceChange, ClassDefPtr>{
            {InstanceChange::Created, byName.at(L"__InstanceCreationEvent")},
            {InstanceChange::Modified, byName.at(L"__InstanceModificationEvent")},
            {InstanceChange::Deleted, byName.at(L"__InstanceDeletionEvent")}};
    }();
    return classes.at(change);
}

HRESULT putObject(IWbemClassObject* event, const wchar_t* name, IWbemClassObject* value) {
    _variant_t v;
    v.vt = VT_UNKNOWN;
    v.punkVal = value;
    value->AddRef();
    return event->Put(name, 0, &v, 0);
}

HRESULT stampTime(IWbemClassObject* event) {
    _variant_t stamp(timeCreated().c_str());
    return event->Put(L"TIME_CREATED", 0, &stamp, 0);
}

// ---- Consumers

// One consumer: what its query asks for, and the events that matched and wait to be read.
class Subscription {
public:
    Subscription(RowId nameSpace, std::shared_ptr<const wql::Query> query, bool instanceEvents)
        : nameSpace(nameSpace), instanceEvents(instanceEvents), m_query(std::move(query)) {}

    const RowId nameSpace;
    const bool instanceEvents; // its query can match intrinsic events
    // Set once when the subscription starts, under the hub's lock: it receives only what follows.
    std::int64_t watermark = 0;
    RowId consumerRow = 0;

    bool matches(IWbemClassObject* event) const {
        _variant_t cls;
        const bool same = SUCCEEDED(event->Get(L"__CLASS", 0, &cls, nullptr, nullptr)) &&
                          cls.vt == VT_BSTR && sameName(m_query->className, cls.bstrVal);
        if (!same && event->InheritsFrom(m_query->className.c_str()) != WBEM_S_NO_ERROR)
            return false;
        return !m_query->where || wql::matches(*m_query->where, event);
    }

    // A full queue drops its oldest event: a consumer that stops reading costs a bounded
    // amount of memory and never holds anybody up.
    void push(ComRef<IWbemClassObject> event) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_closed)
                return;
            if (m_queue.size() >= kQueuedEvents)
                m_queue.pop_front();
            m_queue.push_back(std::move(event));
        }
        m_ready.notify_all();
    }

    // Up to `limit` events, waiting up to `timeout` ms for the first (WBEM_INFINITE: no limit).
    // WBEM_S_TIMEDOUT when none came; WBEM_S_FALSE once closed and empty.
    HRESULT take(std::size_t limit, ULONG timeout, ObjectList& out) {
        std::unique_lock<std::mutex> guard(m_lock);
        const auto ready = [&] { return !m_queue.empty() || m_closed; };
        if (timeout == WBEM_INFINITE)
            m_ready.wait(guard, ready);
        else if (!m_ready.wait_for(guard, std::chrono::milliseconds(timeout), ready))
            return WBEM_S_TIMEDOUT;
        if (m_queue.empty())
            return WBEM_S_FALSE;
        for (; limit > 0 && !m_queue.empty(); --limit) {
            out.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        return WBEM_S_NO_ERROR;
    }

    void close() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_closed = true;
            m_queue.clear();
        }
        m_ready.notify_all();
    }

private:
    std::shared_ptr<const wql::Query> m_query;
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<ComRef<IWbemClassObject>> m_queue;
    bool m_closed = false;
};

using SubscriptionPtr = std::shared_ptr<Subscription>;

// A subscription that reports to a caller's sink, from a thread of its own so that a slow sink
// holds up nobody else.
struct AsyncCall {
    SubscriptionPtr subscription;
    ComRef<IWbemObjectSink> sink;
    std::thread thread;
    std::mutex delivering; // held while the sink is being called
    bool cancelled = false;
};

// The consumers of one repository in this process, and the thread that reads events for them.
class Hub {
public:
    explicit Hub(RepositoryStore& store) : m_store(store) {}
    ~Hub() {
        std::vector<std::shared_ptr<AsyncCall>> calls;
        {
            std::lock_guard<std::mutex> guard(m_callsLock);
            for (auto& entry : m_calls)
                calls.push_back(entry.second);
            m_calls.clear();
        }
        for (auto& call : calls) {
            call->subscription->close();
            if (call->thread.joinable())
                call->thread.join();
        }
        std::lock_guard<std::mutex> lifecycle(m_lifecycle);
        stopReader();
    }

    static Hub& of(RepositoryStore& store) {
        static std::mutex lock;
        static std::map<RepositoryStore*, std::unique_ptr<Hub>> hubs;
        std::lock_guard<std::mutex> guard(lock);
        std::unique_ptr<Hub>& hub = hubs[&store];
        if (!hub)
            hub = std::make_unique<Hub>(store);
        return *hub;
    }

    RepositoryStore& store() { return m_store; }

    // Starts delivering to `subscription` what follows the events stored so far.
    HRESULT subscribe(const SubscriptionPtr& subscription) {
        std::lock_guard<std::mutex> lifecycle(m_lifecycle);
        std::lock_guard<std::mutex> guard(m_lock);
        // The watermark is read under the hub's lock, so the reader cannot hand out events
        // between reading it and adding the subscription.
        HRESULT hr;
        if (subscription->instanceEvents) {
            hr = guarded([&] {
                m_store.write([&](Transaction& t) {
                    for (const EventConsumerRow& row : t.eventConsumers()) {
                        if (!consumerAlive(row))
                            t.removeEventConsumer(row.id);
                    }
                    subscription->consumerRow =
                        t.addEventConsumer(subscription->nameSpace, getpid(), m_started);
                    subscription->watermark = t.lastEventSequence();
                });
            });
        } else {
            hr = guarded([&] {
                subscription->watermark =
                    m_store.read([](Transaction& t) { return t.lastEventSequence(); });
            });
        }
        if (FAILED(hr))
            return hr;
        if (m_subscriptions.empty())
            m_cursor = subscription->watermark;
        m_subscriptions.push_back(subscription);
        if (!m_reader.joinable()) {
            m_stop = std::make_shared<std::atomic<bool>>(false);
            m_reader = std::thread([this, stop = m_stop] { read(stop); });
        }
        return WBEM_S_NO_ERROR;
    }

    void unsubscribe(const SubscriptionPtr& subscription) {
        subscription->close();
        std::lock_guard<std::mutex> lifecycle(m_lifecycle);
        bool last = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto found = std::find(m_subscriptions.begin(), m_subscriptions.end(), subscription);
            if (found == m_subscriptions.end())
                return;
            m_subscriptions.erase(found);
            last = m_subscriptions.empty();
        }
        if (subscription->consumerRow != 0) {
            guarded([&] {
                m_store.write(
                    [&](Transaction& t) { t.removeEventConsumer(subscription->consumerRow); });
            });
        }
        // The last consumer takes the reader with it.
        if (last)
            stopReader();
    }

    // Looks for new events at once: this process has just stored some.
    void wake() {
        {
            std::lock_guard<std::mutex> guard(m_wakeLock);
            m_woken = true;
        }
        m_wake.notify_all();
    }

    // Asynchronous calls, found again by their sink.
    HRESULT startCall(const SubscriptionPtr& subscription, IWbemObjectSink* sink) {
        auto call = std::make_shared<AsyncCall>();
        call->subscription = subscription;
        call->sink = ComRef<IWbemObjectSink>::share(sink);
        std::lock_guard<std::mutex> guard(m_callsLock);
        const HRESULT hr = subscribe(subscription);
        if (FAILED(hr))
            return hr;
        call->thread = std::thread([call] { deliver(*call); });
        m_calls.emplace(sink, call);
        return WBEM_S_NO_ERROR;
    }

    // WBEM_E_NOT_FOUND when `sink` has no subscription here.
    HRESULT cancelCall(IWbemObjectSink* sink) {
        std::shared_ptr<AsyncCall> call;
        {
            std::lock_guard<std::mutex> guard(m_callsLock);
            auto found = m_calls.find(sink);
            if (found == m_calls.end())
                return WBEM_E_NOT_FOUND;
            call = found->second;
            m_calls.erase(found);
        }
        unsubscribe(call->subscription);
        if (call->thread.get_id() == std::this_thread::get_id()) {
            // Cancelled from inside its own sink: that call is the last; the thread ends, and
            // releases the sink, once it returns.
            call->cancelled = true;
            call->thread.detach();
        } else {
            {
                std::lock_guard<std::mutex> guard(call->delivering);
                call->cancelled = true;
            }
            call->thread.join();
        }
        call->sink->SetStatus(WBEM_STATUS_COMPLETE, WBEM_E_CALL_CANCELLED, nullptr, nullptr);
        return WBEM_S_NO_ERROR;
    }

private:
    static void deliver(AsyncCall& call) {
        for (;;) {
            ObjectList batch;
            const HRESULT hr = call.subscription->take(kBatch, WBEM_INFINITE, batch);
            if (hr != WBEM_S_NO_ERROR)
                return;
            std::vector<IWbemClassObject*> pointers;
            for (const auto& event : batch)
                pointers.push_back(event.get());
            std::lock_guard<std::mutex> guard(call.delivering);
            if (call.cancelled)
                return;
            call.sink->Indicate(static_cast<LONG>(pointers.size()), pointers.data());
            if (call.cancelled)
                return;
        }
    }

    // Expects m_lifecycle held.
    void stopReader() {
        if (!m_reader.joinable())
            return;
        *m_stop = true;
        wake();
        m_reader.join();
    }

    void read(const std::shared_ptr<std::atomic<bool>>& stop) {
        auto lastSweep = std::chrono::steady_clock::now();
        while (!*stop) {
            {
                std::unique_lock<std::mutex> guard(m_wakeLock);
                m_wake.wait_for(guard, kPollInterval, [&] { return m_woken || *stop; });
                m_woken = false;
            }
            if (*stop)
                return;
            distribute();
            if (std::chrono::steady_clock::now() - lastSweep > kSweepInterval) {
                sweep();
                lastSweep = std::chrono::steady_clock::now();
            }
        }
    }

    // Hands the events stored since the last look to the matching subscriptions.
    void distribute() {
        for (;;) {
            std::int64_t cursor;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                cursor = m_cursor;
            }
            std::vector<EventRow> rows;
            if (FAILED(guarded([&] {
                    rows =
                        m_store.read([&](Transaction& t) { return t.eventsAfter(cursor, kBatch); });
                })))
                return;
            std::lock_guard<std::mutex> guard(m_lock);
            for (const EventRow& row : rows) {
                if (row.sequence <= m_cursor)
                    continue;
                m_cursor = row.sequence;
                ComRef<IWbemClassObject> event;
                bool decoded = false;
                std::vector<Subscription*> targets;
                for (const SubscriptionPtr& subscription : m_subscriptions) {
                    if (subscription->nameSpace != row.nameSpace ||
                        row.sequence <= subscription->watermark)
                        continue;
                    if (!decoded) {
                        decoded = true;
                        decodeObject(row.data.data(), row.data.size(), event.put());
                    }
                    if (event && subscription->matches(event.get()))
                        targets.push_back(subscription.get());
                }
                // Each consumer gets an object of its own.
                for (std::size_t i = 0; i < targets.size(); ++i) {
                    ComRef<IWbemClassObject> own = event;
                    if (i + 1 < targets.size() && FAILED(event->Clone(own.put())))
                        continue;
                    targets[i]->push(std::move(own));
                }
            }
            if (rows.size() < kBatch)
                return;
        }
    }

    // Forgets the registrations of consumers whose process has gone (killed, say), so that
    // writers stop raising instance events nobody reads.
    void sweep() {
        std::vector<RowId> dead;
        guarded([&] {
            for (const EventConsumerRow& row :
                 m_store.read([](Transaction& t) { return t.eventConsumers(); })) {
                if (!consumerAlive(row))
                    dead.push_back(row.id);
            }
            if (!dead.empty()) {
                m_store.write([&](Transaction& t) {
                    for (RowId id : dead)
                        t.removeEventConsumer(id);
                });
            }
        });
    }

    RepositoryStore& m_store;
    const std::int64_t m_started = processStart(getpid());
    std::mutex m_lifecycle; // starting and stopping the reader
    std::mutex m_lock;      // the subscriptions and the cursor
    std::vector<SubscriptionPtr> m_subscriptions;
    std::int64_t m_cursor = 0; // the last event handed out
    std::thread m_reader;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    bool m_woken = false;
    std::mutex m_callsLock;
    std::map<IWbemObjectSink*, std::shared_ptr<AsyncCall>> m_calls;
};

// What a notification enumerator reads from: its subscription, ended with the enumerator.
class EventSource final : public ObjectSource {
public:
    EventSource(Hub& hub, SubscriptionPtr subscription)
        : m_hub(hub), m_subscription(std::move(subscription)) {}
    ~EventSource() override { m_hub.unsubscribe(m_subscription); }

    HRESULT fetch(std::size_t limit, ULONG timeout, ObjectList& out) override {
        return m_subscription->take(limit, timeout, out);
    }
    // Events do not come again: Reset has no effect on a notification enumerator.
    void rewind() override {}
    std::unique_ptr<ObjectSource> clone() const override { return nullptr; }

private:
    Hub& m_hub;
    SubscriptionPtr m_subscription;
};

// ---- Event queries

bool isWql(const wchar_t* language) {
    return sameName(std::wstring(language), L"WQL");
}

// Parses and checks an event query: a SELECT from an event class of the namespace.
HRESULT prepare(Repository& repository, const NamespaceRef& ns, const wchar_t* language,
                const wchar_t* text, SubscriptionPtr& subscription) {
    if (!isWql(language))
        return WBEM_E_INVALID_QUERY_TYPE;
    auto query = std::make_shared<wql::Query>();
    std::wstring error;
    HRESULT hr = wql::parse(text, *query, error);
    if (FAILED(hr))
        return hr;
    if (query->kind != wql::Query::Kind::Select)
        return WBEM_E_INVALID_QUERY;
    ComRef<IWbemClassObject> cls;
    hr = repository.getObject(ns, query->className.c_str(), cls.put());
    if (hr == WBEM_E_NOT_FOUND || hr == WBEM_E_INVALID_OBJECT_PATH)
        return WBEM_E_INVALID_CLASS;
    if (FAILED(hr))
        return hr;
    const auto is = [&](const wchar_t* name) {
        return sameName(query->className, name) || cls->InheritsFrom(name) == WBEM_S_NO_ERROR;
    };
    if (!is(L"__Event"))
        return WBEM_E_NOT_EVENT_CLASS;
    const bool instanceEvents =
        sameName(query->className, L"__Event") || is(L"__InstanceOperationEvent");
    subscription = std::make_shared<Subscription>(ns.id, std::move(query), instanceEvents);
    return WBEM_S_NO_ERROR;
}

Repository& repositoryOf(IWbemServices* services) {
    return static_cast<Services*>(services)->repository();
}

HRESULT execNotificationQuery(IWbemServices* services, const NamespaceRef& ns,
                              const wchar_t* language, const wchar_t* query, LONG flags,
                              IWbemContext*, IEnumWbemClassObject** enumerator) {
    // Events keep coming: only a semisynchronous, forward-only call can hand them out.
    constexpr LONG kRequired = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;
    if ((flags & kRequired) != kRequired)
        return WBEM_E_INVALID_PARAMETER;
    Repository& repository = repositoryOf(services);
    SubscriptionPtr subscription;
    HRESULT hr = prepare(repository, ns, language, query, subscription);
    if (FAILED(hr))
        return hr;
    Hub& hub = Hub::of(repository.store());
    hr = hub.subscribe(subscription);
    if (FAILED(hr))
        return hr;
    std::unique_ptr<ObjectSource> source;
    try {
        source = std::make_unique<EventSource>(hub, subscription);
    } catch (const std::bad_alloc&) {
        hub.unsubscribe(subscription);
        return WBEM_E_OUT_OF_MEMORY;
    }
    return Enumerator::create(std::move(source), true, enumerator);
}

HRESULT execNotificationQueryAsync(IWbemServices* services, const NamespaceRef& ns,
                                   const wchar_t* language, const wchar_t* query, LONG,
                                   IWbemContext*, IWbemObjectSink* sink) {
    Repository& repository = repositoryOf(services);
    SubscriptionPtr subscription;
    HRESULT hr = prepare(repository, ns, language, query, subscription);
    if (SUCCEEDED(hr))
        hr = Hub::of(repository.store()).startCall(subscription, sink);
    if (FAILED(hr)) {
        // As for every asynchronous call, a refused query is reported to the sink.
        sink->SetStatus(WBEM_STATUS_COMPLETE, hr, nullptr, nullptr);
    }
    return WBEM_S_NO_ERROR;
}

HRESULT cancelAsyncCall(IWbemObjectSink* sink) {
    Repository* repository = nullptr;
    if (FAILED(Repository::machine(repository)))
        return WBEM_E_INVALID_PARAMETER;
    const HRESULT hr = Hub::of(repository->store()).cancelCall(sink);
    // Every other asynchronous call has ended: there is nothing to cancel.
    return hr == WBEM_E_NOT_FOUND ? WBEM_E_INVALID_PARAMETER : hr;
}

// ---- Indications

// The sink that QueryObjectSink gives: what is indicated on it is stored for every consumer.
class IndicationSink final : public com::Unknown<IndicationSink, IWbemObjectSink> {
public:
    IndicationSink(RepositoryStore& store, NamespaceRef ns) : m_store(store), m_ns(std::move(ns)) {}

    // Stores the events of one call together, or none of them: only instances of extrinsic
    // event classes may be indicated (the service raises the intrinsic ones itself).
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
        if (count < 0 || (count > 0 && !objects))
            return WBEM_E_INVALID_PARAMETER;
        std::vector<Blob> events;
        for (LONG i = 0; i < count; ++i) {
            IWbemClassObject* object = objects[i];
            ClassObject* given = ClassObject::from(object);
            if (!given)
                return WBEM_E_INVALID_PARAMETER;
            if (given->genus() != Genus::Instance ||
                object->InheritsFrom(L"__ExtrinsicEvent") != WBEM_S_NO_ERROR)
                return WBEM_E_NOT_EVENT_CLASS;
            // The event is stamped with its time when it carries none; the caller's object
            // stays as it was.
            ComRef<IWbemClassObject> event;
            HRESULT hr = object->Clone(event.put());
            if (FAILED(hr))
                return hr;
            _variant_t stamp;
            if (SUCCEEDED(event->Get(L"TIME_CREATED", 0, &stamp, nullptr, nullptr)) &&
                (stamp.vt == VT_NULL || stamp.vt == VT_EMPTY)) {
                hr = stampTime(event.get());
                if (FAILED(hr))
                    return hr;
            }
            Blob data;
            hr = encodeObject(event.get(), data);
            if (FAILED(hr))
                return hr;
            events.push_back(std::move(data));
        }
        if (events.empty())
            return WBEM_S_NO_ERROR;
        const std::int64_t now = nowMilliseconds();
        const HRESULT hr = guarded([&] {
            m_store.write([&](Transaction& t) {
                for (const Blob& data : events)
                    t.insertEvent(m_ns.id, data, now, kRetainedEvents, now - kRetainedMilliseconds);
            });
        });
        if (SUCCEEDED(hr))
            Hub::of(m_store).wake();
        return hr;
    }

    // Nothing waits for the outcome of an indication: the status is taken and dropped.
    HRESULT STDMETHODCALLTYPE SetStatus(LONG, HRESULT, BSTR, IWbemClassObject*) override {
        return WBEM_S_NO_ERROR;
    }

private:
    friend Unknown;
    ~IndicationSink() = default;

    RepositoryStore& m_store;
    const NamespaceRef m_ns;
};

HRESULT queryObjectSink(const NamespaceRef& ns, IWbemObjectSink** sink) {
    Repository* repository = nullptr;
    const HRESULT hr = Repository::machine(repository);
    if (FAILED(hr))
        return hr;
    *sink = new (std::nothrow) IndicationSink(repository->store(), ns);
    return *sink ? WBEM_S_NO_ERROR : WBEM_E_OUT_OF_MEMORY;
}

const bool g_registered = [] {
    setNotificationQueryHandler(&execNotificationQuery);
    setNotificationAsyncHandler(&execNotificationQueryAsync);
    setCancelHandler(&cancelAsyncCall);
    setSinkHandler(&queryObjectSink);
    return true;
}();

} // namespace

void recordInstanceEvent(Transaction& t, const NamespaceRef& ns, InstanceChange change,
                         IWbemClassObject* target, IWbemClassObject* previous) {
    ComRef<IWbemClassObject> event =
        ComRef<IWbemClassObject>::adopt(newInstance(eventClass(change)));
    if (!event || FAILED(putObject(event.get(), L"TargetInstance", target)) ||
        (previous && FAILED(putObject(event.get(), L"PreviousInstance", previous))) ||
        FAILED(stampTime(event.get())))
        return;
    Blob data;
    if (FAILED(encodeObject(event.get(), data)))
        return;
    const std::int64_t now = nowMilliseconds();
    t.insertEvent(ns.id, data, now, kRetainedEvents, now - kRetainedMilliseconds);
}

} // namespace zp::wbem
