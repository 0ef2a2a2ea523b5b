#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

using DEZE::Thread;

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_runs{0};
std::atomic<bool> g_release{false};
std::atomic<unsigned> g_seenId{0};

unsigned int WINAPI countAndReturn(void* argument) {
    ++g_runs;
    g_seenId = Thread::getCurrentThreadId();
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(argument));
}

std::atomic<bool> g_entered{false};

unsigned int WINAPI waitForRelease(void*) {
    // From here on the thread no longer touches the Thread object that started it.
    g_entered = true;
    while (!g_release)
        Thread::sleep(1);
    return 3;
}

class ThreadTest : public testing::Test {
protected:
    void SetUp() override {
        g_runs = 0;
        g_release = false;
        g_entered = false;
    }

    // A thread whose handle was given up may still be starting when its test ends; the object it
    // runs on must last until the thread has called its function.
    void TearDown() override {
        g_release = true;
        if (m_waiterStarted)
            waitUntilEntered();
    }

    void startWaiter() {
        ASSERT_TRUE(m_waiter.start(nullptr));
        m_waiterStarted = true;
    }

    static void waitUntilEntered() {
        for (int i = 0; !g_entered && i < 10000; ++i)
            Thread::sleep(1);
        ASSERT_TRUE(g_entered);
    }

    Thread m_waiter{waitForRelease};
    bool m_waiterStarted = false;
};

class Polling : public Thread {
protected:
    unsigned int run(void*) override {
        while (!isCancelled())
            sleep(1);
        return 11;
    }
};

class Throwing : public Thread {
protected:
    unsigned int run(void*) override { throw std::runtime_error("out"); }
};

TEST_F(ThreadTest, JoinReturnsTheFunctionsResult) {
    Thread thread(countAndReturn);
    EXPECT_EQ(thread.join(), 0ul); // never started
    ASSERT_TRUE(thread.start(reinterpret_cast<void*>(77)));
    EXPECT_EQ(thread.join(), 77ul);
    EXPECT_EQ(g_seenId, thread.getThreadId());
    EXPECT_NE(thread.getThreadId(), Thread::getCurrentThreadId());
    EXPECT_EQ(thread.join(), 0ul); // handle given up
    EXPECT_TRUE(thread.start(nullptr));
    EXPECT_EQ(g_runs, 1);
}

TEST_F(ThreadTest, StartTwiceStartsOneThread) {
    Thread thread(countAndReturn);
    EXPECT_TRUE(thread.start(reinterpret_cast<void*>(5)));
    EXPECT_TRUE(thread.start(reinterpret_cast<void*>(6)));
    EXPECT_EQ(thread.join(), 5ul);
    EXPECT_EQ(g_runs, 1);
}

TEST_F(ThreadTest, StopGivesUpTheHandleSoThatStartRunsAgain) {
    Thread thread(countAndReturn);
    ASSERT_TRUE(thread.start(nullptr));
    for (int i = 0; g_runs == 0 && i < 10000; ++i)
        Thread::sleep(1);
    thread.stop();
    EXPECT_EQ(thread.join(), 0ul);
    ASSERT_TRUE(thread.start(reinterpret_cast<void*>(9)));
    EXPECT_EQ(thread.join(), 9ul);
    EXPECT_EQ(g_runs, 2);
}

TEST_F(ThreadTest, WithoutAFunctionOrWithAnExceptionTheExitCodeIsFixed) {
    Thread empty;
    ASSERT_TRUE(empty.start(nullptr));
    EXPECT_EQ(empty.join(), 0ul);
    Throwing throwing;
    ASSERT_TRUE(throwing.start(nullptr));
    EXPECT_EQ(throwing.join(), 0xFFFFFFFFul);
}

TEST_F(ThreadTest, DetachBeforeStartGivesUpTheHandleAtOnce) {
    Thread& thread = m_waiter;
    thread.detach();
    startWaiter();
    const auto start = Clock::now();
    EXPECT_EQ(thread.join(), 0ul);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(ThreadTest, CancelledThreadThatPollsEndsItself) {
    Polling thread;
    ASSERT_TRUE(thread.start(nullptr));
    EXPECT_FALSE(thread.isCancelled());
    thread.cancel();
    EXPECT_TRUE(thread.isCancelled());
    EXPECT_EQ(thread.join(), 11ul);
}

TEST_F(ThreadTest, CancelledThreadThatIgnoresTheFlagIsTerminatedAfterTenSeconds) {
    Thread& thread = m_waiter;
    startWaiter();
    waitUntilEntered();
    thread.cancel();
    const auto start = Clock::now();
    EXPECT_EQ(thread.join(), 0ul);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(9900));
    EXPECT_LT(waited, std::chrono::seconds(20));
}

TEST_F(ThreadTest, AbortGivesUpTheThread) {
    Thread& thread = m_waiter;
    startWaiter();
    waitUntilEntered();
    thread.abort();
    EXPECT_EQ(thread.join(), 0ul);
    EXPECT_TRUE(thread.start(nullptr)); // still counts as started
}

TEST_F(ThreadTest, CopiesOfAStartedThreadEachHoldTheirOwnHandle) {
    Thread original(waitForRelease);
    ASSERT_TRUE(original.start(nullptr));
    {
        Thread copy(original);
        Thread assigned;
        assigned = original;
        EXPECT_EQ(copy.getThreadId(), original.getThreadId());
        g_release = true;
        EXPECT_EQ(copy.join(), 3ul);
        EXPECT_EQ(assigned.join(), 3ul);
    }
    EXPECT_EQ(original.join(), 3ul);
}

} // namespace
