// What the event tests share: a namespace of their own with event classes, consumers and
// producers, a sink that records what it is told, and looks at the repository file itself.
#pragma once

#include "platform_wbem/WbemTesting.h"

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace events_testing {

using namespace wbem_testing;

_COM_SMARTPTR_TYPEDEF(IWbemObjectSink, __uuidof(IWbemObjectSink));

// Waits up to `seconds` for `done`.
template <class Condition>
bool waitFor(Condition done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline long seqOf(IWbemClassObject* event) {
    _variant_t value;
    event->Get(L"Seq", 0, &value, nullptr, nullptr);
    return value.vt == VT_I4 ? value.lVal : -1000;
}

inline std::vector<long> seqs(const std::vector<IWbemClassObjectPtr>& events) {
    std::vector<long> result;
    for (const auto& event : events)
        result.push_back(seqOf(event));
    return result;
}

// A caller's sink for asynchronous subscriptions: counts its references and records every call.
class RecordingSink final : public IWbemObjectSink {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IWbemObjectSink)) {
            AddRef();
            *object = static_cast<IWbemObjectSink*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE Indicate(LONG count, IWbemClassObject** objects) override {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_calls;
            for (LONG i = 0; i < count; ++i)
                m_seqs.push_back(seqOf(objects[i]));
        }
        m_changed.notify_all();
        if (onIndicate)
            onIndicate();
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE SetStatus(LONG, HRESULT result, BSTR, IWbemClassObject*) override {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_calls;
        m_statuses.push_back(result);
        return WBEM_S_NO_ERROR;
    }

    bool waitForEvents(std::size_t count) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10),
                                  [&] { return m_seqs.size() >= count; });
    }
    std::vector<long> seqs() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_seqs;
    }
    std::vector<HRESULT> statuses() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_statuses;
    }
    std::size_t calls() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_calls;
    }
    ULONG references() const { return m_refs; }

    std::function<void()> onIndicate;

private:
    std::atomic<ULONG> m_refs{1};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<long> m_seqs;
    std::vector<HRESULT> m_statuses;
    std::size_t m_calls = 0;
};

class EventsTest : public WbemTest {
protected:
    // An event class with the sint32 property Seq.
    void defineEventClass(const wchar_t* name, const wchar_t* base = L"__ExtrinsicEvent") {
        if (std::wstring(base) == L"__ExtrinsicEvent")
            defineClass(name, base, {{L"Seq", CIM_SINT32}});
        else
            defineClass(name, base, {});
    }

    IEnumWbemClassObjectPtr subscribe(const wchar_t* query) {
        IEnumWbemClassObjectPtr events;
        EXPECT_EQ(S_OK, m_services->ExecNotificationQuery(_bstr_t(L"WQL"), _bstr_t(query),
                                                          WBEM_FLAG_RETURN_IMMEDIATELY |
                                                              WBEM_FLAG_FORWARD_ONLY,
                                                          nullptr, &events))
            << narrow(query);
        return events;
    }

    IWbemObjectSinkPtr querySink() {
        IWbemObjectSinkPtr sink;
        EXPECT_EQ(S_OK, m_services->QueryObjectSink(0, &sink));
        return sink;
    }

    // A new event of `className` with Seq set; the caller owns the reference.
    IWbemClassObject* tick(const wchar_t* className, long seq) {
        IWbemClassObjectPtr event = spawn(className);
        if (event)
            set(event, L"Seq", _variant_t(seq));
        return event.Detach();
    }

    // Indicates one event per value, in one call.
    void indicate(const wchar_t* className, const std::vector<long>& values) {
        std::vector<IWbemClassObjectPtr> events;
        std::vector<IWbemClassObject*> pointers;
        for (long seq : values) {
            events.emplace_back(tick(className, seq), false);
            pointers.push_back(events.back());
        }
        EXPECT_EQ(S_OK, querySink()->Indicate(static_cast<LONG>(pointers.size()), pointers.data()));
    }

    // Reads events until none comes within `timeout` ms, or `most` have come.
    static std::vector<IWbemClassObjectPtr> read(IEnumWbemClassObject* events, LONG timeout,
                                                 std::size_t most = SIZE_MAX) {
        std::vector<IWbemClassObjectPtr> received;
        while (received.size() < most) {
            IWbemClassObject* event = nullptr;
            ULONG returned = 0;
            const HRESULT hr = events->Next(timeout, 1, &event, &returned);
            if (returned == 0) {
                EXPECT_EQ(status(WBEM_S_TIMEDOUT), hr);
                break;
            }
            received.emplace_back(event, false);
        }
        return received;
    }

    static IWbemClassObjectPtr embedded(IWbemClassObject* object, const wchar_t* name) {
        const _variant_t value = get(object, name);
        if (value.vt != VT_UNKNOWN || !value.punkVal)
            return nullptr;
        return IWbemClassObjectPtr(value.punkVal);
    }

    static std::size_t threadCount() {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
            (void)entry;
            ++count;
        }
        return count;
    }

    static std::string repositoryFile() {
        return std::string(std::getenv("ZUDAVA_STATE_DIR")) + "/repository.sqlite";
    }

    // The events the repository holds, counted by SQLite itself.
    static std::uint64_t storedEvents() {
        sqlite3* db = nullptr;
        std::uint64_t count = 0;
        if (sqlite3_open_v2(repositoryFile().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM events", -1, &s, nullptr) ==
                    SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW)
                count = static_cast<std::uint64_t>(sqlite3_column_int64(s, 0));
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return count;
    }

    // The database and its write-ahead log.
    static std::uintmax_t repositorySize() {
        std::error_code ignored;
        return std::filesystem::file_size(repositoryFile(), ignored) +
               std::filesystem::file_size(repositoryFile() + "-wal", ignored);
    }
};

} // namespace events_testing
