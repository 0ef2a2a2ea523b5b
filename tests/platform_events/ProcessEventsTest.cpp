// Events between processes: what one process indicates or writes reaches consumers in another,
// once each and in order, and a consumer killed without a goodbye stops costing the writers.
#include "EventsTesting.h"

#include "support/Child.h"

#include <fstream>

using namespace wbem_testing;
using namespace events_testing;

namespace {

std::vector<std::string> lines(const std::string& file) {
    std::vector<std::string> result;
    std::ifstream in(zudava_test::hostPath(file));
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

class ProcessEventsTest : public EventsTest {
protected:
    // Starts a child consumer of `query` that reads `count` events, and waits until its query
    // has begun.
    std::unique_ptr<zudava_test::Child> startConsumer(const std::string& query, int count) {
        auto child = std::make_unique<zudava_test::Child>("consume " + narrow(m_path) + " \"" +
                                                          query + "\" " + std::to_string(count) +
                                                          " " + ready() + " " + output());
        EXPECT_TRUE(child->started);
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(ready()); }))
            << "the consumer did not start";
        return child;
    }
    std::string ready() const { return m_folder.file("ready"); }
    std::string output() const { return m_folder.file("events"); }

    zudava_test::ScratchFolder m_folder;
};

TEST_F(ProcessEventsTest, EventsIndicatedByAnotherProcessArriveOnceInOrder) {
    defineEventClass(L"Tick");
    indicate(L"Tick", {-1}); // before the query: never received
    IEnumWbemClassObjectPtr events = subscribe(L"SELECT * FROM Tick");
    zudava_test::Child child("indicate " + narrow(m_path) + " Tick 1 50");
    ASSERT_TRUE(child.started);
    const std::vector<IWbemClassObjectPtr> received = read(events, 10000, 50);
    EXPECT_EQ(0u, child.finish());
    std::vector<long> expected;
    for (long i = 1; i <= 50; ++i)
        expected.push_back(i);
    EXPECT_EQ(expected, seqs(received));
    EXPECT_TRUE(read(events, 200).empty()) << "an event came twice";
}

TEST_F(ProcessEventsTest, ConsumerInAnotherProcessReceivesOnlyWhatFollowsItsQuery) {
    defineEventClass(L"Tick");
    indicate(L"Tick", {-1});
    auto child = startConsumer("SELECT * FROM Tick WHERE Seq > 0", 3);
    indicate(L"Tick", {0, 1, 2});
    indicate(L"Tick", {3});
    EXPECT_EQ(0u, child->finish()) << "the consumer missed an event or got one twice";
    EXPECT_EQ((std::vector<std::string>{"Tick 1", "Tick 2", "Tick 3"}), lines(output()));
}

TEST_F(ProcessEventsTest, InstanceWritesReachAConsumerInAnotherProcess) {
    defineClass(L"Item", nullptr, {{L"Id", CIM_SINT32, true}});
    auto child =
        startConsumer("SELECT * FROM __InstanceCreationEvent WHERE TargetInstance ISA 'Item'", 2);
    for (long id : {1L, 2L}) {
        IWbemClassObjectPtr item = spawn(L"Item");
        set(item, L"Id", _variant_t(id));
        ASSERT_EQ(S_OK, put(item));
    }
    EXPECT_EQ(0u, child->finish());
    EXPECT_EQ((std::vector<std::string>{"__InstanceCreationEvent 1", "__InstanceCreationEvent 2"}),
              lines(output()));
}

TEST_F(ProcessEventsTest, KilledConsumerStopsCostingTheWriters) {
    defineClass(L"Item", nullptr, {{L"Id", CIM_SINT32, true}});
    auto child = startConsumer("SELECT * FROM __InstanceCreationEvent", 1000);
    long id = 0;
    const auto store = [&] {
        IWbemClassObjectPtr item = spawn(L"Item");
        set(item, L"Id", _variant_t(++id));
        EXPECT_EQ(S_OK, put(item));
    };
    const std::uint64_t before = storedEvents();
    store();
    EXPECT_EQ(before + 1, storedEvents()) << "the child's query does not raise instance events";
    child->kill();
    // Any process with consumers forgets registrations of processes that are gone.
    IEnumWbemClassObjectPtr keepsReaderRunning = subscribe(L"SELECT * FROM __ExtrinsicEvent");
    EXPECT_TRUE(waitFor([&] {
        const std::uint64_t stored = storedEvents();
        store();
        return storedEvents() == stored;
    })) << "writers still raise events for a dead consumer";
}

} // namespace
