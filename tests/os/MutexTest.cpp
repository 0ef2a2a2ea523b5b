#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

using DEZE::Mutex;
using DEZE::MutexLock;

namespace {

using Clock = std::chrono::steady_clock;

template <class Work>
void onOtherThread(Work work) {
    std::thread thread(work);
    thread.join();
}

// The message of the runtime_error that `work` throws, or "" when it throws none.
template <class Work>
std::string failureOf(Work work) {
    try {
        work();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

bool lockedElsewhere(const Mutex& mutex) {
    bool locked = false;
    onOtherThread([&] { locked = mutex.isLocked(); });
    return locked;
}

TEST(Mutex, IsFreeUntilLockedAndFreeAgainAfterAsManyUnlocks) {
    Mutex mutex;
    EXPECT_FALSE(mutex.isLocked());
    EXPECT_FALSE(lockedElsewhere(mutex));

    mutex.lock(0);
    mutex.lock(0xFFFFFFFF);
    EXPECT_FALSE(mutex.isLocked()); // the owner may take it again, so to it it is not locked
    EXPECT_TRUE(lockedElsewhere(mutex));
    mutex.unlock();
    EXPECT_TRUE(lockedElsewhere(mutex));
    mutex.unlock();
    EXPECT_FALSE(lockedElsewhere(mutex));

    mutex.unlock(); // not the owner any more: silently nothing
    EXPECT_FALSE(lockedElsewhere(mutex));
}

TEST(Mutex, LockWithoutWaitingFailsAtOnceWhileAnotherThreadHoldsIt) {
    Mutex mutex;
    mutex.lock(0);
    onOtherThread([&] {
        const auto start = Clock::now();
        EXPECT_EQ(failureOf([&] { mutex.lock(0); }), "failed to obtain mutex within timeout");
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_TRUE(mutex.isLocked());
    });
    mutex.unlock();
    onOtherThread([&] {
        EXPECT_EQ(failureOf([&] { mutex.lock(0); }), "");
        mutex.unlock();
    });
}

TEST(Mutex, TimeoutInMillisecondsWrapsAroundIn32Bits) {
    // 4294968 s is 4294968000 ms, which 32 bits hold as 704 ms.
    Mutex mutex;
    mutex.lock(0);
    onOtherThread([&] {
        const auto start = Clock::now();
        EXPECT_EQ(failureOf([&] { mutex.lock(4294968); }), "failed to obtain mutex within timeout");
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(650));
        EXPECT_LT(waited, std::chrono::seconds(5));
    });
    mutex.unlock();
}

TEST(Mutex, WaitingLockGetsTheMutexWhenItsOwnerUnlocks) {
    Mutex mutex;
    mutex.lock(0);
    std::thread waiter([&] {
        EXPECT_EQ(failureOf([&] { mutex.lock(10); }), "");
        mutex.unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    mutex.unlock();
    waiter.join();
    EXPECT_FALSE(lockedElsewhere(mutex));
}

TEST(Mutex, AbandonedMutexFailsTheNextLockAndIsLeftFree) {
    Mutex mutex;
    onOtherThread([&] { mutex.lock(0); });
    EXPECT_EQ(failureOf([&] { mutex.lock(0xFFFFFFFF); }), "failed to obtain mutex within timeout");
    // The failed lock kept nothing: another thread gets the mutex at once, and the caller's
    // unlock has nothing to give back.
    EXPECT_FALSE(lockedElsewhere(mutex));
    mutex.unlock();
    onOtherThread([&] {
        EXPECT_EQ(failureOf([&] { mutex.lock(0); }), "");
        mutex.unlock();
    });
}

TEST(Mutex, IsLockedDoesNotKeepAnAbandonedMutex) {
    Mutex mutex;
    onOtherThread([&] { mutex.lock(0); });
    EXPECT_TRUE(mutex.isLocked());
    EXPECT_FALSE(lockedElsewhere(mutex));
}

TEST(MutexLock, HoldsTheMutexForItsScopeAndNests) {
    Mutex mutex;
    {
        MutexLock outer(mutex);
        {
            MutexLock inner(mutex);
            EXPECT_TRUE(lockedElsewhere(mutex));
        }
        EXPECT_TRUE(lockedElsewhere(mutex));
    }
    EXPECT_FALSE(lockedElsewhere(mutex));
}

} // namespace
