// Manual-reset events and waits on two handles, as the thread table uses
// them: the shutdown event set and cleared by ErrorMgrShutdown, watchers
// waiting on it and on their thread's end.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/platform_test_support.h"
#include "support/round_threads.h"

namespace platform = faultkit::platform;
using faultkit::test::Event;

namespace {

// A set stays until a clear, whatever waits, sets or clears come between;
// a wait on two reports the first set one. Null handles are refused.
TEST(Events, ManualResetEventStaysSetUntilCleared) {
    Event first, second;
    ASSERT_NE(first.get(), nullptr);
    EXPECT_FALSE(platform::IsSignalled(first.get()));  // made clear
    EXPECT_TRUE(platform::SignalEvent(second.get()) && platform::ClearEvent(second.get()));
    EXPECT_FALSE(platform::IsSignalled(second.get()));
    EXPECT_TRUE(platform::ClearEvent(second.get()));  // clearing a clear event
    EXPECT_TRUE(platform::SignalEvent(second.get()));
    EXPECT_TRUE(platform::SignalEvent(second.get()));  // sets do not add up
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 1);
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 1);  // a wait takes nothing
    platform::SignalEvent(first.get());
    EXPECT_EQ(platform::WaitForEither(first.get(), second.get()), 0);
    EXPECT_EQ(platform::WaitForEither(second.get(), first.get()), 0);
    EXPECT_TRUE(platform::ClearEvent(second.get()));
    EXPECT_FALSE(platform::IsSignalled(second.get()));

    EXPECT_FALSE(platform::SignalEvent(nullptr) || platform::ClearEvent(nullptr) ||
                 platform::IsSignalled(nullptr));
    EXPECT_EQ(platform::WaitForEither(nullptr, first.get()), -1);
    EXPECT_EQ(platform::WaitForEither(first.get(), nullptr), -1);
}

// A wait on two returns when another thread sets either; an event set and
// cleared before the wait began does not end it.
TEST(Events, WaitOnTwoReturnsWhenAnotherThreadSetsEither) {
    for (int which = 0; which < 2; ++which) {
        Event events[2];
        platform::SignalEvent(events[1 - which].get());
        platform::ClearEvent(events[1 - which].get());
        std::thread setter([&] { platform::SignalEvent(events[which].get()); });
        EXPECT_EQ(platform::WaitForEither(events[0].get(), events[1].get()), which);
        setter.join();
    }
}

// A set releases every thread waiting at that moment, even when the event
// is cleared at once (by the setter, or by another thread clearing over and
// over, as when several ErrorMgrShutdown calls meet). 24 waiters wait once a
// round on the round's event and a `release` event, half with the event
// second (as a watcher waits). A round pauses before the set so that the
// waiters have begun; one that had not is released by `release`, and the
// next round pauses four times longer. Ten full rounds in a row must come.
bool RacingClearsLoseNoWaiter(bool clear_from_another_thread) {
    constexpr int kWaiters = 24;
    platform::Handle event = nullptr, release = nullptr;  // set between rounds only
    std::atomic<int> by_event{0};
    faultkit::test::RoundThreads waiters(kWaiters, [&](int index) {
        const int which = index % 2 == 0 ? platform::WaitForEither(event, release)
                                         : 1 - platform::WaitForEither(release, event);
        by_event.fetch_add(which == 0);
    });
    uint32_t pause_ms = 1;
    for (int full = 0; full < 10;) {
        Event round_event, round_release;
        event = round_event.get();
        release = round_release.get();
        by_event = 0;
        waiters.Start();
        std::atomic<bool> set{false};
        std::thread clearer([&] {  // clears until the set and 100 times more
            for (int more = 0; clear_from_another_thread && more < 100; more += set.load()) {
                platform::ClearEvent(event);
            }
        });
        platform::SleepMs(pause_ms);
        platform::SignalEvent(event);
        set = true;
        clearer.join();
        platform::ClearEvent(event);
        platform::SignalEvent(release);
        waiters.Finish();
        if (by_event.load() == kWaiters) {
            ++full;
        } else if ((pause_ms *= 4) > 1024) {
            return false;
        } else {
            full = 0;
        }
    }
    return true;
}

TEST(Events, SetReleasesEveryWaiterEvenWhenClearedAtOnce) {
    EXPECT_TRUE(RacingClearsLoseNoWaiter(false)) << "cleared by the thread that set it";
    EXPECT_TRUE(RacingClearsLoseNoWaiter(true)) << "cleared by another thread";
}

}  // namespace
