#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(LastError, BelongsToEachThread) {
    // The two threads hand over with atomics only: any API call may reset the last error.
    std::atomic<int> step{0};
    DWORD seenByOther = 0;
    std::thread other([&] {
        while (step.load() != 1) {
        }
        SetLastError(ERROR_INVALID_HANDLE);
        seenByOther = GetLastError();
        step.store(2);
    });
    SetLastError(ERROR_ACCESS_DENIED);
    step.store(1);
    while (step.load() != 2) {
    }
    const DWORD seenHere = GetLastError();
    other.join();
    EXPECT_EQ(seenHere, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(seenByOther, DWORD(ERROR_INVALID_HANDLE));
}

TEST(Hresult, MacrosMatchWindows) {
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(HRESULT(0x00040005)));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), HRESULT(0x80070008));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
    EXPECT_EQ(HRESULT_FROM_WIN32(E_FAIL), E_FAIL) << "an HRESULT passes unchanged";
}

// Windows' widths on every host, LONG included (long is 64 bits on Linux).
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(HRESULT) == 4, "32-bit types");
static_assert(sizeof(WORD) == 2 && sizeof(BYTE) == 1, "16- and 8-bit types");
static_assert(static_cast<LONG>(0xFFFFFFFFu) == -1 && static_cast<DWORD>(-1) > 0, "signedness");

} // namespace
