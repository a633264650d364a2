// Millisecond sleeps and the tick count: the SpinLock mixes the tick count
// into its sleeps between attempts, and ErrorMgrShutdown polls in 5 ms
// sleeps. Only lower bounds on time are checked: a loaded machine may sleep
// longer, never shorter.
#include <gtest/gtest.h>

#include <chrono>

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

}  // namespace
