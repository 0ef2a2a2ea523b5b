// The enumerator over a source whose objects are not all ready: Next's and Skip's timeouts give
// what came in time with WBEM_S_TIMEDOUT, lose nothing, and bound the whole call.
#include "WbemObject.h"

#include "wbem/enumerator.h"

#include <chrono>
#include <thread>

namespace {

using zp::wbem::ComRef;
using zp::wbem::Enumerator;
using zp::wbem::ObjectList;
using zp::wbem::ObjectSource;

constexpr LONG kForever = -1; // WBEM_INFINITE as the LONG Next and Skip take

// A source with `ready` objects at hand, then one more every `interval` up to `total`, as a
// provider answering slowly would give them. Objects carry their number in "Id".
class TrickleSource final : public ObjectSource {
public:
    TrickleSource(long ready, long total, std::chrono::milliseconds interval)
        : m_ready(ready), m_total(total), m_interval(interval) {}

    HRESULT fetch(std::size_t limit, ULONG timeout, ObjectList& out) override {
        ++fetches;
        while (m_next <= m_total && limit > 0 && m_next <= m_ready) {
            out.push_back(make(m_next++));
            --limit;
        }
        if (m_next > m_total)
            return WBEM_S_FALSE;
        if (!out.empty())
            return WBEM_S_NO_ERROR;
        if (timeout != WBEM_INFINITE && std::chrono::milliseconds(timeout) < m_interval) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
            return WBEM_S_TIMEDOUT;
        }
        std::this_thread::sleep_for(m_interval);
        out.push_back(make(m_next++));
        return m_next > m_total ? WBEM_S_FALSE : WBEM_S_NO_ERROR;
    }
    void rewind() override { m_next = 1; }
    std::unique_ptr<ObjectSource> clone() const override {
        return std::make_unique<TrickleSource>(*this);
    }

    int fetches = 0;

private:
    static ComRef<IWbemClassObject> make(long id) {
        IWbemClassObjectPtr object = newClass(L"Row");
        EXPECT_EQ(S_OK, put(object, L"Id", _variant_t(id)));
        return ComRef<IWbemClassObject>::adopt(object.Detach());
    }

    long m_ready;
    long m_total;
    std::chrono::milliseconds m_interval;
    long m_next = 1;
};

struct Enumeration {
    TrickleSource* source = nullptr;
    IEnumWbemClassObject* enumerator = nullptr;

    Enumeration(long ready, long total, std::chrono::milliseconds interval) {
        auto made = std::make_unique<TrickleSource>(ready, total, interval);
        source = made.get();
        EXPECT_EQ(S_OK, Enumerator::create(std::move(made), true, &enumerator));
    }
    Enumeration(const Enumeration&) = delete;
    Enumeration& operator=(const Enumeration&) = delete;
    ~Enumeration() {
        if (enumerator) {
            EXPECT_EQ(0u, enumerator->Release());
        }
    }

    // Next's status and the ids it gave.
    std::pair<HRESULT, std::vector<long>> next(LONG timeout, ULONG count) {
        std::vector<IWbemClassObject*> objects(count, nullptr);
        ULONG returned = 0;
        const HRESULT hr = enumerator->Next(timeout, count, objects.data(), &returned);
        std::vector<long> ids;
        for (ULONG i = 0; i < returned; ++i) {
            ids.push_back(get(objects[i], L"Id").lVal);
            objects[i]->Release();
        }
        return {hr, ids};
    }
};

TEST(EnumeratorTimeout, AZeroTimeoutGivesWhatIsReadyThenTimesOut) {
    Enumeration e(2, 5, std::chrono::milliseconds(20));
    auto [first, ready] = e.next(WBEM_NO_WAIT, 5);
    EXPECT_EQ(WBEM_S_TIMEDOUT, first);
    EXPECT_EQ((std::vector<long>{1, 2}), ready);
    auto [again, none] = e.next(WBEM_NO_WAIT, 1);
    EXPECT_EQ(WBEM_S_TIMEDOUT, again);
    EXPECT_TRUE(none.empty());
    // Nothing is lost: waiting gives the rest in order, then the end.
    auto [rest, more] = e.next(kForever, 10);
    EXPECT_EQ(WBEM_S_FALSE, rest);
    EXPECT_EQ((std::vector<long>{3, 4, 5}), more);
}

TEST(EnumeratorTimeout, OneTimeoutBoundsTheWholeCall) {
    // Fifty objects, one every 30 ms: a timeout per refill would let Next(100 ms) run 1.5 s and
    // return them all.
    Enumeration e(0, 50, std::chrono::milliseconds(30));
    auto [hr, ids] = e.next(100, 50);
    EXPECT_EQ(WBEM_S_TIMEDOUT, hr);
    EXPECT_LT(ids.size(), 10u);
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(static_cast<long>(i + 1), ids[i]);
    // Skip honours its timeout the same way: with nothing ready, it passes over nothing.
    const long after = static_cast<long>(ids.size()) + 1;
    EXPECT_EQ(WBEM_S_TIMEDOUT, e.enumerator->Skip(WBEM_NO_WAIT, 3));
    EXPECT_EQ((std::vector<long>{after}), e.next(kForever, 1).second);
}

TEST(EnumeratorTimeout, ReadyObjectsNeverTimeOut) {
    Enumeration e(4, 4, std::chrono::milliseconds(1000));
    auto [hr, ids] = e.next(WBEM_NO_WAIT, 3);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ((std::vector<long>{1, 2, 3}), ids);
    auto [end, last] = e.next(WBEM_NO_WAIT, 3);
    EXPECT_EQ(WBEM_S_FALSE, end);
    EXPECT_EQ((std::vector<long>{4}), last);
    EXPECT_EQ(1, e.source->fetches);
}

} // namespace
