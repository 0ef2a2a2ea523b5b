#include <zudava/zudava.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using DEZE::Event;
using DEZE::Semaphore;
using DEZE::SemaphoreLock;

namespace {

using Clock = std::chrono::steady_clock;

void pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

// Takes one unit of `semaphore` on another thread: true when it got one within a quarter of a
// second, and the unit stays taken. Otherwise the unit given to let the thread go is the one it
// takes, so the count is as it was, and a unit that is missing fails a test instead of hanging it.
bool take(Semaphore& semaphore) {
    std::atomic<bool> got{false};
    std::thread taker([&] {
        semaphore.aquire();
        got = true;
    });
    const auto end = Clock::now() + std::chrono::milliseconds(250);
    while (!got && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool taken = got;
    if (!taken)
        semaphore.release();
    taker.join();
    return taken;
}

// True when `semaphore` has a unit free now; the count stays as it was.
bool unitFree(Semaphore& semaphore) {
    if (!take(semaphore))
        return false;
    semaphore.release();
    return true;
}

TEST(Semaphore, MaximumComesFirstAndInitialSecond) {
    Semaphore one(3, 1);
    EXPECT_TRUE(unitFree(one));
    EXPECT_TRUE(take(one));
    EXPECT_FALSE(unitFree(one));
    one.release();
    EXPECT_TRUE(take(one));
    EXPECT_FALSE(take(one)); // the maximum of 3 is not the count

    Semaphore none(3, 0);
    EXPECT_FALSE(unitFree(none));

    for (auto counts : {std::pair<unsigned, unsigned>{1, 2}, {0, 0}, {0x80000000u, 0}}) {
        try {
            Semaphore bad(counts.first, counts.second);
            ADD_FAILURE() << counts.first << "," << counts.second;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "failed to create semaphore");
        }
    }
}

TEST(Semaphore, AquireBlocksUntilAnotherThreadReleases) {
    Semaphore semaphore(3, 0);
    std::atomic<bool> through{false};
    std::thread waiter([&] {
        semaphore.aquire();
        through = true;
    });
    pause();
    EXPECT_FALSE(through);
    std::thread([&] { semaphore.release(); }).join();
    waiter.join();
    EXPECT_TRUE(through);
}

TEST(Semaphore, ReleasePastTheMaximumIsIgnored) {
    Semaphore semaphore(1, 1);
    semaphore.release();
    EXPECT_TRUE(take(semaphore));
    EXPECT_FALSE(unitFree(semaphore));
    semaphore.release();
    EXPECT_TRUE(unitFree(semaphore));
}

TEST(SemaphoreLock, HoldsOneUnitForItsScope) {
    Semaphore semaphore(2, 2);
    {
        SemaphoreLock first(semaphore);
        EXPECT_TRUE(unitFree(semaphore));
        SemaphoreLock second(semaphore);
        EXPECT_FALSE(unitFree(semaphore));
    }
    EXPECT_TRUE(take(semaphore)); // both units are back
    EXPECT_TRUE(take(semaphore));
    EXPECT_FALSE(unitFree(semaphore));
    semaphore.release();
    semaphore.release();
}

TEST(Event, AutoResetReleasesOneWaitPerSignal) {
    Event event;
    EXPECT_EQ(event.wait(0), Event::_WAIT_TIMEOUT);
    event.signal();
    EXPECT_EQ(event.wait(1), Event::_WAIT_COND_SIG);
    const auto start = Clock::now();
    EXPECT_EQ(event.wait(1), Event::_WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));

    event.signal();
    EXPECT_TRUE(event.test());
    EXPECT_FALSE(event.test()); // the first test consumed the signal
    event.signal();
    event.reset();
    EXPECT_FALSE(event.test());
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    Event event(false);
    EXPECT_FALSE(event.test());
    event.signal();
    EXPECT_TRUE(event.test());
    EXPECT_TRUE(event.test());
    EXPECT_EQ(event.wait(0), Event::_WAIT_COND_SIG);
    EXPECT_EQ(event.wait(0xFFFFFFFF), Event::_WAIT_COND_SIG);
    event.reset();
    EXPECT_FALSE(event.test());
    EXPECT_EQ(event.wait(0), Event::_WAIT_TIMEOUT);
}

TEST(Event, WaitWithoutLimitReturnsWhenAnotherThreadSignals) {
    Event event;
    std::thread signaller([&] {
        pause();
        event.signal();
    });
    EXPECT_EQ(event.wait(0xFFFFFFFF), Event::_WAIT_COND_SIG);
    signaller.join();
    EXPECT_FALSE(event.test());
}

TEST(Event, CopiesShareTheEventAndOutliveEachOther) {
    auto source = std::make_unique<Event>(false);
    Event copy(*source);
    source->signal();
    EXPECT_TRUE(copy.test());
    copy.reset();
    EXPECT_FALSE(source->test());

    Event assigned;
    assigned = *source;
    assigned = assigned;
    source.reset();
    // Both survivors still hold a live handle: a closed one would make the wait fail.
    EXPECT_EQ(copy.wait(0), Event::_WAIT_TIMEOUT);
    assigned.signal();
    EXPECT_EQ(copy.wait(0), Event::_WAIT_COND_SIG);
    EXPECT_EQ(assigned.wait(0), Event::_WAIT_COND_SIG); // manual reset, taken from the source
}

} // namespace
