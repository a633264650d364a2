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

// Tick differences are taken modulo 2^32, as the counter wraps after 49 days.
TEST(Clock, SleepAndTickCountLastAtLeastTheSleepsTime) {
    const auto start = std::chrono::steady_clock::now();
    const uint32_t before = platform::TickCount();
    platform::SleepMs(50);
    const uint32_t after = platform::TickCount();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(49));
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
