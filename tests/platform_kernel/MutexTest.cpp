// Kernel mutexes as Windows has them: owned, re-entrant, abandoned when the owner ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

class KernelMutex : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m_mutex, nullptr); }
    void TearDown() override { CloseHandle(m_mutex); }

    // Runs `work` on another thread and waits for it to end.
    template <class Work>
    static void onOtherThread(Work work) {
        std::thread thread(work);
        thread.join();
    }

    HANDLE m_mutex = CreateMutexA(nullptr, FALSE, nullptr);
};

TEST_F(KernelMutex, OwnerTakesItAgainAndReleasesOncePerWait) {
    EXPECT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m_mutex, INFINITE), WAIT_OBJECT_0);
    onOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(m_mutex, 0), (DWORD)WAIT_TIMEOUT);
        SetLastError(0);
        EXPECT_FALSE(ReleaseMutex(m_mutex));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);
    });
    EXPECT_TRUE(ReleaseMutex(m_mutex));
    onOtherThread([&] { EXPECT_EQ(WaitForSingleObject(m_mutex, 0), (DWORD)WAIT_TIMEOUT); });
    EXPECT_TRUE(ReleaseMutex(m_mutex));

    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(m_mutex));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);
    onOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(m_mutex));
    });
}

TEST_F(KernelMutex, InitialOwnerHoldsIt) {
    HANDLE owned = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(owned, nullptr);
    onOtherThread([&] { EXPECT_EQ(WaitForSingleObject(owned, 0), (DWORD)WAIT_TIMEOUT); });
    EXPECT_TRUE(ReleaseMutex(owned));
    EXPECT_FALSE(ReleaseMutex(owned));
    EXPECT_TRUE(CloseHandle(owned));
}

TEST_F(KernelMutex, TimedWaitGivesUpAfterTheTimeout) {
    ASSERT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0);
    onOtherThread([&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObject(m_mutex, 100), (DWORD)WAIT_TIMEOUT);
        // Windows may end a wait up to a timer tick early.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    });
    EXPECT_TRUE(ReleaseMutex(m_mutex));
}

TEST_F(KernelMutex, ExcludesOtherThreadsUnderContention) {
    // Unsynchronised updates of a plain counter: only mutual exclusion keeps every one of them,
    // and only the mutex's acquire and release make them visible to the next owner.
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                ASSERT_EQ(WaitForSingleObject(m_mutex, INFINITE), WAIT_OBJECT_0);
                const long seen = counter;
                if (i % 64 == 0)
                    Sleep(0); // invite another thread in, should the mutex let it
                counter = seen + 1;
                ASSERT_TRUE(ReleaseMutex(m_mutex));
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

TEST_F(KernelMutex, EndingOwnerAbandonsItToTheNextWaiter) {
    HANDLE released = CreateMutexA(nullptr, FALSE, nullptr);
    onOtherThread([&] {
        ASSERT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0);
        ASSERT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0); // held twice, released never
        ASSERT_EQ(WaitForSingleObject(released, 0), WAIT_OBJECT_0);
        ASSERT_TRUE(ReleaseMutex(released));
    });
    EXPECT_EQ(WaitForSingleObject(released, 0), WAIT_OBJECT_0); // given back properly
    EXPECT_TRUE(ReleaseMutex(released));
    EXPECT_TRUE(CloseHandle(released));
    // The abandoned mutex is granted, once, with the news; after that it is an ordinary mutex
    // with a single level of ownership.
    EXPECT_EQ(WaitForSingleObject(m_mutex, 1000), (DWORD)WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(m_mutex));
    EXPECT_FALSE(ReleaseMutex(m_mutex));
    EXPECT_EQ(WaitForSingleObject(m_mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(m_mutex));
}

TEST_F(KernelMutex, BlockedWaiterLearnsOfAbandonment) {
    HANDLE ownerHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE ownerMayEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        WaitForSingleObject(m_mutex, INFINITE);
        SetEvent(ownerHeld);
        WaitForSingleObject(ownerMayEnd, INFINITE);
    });
    ASSERT_EQ(WaitForSingleObject(ownerHeld, 10000), WAIT_OBJECT_0);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] { result = WaitForSingleObject(m_mutex, 10000); });
    Sleep(20);
    SetEvent(ownerMayEnd);
    owner.join();
    waiter.join();
    EXPECT_EQ(result, (DWORD)WAIT_ABANDONED);
    CloseHandle(ownerHeld);
    CloseHandle(ownerMayEnd);
}

TEST(KernelHandles, ClosedAndInventedHandlesFailCleanly) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(mutex));
    for (HANDLE handle : {mutex, static_cast<HANDLE>(nullptr)}) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(ReleaseMutex(handle));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    }
}

TEST(KernelHandles, ObjectOutlivesAClosedHandleWhileAnotherRefersToIt) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    HANDLE second = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), mutex, GetCurrentProcess(), &second, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    ASSERT_NE(second, mutex);
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForSingleObject(second, 10000);
        ReleaseMutex(mutex);
    });
    Sleep(20);
    // The waiter is blocked on the object; closing one of its handles must not disturb it.
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(ReleaseMutex(mutex));
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(mutex));
}

} // namespace
