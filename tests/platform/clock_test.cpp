// Millisecond sleeps and the tick count: the SpinLock sleeps for the low
// three bits of the tick count between attempts, and ErrorMgrShutdown polls
// in 5 ms sleeps. Only lower bounds on time are checked: a loaded machine
// may sleep longer, never shorter.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "platform/platform.h"

namespace platform = faultkit::platform;

namespace {

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

TEST(Clock, SleepLastsAtLeastItsTime) {
    const auto start = std::chrono::steady_clock::now();
    platform::SleepMs(30);
    EXPECT_GE(ElapsedMs(start), 29);
}

// Differences are taken modulo 2^32, as the counter wraps after 49 days.
TEST(Clock, TickCountAdvancesWithTheSleeps) {
    const uint32_t before = platform::TickCount();
    platform::SleepMs(50);
    const uint32_t after = platform::TickCount();
    EXPECT_GE(after - before, 34u);          // Windows ticks may come 16 ms apart
    EXPECT_LT(after - before, 0x80000000u);  // forward, not back
}

TEST(Clock, TickCountsLowBitsVary) {
    std::set<uint32_t> low_bits;
    for (int sleep = 0; sleep < 100 && low_bits.size() < 2; ++sleep) {
        low_bits.insert(platform::TickCount() & 7u);
        platform::SleepMs(1 + sleep % 3);
    }
    EXPECT_GE(low_bits.size(), 2u);
}

}  // namespace
