// Events and semaphores: signalling, counting and their limits.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(KernelEvent, AutoResetLetsOneWaitThroughPerSignal) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event)); // a second signal on a signalled event adds nothing
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 10), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(KernelEvent, ManualResetStaysSignalledAndReleasesEveryWaiter) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0)
                ++released;
        });
    Sleep(20);
    EXPECT_TRUE(SetEvent(event));
    for (auto& waiter : waiters)
        waiter.join();
    EXPECT_EQ(released, 4);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));

    HANDLE initiallySet = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(initiallySet, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(initiallySet));
}

TEST(KernelEvent, AutoResetSignalsReachEveryBlockedWaiterInTurn) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0)
                ++released;
        });
    for (int signalled = 1; signalled <= 3; ++signalled) {
        Sleep(20);
        EXPECT_TRUE(SetEvent(event));
        for (int spin = 0; released < signalled && spin < 1000; ++spin)
            Sleep(1);
        EXPECT_EQ(released, signalled);
    }
    for (auto& waiter : waiters)
        waiter.join();
    CloseHandle(event);
}

TEST(KernelSemaphore, CountsUnitsUpToItsMaximum) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 2, nullptr);
    ASSERT_NE(semaphore, nullptr);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(previous, 1);

    // Past the maximum: refused, and the count stays where it was.
    previous = -1;
    SetLastError(0);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), (DWORD)WAIT_TIMEOUT);

    SetLastError(0);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 3, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_TOO_MANY_POSTS);
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_TRUE(CloseHandle(semaphore));
}

TEST(KernelSemaphore, RefusesImpossibleCounts) {
    for (auto counts : {std::pair<LONG, LONG>{2, 1}, {-1, 1}, {0, 0}}) {
        SetLastError(0);
        EXPECT_EQ(CreateSemaphoreA(nullptr, counts.first, counts.second, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    }
}

TEST(KernelSemaphore, AnyThreadReleasesAUnitToABlockedWaiter) {
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 3, nullptr);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForSingleObject(semaphore, 10000); });
    Sleep(20);
    std::thread([&] { EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, nullptr)); }).join();
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), (DWORD)WAIT_TIMEOUT);
    CloseHandle(semaphore);
}

TEST(KernelObjects, OperationsOfOneKindFailOnAnotherKind) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, nullptr);
    SetLastError(0);
    EXPECT_FALSE(ReleaseSemaphore(event, 1, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(SetEvent(semaphore));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(event);
    CloseHandle(semaphore);
}

} // namespace
