// The kernel-object wrappers against the standard library: an uncontended recursive mutex taken
// and given back (directly and through the scope guard), and two threads handing a turn back and
// forth through a pair of auto-reset events or through a condition variable.
#include "Ratios.h"

#include <zudava/zudava.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

void MutexLockUnlock_zudava(benchmark::State& state) {
    DEZE::Mutex mutex;
    for (auto _ : state) {
        mutex.lock(0xFFFFFFFF);
        mutex.unlock();
    }
}
BENCHMARK(MutexLockUnlock_zudava)->Name("MutexLockUnlock/zudava");

void MutexLockUnlock_baseline(benchmark::State& state) {
    std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(MutexLockUnlock_baseline)->Name("MutexLockUnlock/baseline");

void MutexLockScope_zudava(benchmark::State& state) {
    DEZE::Mutex mutex;
    for (auto _ : state) {
        DEZE::MutexLock lock(mutex);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(MutexLockScope_zudava)->Name("MutexLockScope/zudava");

void MutexLockScope_baseline(benchmark::State& state) {
    std::recursive_mutex mutex;
    for (auto _ : state) {
        std::lock_guard<std::recursive_mutex> lock(mutex);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(MutexLockScope_baseline)->Name("MutexLockScope/baseline");

// One iteration is a round trip: this thread passes the turn and waits for it to come back.
void PingPong_zudava(benchmark::State& state) {
    DEZE::Event ping;
    DEZE::Event pong;
    bool stop = false; // written before the last ping, read after it
    std::thread partner([&] {
        for (;;) {
            ping.wait(0xFFFFFFFF);
            if (stop)
                return;
            pong.signal();
        }
    });
    for (auto _ : state) {
        ping.signal();
        pong.wait(0xFFFFFFFF);
    }
    stop = true;
    ping.signal();
    partner.join();
}
BENCHMARK(PingPong_zudava)->Name("EventPingPong/zudava");

void PingPong_baseline(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    int turn = 0; // 1: the partner's, 0: ours, -1: the partner stops
    std::thread partner([&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return turn != 0; });
            if (turn < 0)
                return;
            turn = 0;
            changed.notify_one();
        }
    });
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(mutex);
        turn = 1;
        changed.notify_one();
        changed.wait(lock, [&] { return turn == 0; });
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        turn = -1;
    }
    changed.notify_one();
    partner.join();
}
BENCHMARK(PingPong_baseline)->Name("EventPingPong/baseline");

} // namespace

int main(int argc, char** argv) {
    // Locks matter in processes with more than one thread, and glibc takes its mutexes without
    // atomic instructions until a second thread has existed. Start one, so that both sides are
    // measured as a multi-threaded program sees them.
    std::thread([] {}).join();
    return bench::runWithRatios(argc, argv);
}
