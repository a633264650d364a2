// The library at the edges of thread, process and lock lifetimes, met as a
// host that does the unexpected meets them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/spin_lock.h"

namespace faultkit::test {
namespace {

using Clock = std::chrono::steady_clock;

// Locks --------------------------------------------------------------------

// A contender's 1000 attempts, the tick moving on by each sleep as an exact
// millisecond counter does (and in 16 ms steps as Windows' does): together
// they last seconds, and every length from 0 to 7 ms comes up. A sleep of
// just `tick & 7` falls to 0 ms within three attempts on an exact counter.
TEST(Lifetime, LockBackoffSpreadsOverSeconds) {
    for (uint32_t step : {1u, 16u}) {
        for (uint32_t start : {0u, 5u, 12345u, 0xFFFFFFF0u}) {
            uint32_t elapsed = 0, lengths = 0;
            for (uint32_t attempt = 1; attempt <= kSpinLockAttempts; ++attempt) {
                const uint32_t tick = start + elapsed / step * step;
                const uint32_t ms =
                    SpinLockBackoffMs(tick, attempt, reinterpret_cast<uintptr_t>(&elapsed));
                ASSERT_LE(ms, 7u);
                elapsed += ms;
                lengths |= 1u << ms;
            }
            EXPECT_GT(elapsed, 3000u) << "tick step " << step << ", start " << start;
            EXPECT_LT(elapsed, 4000u) << "tick step " << step << ", start " << start;
            EXPECT_EQ(lengths, 0xFFu);
        }
    }
    // Contenders that fail at the same tick do not sleep in step.
    int same = 0;
    for (uint32_t attempt = 1; attempt <= 64; ++attempt) {
        same += SpinLockBackoffMs(100, attempt, 0x7FFC1000) ==
                SpinLockBackoffMs(100, attempt, 0x7FFC2000);
    }
    EXPECT_LT(same, 24);
}

// 16 contenders outwait a holder that keeps the lock 100 ms; against one
// that never lets go, an attempt gives up only after seconds of sleeps and
// leaves the counter as it found it.
TEST(Lifetime, LockOutwaitsASlowHolderAndGivesUpOnAStalledOne) {
    SpinLock lock;
    ASSERT_TRUE(SpinLockAcquire(lock));
    std::atomic<int> acquired{0};
    std::vector<std::thread> contenders;
    for (int n = 0; n < 16; ++n) {
        contenders.emplace_back([&] {
            if (SpinLockAcquire(lock)) {
                ++acquired;
                SpinLockRelease(lock);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    SpinLockRelease(lock);
    for (std::thread& contender : contenders) {
        contender.join();
    }
    EXPECT_EQ(acquired, 16);

    ASSERT_TRUE(SpinLockAcquire(lock));
    const auto start = Clock::now();
    EXPECT_FALSE(SpinLockAcquire(lock));
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(SpinLockCounter(lock.word.load()), 1u);
    SpinLockRelease(lock);
}

}  // namespace
}  // namespace faultkit::test
