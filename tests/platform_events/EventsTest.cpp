// Events of the embedded WMI service: the indication sink, notification queries through an
// enumerator and through a caller's sink, intrinsic events of instance writes, and what a
// consumer that stops reading costs. The processes' side is in ProcessEventsTest.cpp.
#include "EventsTesting.h"

#include "wbem/events.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace wbem_testing;
using namespace events_testing;

namespace {

// ---- The sink that QueryObjectSink gives

TEST_F(EventsTest, SinkRefusesWhatIsNoExtrinsicEventAndStoresNothingOfThatCall) {
    defineEventClass(L"Tick");
    defineClass(L"Plain", nullptr, {{L"Id", CIM_SINT32, true}});
    IEnumWbemClassObjectPtr events = subscribe(L"SELECT * FROM Tick");
    ASSERT_TRUE(events);

    IWbemObjectSinkPtr sink = querySink();
    ASSERT_TRUE(sink);
    EXPECT_EQ(status(WBEM_S_NO_ERROR), sink->Indicate(0, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), sink->Indicate(1, nullptr));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), sink->Indicate(-1, nullptr));

    IWbemClassObjectPtr plain = spawn(L"Plain");
    IWbemClassObjectPtr tickClass = object(L"Tick");
    IWbemClassObjectPtr creation = spawn(L"__InstanceCreationEvent");
    for (IWbemClassObject* wrong :
         {plain.GetInterfacePtr(), tickClass.GetInterfacePtr(), creation.GetInterfacePtr()}) {
        IWbemClassObject* batch[] = {tick(L"Tick", 1), wrong};
        EXPECT_EQ(status(WBEM_E_NOT_EVENT_CLASS), sink->Indicate(2, batch));
        batch[0]->Release();
    }
    EXPECT_EQ(status(WBEM_S_NO_ERROR),
              sink->SetStatus(WBEM_STATUS_COMPLETE, WBEM_S_NO_ERROR, nullptr, nullptr));
    EXPECT_TRUE(read(events, 100).empty()) << "a refused batch delivered part of itself";

    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_services->QueryObjectSink(0, nullptr));
}

TEST_F(EventsTest, IndicatedEventCarriesItsValuesAndATimeWithoutChangingTheCallersObject) {
    defineEventClass(L"Tick");
    IEnumWbemClassObjectPtr events = subscribe(L"SELECT * FROM Tick");
    IWbemClassObjectPtr event(tick(L"Tick", 7), false);
    IWbemClassObject* batch[] = {event};
    ASSERT_EQ(status(WBEM_S_NO_ERROR), querySink()->Indicate(1, batch));
    EXPECT_EQ(VT_NULL, get(event, L"TIME_CREATED").vt);

    const std::vector<IWbemClassObjectPtr> received = read(events, 2000, 1);
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(L"Tick", text(received[0], L"__CLASS"));
    EXPECT_EQ(7, get(received[0], L"Seq").lVal);
    // 100 ns units since 1601: some time after 2020 (13,2xx,xxx,xxx,xxx,xxx,xxx).
    const _variant_t stamp = get(received[0], L"TIME_CREATED");
    ASSERT_EQ(VT_BSTR, stamp.vt);
    EXPECT_GT(std::wcstoull(stamp.bstrVal, nullptr, 10), 132223104000000000ULL);
}

// ---- Notification queries

TEST_F(EventsTest, QueriesAreCheckedAsWindowsChecksThem) {
    defineEventClass(L"Tick");
    defineClass(L"Plain", nullptr, {{L"Id", CIM_SINT32, true}});
    const LONG both = WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY;
    const struct {
        const wchar_t* language;
        const wchar_t* query;
        LONG flags;
        HRESULT expected;
    } cases[] = {
        {L"WQL", L"SELECT * FROM Tick", 0, status(WBEM_E_INVALID_PARAMETER)},
        {L"WQL", L"SELECT * FROM Tick", WBEM_FLAG_RETURN_IMMEDIATELY,
         status(WBEM_E_INVALID_PARAMETER)},
        {L"WQL", L"SELECT * FROM Tick", WBEM_FLAG_FORWARD_ONLY, status(WBEM_E_INVALID_PARAMETER)},
        {L"SQL", L"SELECT * FROM Tick", both, status(WBEM_E_INVALID_QUERY_TYPE)},
        {L"WQL", L"SELECT * Tick", both, status(WBEM_E_INVALID_QUERY)},
        {L"WQL", L"SELECT * FROM Tick WHERE", both, status(WBEM_E_INVALID_QUERY)},
        {L"WQL", L"ASSOCIATORS OF {Plain.Id=1}", both, status(WBEM_E_INVALID_QUERY)},
        {L"WQL", L"SELECT * FROM NoSuchClass", both, status(WBEM_E_INVALID_CLASS)},
        {L"WQL", L"SELECT * FROM Plain", both, status(WBEM_E_NOT_EVENT_CLASS)},
        {L"WQL", L"SELECT * FROM __IndicationRelated", both, status(WBEM_E_NOT_EVENT_CLASS)},
        {L"wql", L"select * from tick within 5 where Seq > 1", both, status(WBEM_S_NO_ERROR)},
        {L"WQL", L"SELECT * FROM __Event", both, status(WBEM_S_NO_ERROR)},
    };
    for (const auto& c : cases) {
        IEnumWbemClassObject* enumerator = reinterpret_cast<IEnumWbemClassObject*>(0x1);
        const HRESULT hr = m_services->ExecNotificationQuery(_bstr_t(c.language), _bstr_t(c.query),
                                                             c.flags, nullptr, &enumerator);
        EXPECT_EQ(c.expected, hr) << narrow(c.query) << " flags " << c.flags;
        if (SUCCEEDED(hr))
            enumerator->Release();
        else
            EXPECT_EQ(nullptr, enumerator) << narrow(c.query);
    }
}

TEST_F(EventsTest, NextWaitsUpToItsTimeoutAndReturnsWhatCame) {
    defineEventClass(L"Tick");
    IEnumWbemClassObjectPtr events = subscribe(L"SELECT * FROM Tick");
    IWbemClassObject* objects[3] = {};
    ULONG returned = 7;
    EXPECT_EQ(status(WBEM_S_TIMEDOUT), events->Next(0, 1, objects, &returned));
    EXPECT_EQ(0u, returned);
    EXPECT_EQ(status(WBEM_S_TIMEDOUT), events->Next(30, 1, objects, &returned));
    EXPECT_EQ(0u, returned);

    // An event indicated while Next waits without limit ends the wait.
    std::thread producer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        indicate(L"Tick", {1});
    });
    EXPECT_EQ(status(WBEM_S_NO_ERROR), events->Next(kInfinite, 1, objects, &returned));
    producer.join();
    ASSERT_EQ(1u, returned);
    EXPECT_EQ(1, get(objects[0], L"Seq").lVal);
    objects[0]->Release();

    // Fewer events than asked for: those that came, and WBEM_S_TIMEDOUT.
    indicate(L"Tick", {2, 3});
    EXPECT_EQ(status(WBEM_S_TIMEDOUT), events->Next(100, 3, objects, &returned));
    ASSERT_EQ(2u, returned);
    EXPECT_EQ(2, get(objects[0], L"Seq").lVal);
    EXPECT_EQ(3, get(objects[1], L"Seq").lVal);
    objects[0]->Release();
    objects[1]->Release();
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), events->Next(-2, 1, objects, &returned));
}

TEST_F(EventsTest, ConsumersReceiveWhatMatchesOnlyOnceAndNothingFromBeforeTheirQuery) {
    defineEventClass(L"Tick");
    defineEventClass(L"FastTick", L"Tick");
    defineEventClass(L"Tock");
    indicate(L"Tick", {-1}); // before every query: nobody receives it
    IEnumWbemClassObjectPtr all = subscribe(L"SELECT * FROM Tick");
    IEnumWbemClassObjectPtr big = subscribe(L"SELECT * FROM Tick WHERE Seq >= 3");
    IEnumWbemClassObjectPtr extrinsic = subscribe(L"SELECT * FROM __ExtrinsicEvent");
    indicate(L"Tick", {1, 2});
    indicate(L"FastTick", {3});
    indicate(L"Tock", {4});
    indicate(L"Tick", {5});
    EXPECT_EQ((std::vector<long>{1, 2, 3, 5}), seqs(read(all, 300)));
    EXPECT_EQ((std::vector<long>{3, 5}), seqs(read(big, 300)));
    EXPECT_EQ((std::vector<long>{1, 2, 3, 4, 5}), seqs(read(extrinsic, 300)));

    // Each consumer has objects of its own.
    indicate(L"Tick", {6});
    const auto first = read(all, 2000, 1);
    const auto second = read(extrinsic, 2000, 1);
    ASSERT_EQ(1u, first.size());
    ASSERT_EQ(1u, second.size());
    set(first[0], L"Seq", _variant_t(60L));
    EXPECT_EQ(6, get(second[0], L"Seq").lVal);
}

TEST_F(EventsTest, EventsStayInTheirNamespace) {
    defineEventClass(L"Tick");
    IEnumWbemClassObjectPtr here = subscribe(L"SELECT * FROM Tick");
    IWbemServicesPtr other;
    ASSERT_EQ(S_OK, connect(m_locator, L"root\\default", other));
    IEnumWbemClassObjectPtr there;
    ASSERT_EQ(S_OK, other->ExecNotificationQuery(
                        _bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM __Event"),
                        WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr, &there));
    indicate(L"Tick", {1});
    EXPECT_EQ((std::vector<long>{1}), seqs(read(here, 2000, 1)));
    EXPECT_TRUE(read(there, 100).empty());
}

TEST_F(EventsTest, ReleasingTheLastConsumerEndsTheReaderThread) {
    defineEventClass(L"Tick");
    const std::size_t before = threadCount();
    {
        IEnumWbemClassObjectPtr a = subscribe(L"SELECT * FROM Tick");
        IEnumWbemClassObjectPtr b = subscribe(L"SELECT * FROM Tick");
        EXPECT_EQ(before + 1, threadCount()) << "one reader per process, whatever the consumers";
        indicate(L"Tick", {1});
        EXPECT_EQ(1u, read(a, 2000, 1).size());
    }
    EXPECT_EQ(before, threadCount());
    // And a new consumer starts it again.
    IEnumWbemClassObjectPtr again = subscribe(L"SELECT * FROM Tick");
    indicate(L"Tick", {2});
    EXPECT_EQ((std::vector<long>{2}), seqs(read(again, 2000, 1)));
}

// ---- Asynchronous subscriptions

TEST_F(EventsTest, AsyncSubscriptionDeliversUntilCancelledAndThenReleasesTheSink) {
    defineEventClass(L"Tick");
    RecordingSink* sink = new RecordingSink;
    ASSERT_EQ(status(WBEM_S_NO_ERROR),
              m_services->ExecNotificationQueryAsync(
                  _bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM Tick"), 0, nullptr, sink));
    indicate(L"Tick", {1, 2});
    ASSERT_TRUE(sink->waitForEvents(2));
    EXPECT_EQ((std::vector<long>{1, 2}), sink->seqs());
    EXPECT_GT(sink->references(), 1u);
    const std::size_t callsBefore = sink->calls();

    EXPECT_EQ(status(WBEM_S_NO_ERROR), m_services->CancelAsyncCall(sink));
    EXPECT_EQ((std::vector<HRESULT>{status(WBEM_E_CALL_CANCELLED)}), sink->statuses());
    EXPECT_EQ(1u, sink->references()) << "the service still holds the sink";
    indicate(L"Tick", {3});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(callsBefore + 1, sink->calls()) << "a call came after CancelAsyncCall returned";

    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_services->CancelAsyncCall(sink));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), m_services->CancelAsyncCall(nullptr));
    sink->Release();
}

TEST_F(EventsTest, AsyncSubscriptionCanBeCancelledFromInsideItsSink) {
    defineEventClass(L"Tick");
    RecordingSink* sink = new RecordingSink;
    IWbemServicesPtr services = m_services;
    sink->onIndicate = [services, sink] { services->CancelAsyncCall(sink); };
    ASSERT_EQ(status(WBEM_S_NO_ERROR),
              m_services->ExecNotificationQueryAsync(
                  _bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM Tick"), 0, nullptr, sink));
    indicate(L"Tick", {1});
    ASSERT_TRUE(sink->waitForEvents(1));
    indicate(L"Tick", {2});
    ASSERT_TRUE(waitFor([&] { return sink->references() == 1; })) << "the sink was not released";
    EXPECT_EQ((std::vector<long>{1}), sink->seqs());
    EXPECT_EQ((std::vector<HRESULT>{status(WBEM_E_CALL_CANCELLED)}), sink->statuses());
    sink->Release();
}

TEST_F(EventsTest, AsyncQueryThatIsRefusedReportsToTheSinkAndKeepsNoReference) {
    RecordingSink* sink = new RecordingSink;
    EXPECT_EQ(status(WBEM_S_NO_ERROR),
              m_services->ExecNotificationQueryAsync(
                  _bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM NoSuchClass"), 0, nullptr, sink));
    EXPECT_EQ((std::vector<HRESULT>{status(WBEM_E_INVALID_CLASS)}), sink->statuses());
    EXPECT_EQ(1u, sink->references());
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER),
              m_services->ExecNotificationQueryAsync(_bstr_t(L"WQL"), _bstr_t(L"SELECT * FROM x"),
                                                     0, nullptr, nullptr));
    sink->Release();
}

// ---- Intrinsic events

TEST_F(EventsTest, InstanceWritesRaiseCreationModificationAndDeletion) {
    defineClass(L"Item", nullptr, {{L"Id", CIM_SINT32, true}, {L"Name", CIM_STRING}});
    defineClass(L"Other", nullptr, {{L"Id", CIM_SINT32, true}});
    IEnumWbemClassObjectPtr events = subscribe(
        L"SELECT * FROM __InstanceOperationEvent WITHIN 1 WHERE TargetInstance ISA 'Item'");
    IEnumWbemClassObjectPtr bigOnes =
        subscribe(L"SELECT * FROM __InstanceCreationEvent WHERE TargetInstance.Id > 5");

    IWbemClassObjectPtr item = spawn(L"Item");
    set(item, L"Id", _variant_t(1L));
    set(item, L"Name", _variant_t(L"first"));
    ASSERT_EQ(S_OK, put(item));
    set(item, L"Name", _variant_t(L"second"));
    ASSERT_EQ(S_OK, put(item, WBEM_FLAG_UPDATE_ONLY));
    IWbemClassObjectPtr other = spawn(L"Other");
    set(other, L"Id", _variant_t(9L));
    ASSERT_EQ(S_OK, put(other));
    ASSERT_EQ(S_OK, m_services->DeleteInstance(_bstr_t(L"Item.Id=1"), 0, nullptr, nullptr));
    // A refused write raises nothing.
    EXPECT_EQ(status(WBEM_E_ALREADY_EXISTS), put(other));

    const std::vector<IWbemClassObjectPtr> received = read(events, 300);
    ASSERT_EQ(3u, received.size());
    EXPECT_EQ(L"__InstanceCreationEvent", text(received[0], L"__CLASS"));
    EXPECT_EQ(L"first", text(embedded(received[0], L"TargetInstance"), L"Name"));
    EXPECT_EQ(L"__InstanceModificationEvent", text(received[1], L"__CLASS"));
    EXPECT_EQ(L"second", text(embedded(received[1], L"TargetInstance"), L"Name"));
    EXPECT_EQ(L"first", text(embedded(received[1], L"PreviousInstance"), L"Name"));
    EXPECT_EQ(L"__InstanceDeletionEvent", text(received[2], L"__CLASS"));
    EXPECT_EQ(L"second", text(embedded(received[2], L"TargetInstance"), L"Name"));
    EXPECT_EQ(VT_BSTR, get(received[2], L"TIME_CREATED").vt);

    const std::vector<IWbemClassObjectPtr> big = read(bigOnes, 100);
    ASSERT_EQ(1u, big.size());
    EXPECT_EQ(L"Other", text(embedded(big[0], L"TargetInstance"), L"__CLASS"));
}

TEST_F(EventsTest, InstanceEventsAreStoredOnlyWhileSomebodyListens) {
    defineClass(L"Item", nullptr, {{L"Id", CIM_SINT32, true}});
    const auto store = [&](long id) {
        IWbemClassObjectPtr item = spawn(L"Item");
        set(item, L"Id", _variant_t(id));
        ASSERT_EQ(S_OK, put(item));
    };
    const std::uint64_t before = storedEvents();
    store(1);
    EXPECT_EQ(before, storedEvents());
    {
        IEnumWbemClassObjectPtr extrinsicOnly = subscribe(L"SELECT * FROM __ExtrinsicEvent");
        store(2);
        EXPECT_EQ(before, storedEvents()) << "an extrinsic query does not ask for instance events";
        IEnumWbemClassObjectPtr listener = subscribe(L"SELECT * FROM __InstanceCreationEvent");
        store(3);
        EXPECT_EQ(before + 1, storedEvents());
    }
    store(4);
    EXPECT_EQ(before + 1, storedEvents()) << "the released consumer is still registered";
}

// ---- What a consumer that stops reading costs

TEST_F(EventsTest, ConsumerThatStopsReadingKeepsOnlyTheNewestEvents) {
    defineEventClass(L"Tick");
    defineEventClass(L"Marker");
    IEnumWbemClassObjectPtr idle = subscribe(L"SELECT * FROM Tick");
    IEnumWbemClassObjectPtr marker = subscribe(L"SELECT * FROM Marker");
    const long total = static_cast<long>(zp::wbem::kQueuedEvents) + 500;
    std::vector<long> seqs(static_cast<std::size_t>(total));
    for (long i = 0; i < total; ++i)
        seqs[static_cast<std::size_t>(i)] = i;
    indicate(L"Tick", seqs);
    // Events are handed out in order: once the marker is here, so are all the ticks.
    indicate(L"Marker", {0});
    ASSERT_EQ(1u, read(marker, 10000, 1).size());

    const std::vector<IWbemClassObjectPtr> kept = read(idle, 0);
    ASSERT_EQ(zp::wbem::kQueuedEvents, kept.size());
    EXPECT_EQ(500, get(kept.front(), L"Seq").lVal);
    EXPECT_EQ(total - 1, get(kept.back(), L"Seq").lVal);
}

TEST_F(EventsTest, DatabaseKeepsABoundedNumberOfEventsWhateverIsIndicated) {
    defineEventClass(L"Tick");
    IEnumWbemClassObjectPtr idle = subscribe(L"SELECT * FROM Tick");
    const auto round = [&](long first) {
        std::vector<long> seqs(1000);
        for (long i = 0; i < 1000; ++i)
            seqs[static_cast<std::size_t>(i)] = first + i;
        for (int call = 0; call < 12; ++call)
            indicate(L"Tick", seqs);
    };
    round(0);
    const auto bound = static_cast<std::uint64_t>(zp::wbem::kRetainedEvents + 64);
    EXPECT_LE(storedEvents(), bound);
    const auto size = repositorySize();
    round(12000);
    EXPECT_LE(storedEvents(), bound);
    // Unbounded, the second round would double the files. The bound leaves room for the
    // write-ahead log, which grows while the consumer's reads hold a checkpoint back.
    EXPECT_LE(repositorySize(), size + size / 2) << "the file grows with every round";
}

} // namespace
