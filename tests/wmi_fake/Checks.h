// What every suite of the fake's tests shares: a clean fake world per test, and the exception a
// statement raised.
#pragma once

#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <string>

#include "wmi_fake/Fake.h"

namespace checks {

// Runs `action` and returns the WmiException it raised (code 0 and an empty message if none).
template <typename Action>
DEZE::WmiException raised(Action action) {
    try {
        action();
    } catch (const DEZE::WmiException& e) {
        return e;
    }
    ADD_FAILURE() << "no WmiException";
    return DEZE::WmiException(0, _bstr_t());
}

inline std::wstring messageOf(const DEZE::WmiException& e) {
    const _bstr_t message = e.getMessage();
    return !message ? std::wstring() : std::wstring(static_cast<const wchar_t*>(message));
}

inline std::wstring text(const _bstr_t& value) {
    return !value ? std::wstring() : std::wstring(static_cast<const wchar_t*>(value));
}

// A fresh log, no injected failure, no cached connection; and at the end, no fake object left
// alive: whatever the library took, it released, on every path.
class FakeTest : public testing::Test {
protected:
    void SetUp() override {
        // The path parser is the platform's own, and wants COM on the thread.
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        DEZE::WmiConnectionFactory::reset();
        fake::log().clear();
        fake::world() = fake::World();
    }
    void TearDown() override {
        DEZE::WmiConnectionFactory::reset();
        if (fake::world().services)
            fake::world().services->Release();
        fake::world().services = nullptr;
        EXPECT_EQ(fake::liveObjects(), 0) << "fake objects not released";
        CoUninitialize();
    }

    // Services that every connection of this test gets.
    fake::Services& services() {
        if (!fake::world().services)
            fake::world().services = new fake::Services;
        return *fake::world().services;
    }
};

} // namespace checks

#define EXPECT_RAISES(statement, code, message)                                                    \
    do {                                                                                           \
        const DEZE::WmiException raised_ = checks::raised([&] { statement; });                     \
        EXPECT_EQ(raised_.getCode(), static_cast<long>(code));                                     \
        EXPECT_EQ(checks::messageOf(raised_), std::wstring(message));                              \
    } while (false)
