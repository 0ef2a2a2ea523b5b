// IEnumWbemClassObject over a service's instances: counts and the end, timeouts, Skip, Reset and
// Clone. (Forward-only refusals and the objects' independence are tested where the service can
// store rows: Wine's fails both.)
#include "ReadTesting.h"

using namespace wbem_read;

namespace {

class WbemReadEnumerator : public WbemRead {
protected:
    void SetUp() override {
        WbemRead::SetUp();
        if (isWindows() && !servicesHoldStill())
            GTEST_SKIP() << "this machine's service list changes between two enumerations";
    }
};

TEST_F(WbemReadEnumerator, NextGivesUpToCountThenSaysTheEndCame) {
    const std::vector<std::wstring> all = allServices();
    ASSERT_GE(all.size(), 5u);
    IEnumWbemClassObjectPtr enumerator = services();
    auto [first, two] = next(enumerator, 2);
    EXPECT_EQ(S_OK, first);
    EXPECT_EQ(std::vector<std::wstring>(all.begin(), all.begin() + 2), two);
    auto [zero, none] = next(enumerator, 0);
    EXPECT_EQ(S_OK, zero);
    EXPECT_TRUE(none.empty());
    // Asking for more than is left gives the rest, and WBEM_S_FALSE for the early end.
    auto [rest, others] = next(enumerator, static_cast<ULONG>(all.size()) + 10);
    EXPECT_EQ(status(WBEM_S_FALSE), rest);
    EXPECT_EQ(std::vector<std::wstring>(all.begin() + 2, all.end()), others);
    auto [end, nothing] = next(enumerator, 1);
    EXPECT_EQ(status(WBEM_S_FALSE), end);
    EXPECT_TRUE(nothing.empty());
}

TEST_F(WbemReadEnumerator, NextRefusesMissingArguments) {
    IEnumWbemClassObjectPtr enumerator = services();
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(0, 1, nullptr, &returned));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(0, 1, &object, nullptr));
    EXPECT_EQ(nullptr, object);

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's enumerator takes any negative timeout as WBEM_INFINITE";
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Next(-2, 1, &object, &returned));
    EXPECT_EQ(status(WBEM_E_INVALID_PARAMETER), enumerator->Skip(-2, 1));
}

// WBEM_S_TIMEDOUT means that the timeout ran out before the objects asked for were there. A
// service that has its results ready when the enumerator is handed out never reports it: a zero
// timeout (WBEM_NO_WAIT) gives every object there is, and the end as WBEM_S_FALSE. That holds for
// enumerators that return at once (WBEM_FLAG_RETURN_IMMEDIATELY) too, which users poll this way.
TEST_F(WbemReadEnumerator, AZeroTimeoutGivesReadyObjectsWithoutTimingOut) {
    const std::vector<std::wstring> all = allServices();
    const LONG flagSets[] = {0, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY};
    for (const LONG flags : flagSets) {
        IEnumWbemClassObjectPtr enumerator = services(flags);
        std::vector<std::wstring> seen;
        HRESULT hr = S_OK;
        while (hr == S_OK) {
            auto [polled, names] = next(enumerator, 2, WBEM_NO_WAIT);
            hr = polled;
            EXPECT_NE(status(WBEM_S_TIMEDOUT), polled);
            EXPECT_TRUE(polled == S_OK ? names.size() == 2 : names.size() < 2);
            seen.insert(seen.end(), names.begin(), names.end());
        }
        EXPECT_EQ(status(WBEM_S_FALSE), hr) << "flags " << flags;
        EXPECT_EQ(all, seen) << "flags " << flags;
    }
}

TEST_F(WbemReadEnumerator, SkipMovesOnAndReportsTheEnd) {
    const std::vector<std::wstring> all = allServices();
    IEnumWbemClassObjectPtr enumerator = services();
    EXPECT_EQ(S_OK, enumerator->Skip(kInfinite, 2));
    EXPECT_EQ(std::vector<std::wstring>{all[2]}, next(enumerator, 1).second);
    EXPECT_EQ(status(WBEM_S_FALSE),
              enumerator->Skip(kInfinite, static_cast<ULONG>(all.size()) + 10));

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's Skip past the end leaves the enumerator where it stood";
    EXPECT_EQ(status(WBEM_S_FALSE), next(enumerator, 1).first);
}

TEST_F(WbemReadEnumerator, ResetRewindsAndACloneKeepsItsPlace) {
    const std::vector<std::wstring> all = allServices();
    IEnumWbemClassObjectPtr enumerator = services();
    EXPECT_EQ(std::vector<std::wstring>(all.begin(), all.begin() + 2), next(enumerator, 2).second);
    ASSERT_EQ(S_OK, enumerator->Reset());
    EXPECT_EQ(std::vector<std::wstring>{all[0]}, next(enumerator, 1).second);
    IEnumWbemClassObjectPtr copy;
    ASSERT_EQ(S_OK, enumerator->Clone(&copy));
    ASSERT_TRUE(copy);

    if (testing_support::underWine())
        GTEST_SKIP() << "Wine's Clone starts the copy from the first object";
    EXPECT_EQ(std::vector<std::wstring>{all[1]}, next(copy, 1).second);
    EXPECT_EQ(std::vector<std::wstring>{all[1]}, next(enumerator, 1).second);
    // Each goes on by itself.
    EXPECT_EQ(std::vector<std::wstring>{all[2]}, next(copy, 1).second);
    EXPECT_EQ(std::vector<std::wstring>{all[2]}, next(enumerator, 1).second);
}

} // namespace
